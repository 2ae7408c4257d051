# Unit tests of the Linux platform services that are pure logic over their
# inputs: the mount table lookup and the drive's settling.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()
add_executable(platform_tests
  ${CMAKE_CURRENT_LIST_DIR}/platform/mount_lookup_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/platform/drive_state_test.cpp)
target_link_libraries(platform_tests PRIVATE spanfetch_platform GTest::gtest_main)
gtest_discover_tests(platform_tests DISCOVERY_TIMEOUT 60)
