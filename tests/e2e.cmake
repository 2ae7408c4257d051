# End-to-end runs of the built binary: conversions of generated image sets, and
# the two console dialogues on a pseudo-terminal.
# POSIX processes and terminals only; the Windows build has its own (windows.cmake).
if(WIN32)
  return()
endif()
add_library(run_tool STATIC ${CMAKE_CURRENT_LIST_DIR}/e2e/run_tool.cpp)
target_include_directories(run_tool PUBLIC ${PROJECT_SOURCE_DIR})

add_library(tty_driver STATIC ${CMAKE_CURRENT_LIST_DIR}/e2e/tty_driver.cpp)
target_include_directories(tty_driver PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tty_driver PUBLIC run_tool util)

# add_e2e_gtest(NAME SOURCES... [LIBRARIES ...] [TIMEOUT SECONDS]): a GoogleTest
# program that runs the built spanfetch in scratch directories under the build
# tree, each of its tests a CTest test of its own (TIMEOUT seconds each).
function(add_e2e_gtest name)
  cmake_parse_arguments(E2E "" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${E2E_SOURCES})
  target_link_libraries(${name} PRIVATE run_tool image_builder ${E2E_LIBRARIES} GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE SPANFETCH_BINARY="$<TARGET_FILE:spanfetch>"
                             TEST_SCRATCH_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(${name} spanfetch)
  if(E2E_TIMEOUT)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${E2E_TIMEOUT})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

add_e2e_gtest(conversion_e2e_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e/conversion_test.cpp)
add_e2e_gtest(dialogue_e2e_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e/dialogue_test.cpp
              LIBRARIES tty_driver TIMEOUT 120)
