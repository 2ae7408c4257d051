# The console dialogues of the built binary through a pseudo-terminal.
# POSIX processes and terminals only; the Windows build has its own (windows.cmake).
if(WIN32)
  return()
endif()
add_executable(dialogue_e2e_tests
  ${CMAKE_CURRENT_LIST_DIR}/e2e/dialogue_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/e2e/pty_session.cpp)
target_include_directories(dialogue_e2e_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(dialogue_e2e_tests PRIVATE run_tool image_builder util GTest::gtest_main)
target_compile_definitions(dialogue_e2e_tests PRIVATE SPANFETCH_BINARY="$<TARGET_FILE:spanfetch>"
                           TEST_SCRATCH_DIR="${CMAKE_BINARY_DIR}")
add_dependencies(dialogue_e2e_tests spanfetch)
gtest_discover_tests(dialogue_e2e_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
