# Stand-in optical drives for the device tests (loop devices, disc changes,
# fault_fs for unreadable sectors) and the Linux drive services run on them.
# fault_fs is built only where pkg-config finds libfuse3; its tests skip otherwise.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()
enable_language(C)

add_executable(drive_probe ${CMAKE_CURRENT_LIST_DIR}/devices/drive_probe.cpp)
target_link_libraries(drive_probe PRIVATE spanfetch_platform)

# The helpers stand in for hardware; they need no sanitizers of their own.
add_executable(loop_change_fd ${CMAKE_CURRENT_LIST_DIR}/devices/loop_change_fd.c)
target_compile_options(loop_change_fd PRIVATE -fno-sanitize=all)
target_link_options(loop_change_fd PRIVATE -fno-sanitize=all)

set(SPANFETCH_FAULT_FS "")
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(FUSE3 QUIET IMPORTED_TARGET fuse3)
endif()
if(FUSE3_FOUND)
  add_executable(fault_fs ${CMAKE_CURRENT_LIST_DIR}/devices/fault_fs.c)
  target_link_libraries(fault_fs PRIVATE PkgConfig::FUSE3)
  target_compile_options(fault_fs PRIVATE -fno-sanitize=all)
  target_link_options(fault_fs PRIVATE -fno-sanitize=all)
  set(SPANFETCH_FAULT_FS $<TARGET_FILE:fault_fs>)
else()
  message(STATUS "libfuse3 not found: fault_fs is not built and its tests skip")
endif()

foreach(group faults drive)
  add_test(NAME drive_tooling.${group}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/devices/drive_tooling_test.sh ${group}
                   $<TARGET_FILE:mkimage> $<TARGET_FILE:drive_probe> $<TARGET_FILE:loop_change_fd>
                   "${SPANFETCH_FAULT_FS}")
  set_tests_properties(drive_tooling.${group} PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE TIMEOUT 120)
endforeach()

# spanfetch on the stand-in drives: reads, bad sectors, a device it may not open.
foreach(group reads faults access)
  add_test(NAME drive_source.${group}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/devices/drive_source_test.sh ${group}
                   $<TARGET_FILE:spanfetch> $<TARGET_FILE:mkimage> "${SPANFETCH_FAULT_FS}")
  set_tests_properties(drive_source.${group} PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE TIMEOUT 120)
endforeach()

# The same at the terminal: a disc changed at the prompt, an empty drive.
find_program(SPANFETCH_XORRISO xorriso)
find_program(SPANFETCH_LOSETUP losetup PATHS /usr/sbin /sbin)
add_e2e_gtest(drive_e2e_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e/drive_test.cpp
              LIBRARIES tty_driver TIMEOUT 120)
target_compile_definitions(drive_e2e_tests PRIVATE XORRISO_BINARY="${SPANFETCH_XORRISO}"
                           LOSETUP_BINARY="${SPANFETCH_LOSETUP}"
                           LOOP_CHANGE_FD_BINARY="$<TARGET_FILE:loop_change_fd>")
add_dependencies(drive_e2e_tests loop_change_fd)
