# The two console dialogues end to end: the built binary on a pseudo-terminal.
# POSIX processes and terminals only; the Windows build has its own (windows.cmake).
if(WIN32)
  return()
endif()
add_library(tty_driver STATIC ${CMAKE_CURRENT_LIST_DIR}/e2e/tty_driver.cpp)
target_include_directories(tty_driver PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tty_driver PUBLIC run_tool util)

add_executable(console_dialogue_e2e_tests ${CMAKE_CURRENT_LIST_DIR}/e2e/console_dialogue_test.cpp)
target_link_libraries(console_dialogue_e2e_tests PRIVATE tty_driver run_tool image_builder GTest::gtest_main)
target_compile_definitions(console_dialogue_e2e_tests PRIVATE SPANFETCH_BINARY="$<TARGET_FILE:spanfetch>"
                           TEST_SCRATCH_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(console_dialogue_e2e_tests spanfetch)
gtest_discover_tests(console_dialogue_e2e_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 180)
