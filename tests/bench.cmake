# The benchmark script in its smoke mode: a tiny image set, one run of each
# tool, the outputs checked and the summary line printed last.
# POSIX processes and terminals only; the Windows build has its own (windows.cmake).
if(WIN32)
  return()
endif()
add_test(NAME bench_smoke
         COMMAND bash ${PROJECT_SOURCE_DIR}/bench/run.sh --smoke
                 --spanfetch $<TARGET_FILE:spanfetch> --mkimage $<TARGET_FILE:mkimage>
                 --dir ${CMAKE_BINARY_DIR}/bench-smoke)
# The summary is printed only once the outputs are verified, so matching it
# (which replaces the exit-code check) fails on a wrong conversion too.
set_tests_properties(bench_smoke PROPERTIES TIMEOUT 120
    PASS_REGULAR_EXPRESSION "spanfetch/dd-direct wall [0-9.]+, peak RSS [0-9.]+ MiB, syscalls/chunk [0-9.n/a]+\n$")
