# End-to-end runs of the built binary on generated image sets.
# They drive the binary through POSIX processes and terminals; the Windows build has its own (windows.cmake).
if(WIN32)
  return()
endif()
add_library(run_tool STATIC ${CMAKE_CURRENT_LIST_DIR}/e2e/run_tool.cpp)
target_include_directories(run_tool PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(conversion_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/e2e/conversion_test.cpp)
target_link_libraries(conversion_e2e_tests PRIVATE run_tool image_builder GTest::gtest_main)
target_compile_definitions(conversion_e2e_tests PRIVATE SPANFETCH_BINARY="$<TARGET_FILE:spanfetch>"
                           TEST_SCRATCH_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(conversion_e2e_tests spanfetch)
gtest_discover_tests(conversion_e2e_tests DISCOVERY_TIMEOUT 60)
