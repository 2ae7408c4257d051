# Parts read from ISO9660 images: the source layer over a fake file
# primitive (both builds), then the built binary on images made by xorriso
# and crafted ones (POSIX processes and terminals only; the Windows build
# runs disc_image_cases.sh under wine, registered in windows.cmake).
add_executable(image_source_tests
  ${CMAKE_CURRENT_LIST_DIR}/unit/image_source_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fake/fake_disc_file.cpp
  ${PROJECT_SOURCE_DIR}/platform/source_file.cpp
  ${PROJECT_SOURCE_DIR}/platform/iso9660.cpp)
target_include_directories(image_source_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(image_source_tests PRIVATE iso_builder GTest::gtest_main)
gtest_discover_tests(image_source_tests DISCOVERY_TIMEOUT 60)
