# The ISO9660 reader: unit tests on built volumes, a cross-check against
# images written by xorriso, and a short fuzzing run (Linux builds).
add_library(iso_builder STATIC ${CMAKE_CURRENT_LIST_DIR}/iso/iso_builder.cpp)
target_include_directories(iso_builder PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(iso9660_tests ${CMAKE_CURRENT_LIST_DIR}/iso/iso9660_test.cpp)
target_link_libraries(iso9660_tests PRIVATE spanfetch_platform iso_builder image_builder GTest::gtest_main)
gtest_discover_tests(iso9660_tests TEST_PREFIX iso9660. DISCOVERY_TIMEOUT 60)

# Linux only: xorriso and clang's fuzzer are Linux tools.
if(WIN32)
  return()
endif()
add_executable(iso_cat ${CMAKE_CURRENT_LIST_DIR}/iso/iso_cat.cpp)
target_link_libraries(iso_cat PRIVATE spanfetch_platform)

add_test(NAME iso9660.xorriso
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/iso/xorriso_test.sh $<TARGET_FILE:iso_cat>
                 ${CMAKE_CURRENT_BINARY_DIR}/iso_xorriso)
set_tests_properties(iso9660.xorriso PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)

# A short fuzzing run; tests/fuzz/run_fuzz.sh SECONDS runs longer ones. It
# builds with clang++ on its own, outside this build's compiler and flags.
add_test(NAME iso9660.fuzz_smoke
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/fuzz/run_fuzz.sh 10 ${CMAKE_CURRENT_BINARY_DIR}/iso_fuzz)
set_tests_properties(iso9660.fuzz_smoke PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
