# Unit tests of the tool's logic over the fake platform.
add_library(fake_platform STATIC ${CMAKE_CURRENT_LIST_DIR}/fake/fake_platform.cpp)
target_include_directories(fake_platform PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(unit_tests
  ${CMAKE_CURRENT_LIST_DIR}/unit/image_header_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit/paths_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit/prompts_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit/copy_engine_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit/read_recovery_test.cpp)
target_link_libraries(unit_tests PRIVATE spanfetch_core fake_platform image_builder GTest::gtest_main)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)
