# Parts read from ISO9660 images and disc devices: the source layer over a
# fake file primitive (both builds), then the built binary on images made by xorriso
# and crafted ones (POSIX processes and terminals only; the Windows build
# runs disc_image_cases.sh under wine, registered in windows.cmake).
add_executable(image_source_tests
  ${CMAKE_CURRENT_LIST_DIR}/unit/image_source_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unit/drive_source_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fake/fake_disc_file.cpp
  ${PROJECT_SOURCE_DIR}/platform/source_file.cpp
  ${PROJECT_SOURCE_DIR}/platform/iso9660.cpp)
target_include_directories(image_source_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(image_source_tests PRIVATE iso_builder image_builder GTest::gtest_main)
gtest_discover_tests(image_source_tests DISCOVERY_TIMEOUT 60)

if(WIN32)
  return()
endif()
find_program(SPANFETCH_XORRISO xorriso)
add_e2e_gtest(disc_image_e2e_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e/disc_image_test.cpp
              LIBRARIES tty_driver iso_builder TIMEOUT 180)
target_compile_definitions(disc_image_e2e_tests PRIVATE XORRISO_BINARY="${SPANFETCH_XORRISO}")

# A part over 4 GiB in two extents: the 4 GiB destination goes to a tmpfs where
# the machine can spare the memory (SPANFETCH_LARGE_TESTS=1: to the build tree).
add_test(NAME disc_image.large_part
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e/large_image_test.sh
                 $<TARGET_FILE:spanfetch> $<TARGET_FILE:mkimage> ${CMAKE_BINARY_DIR})
set_tests_properties(disc_image.large_part PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE TIMEOUT 1200)
