# Runs against real devices and real read errors: loop devices with 2048- and
# 4096-byte sectors (skipped where the machine cannot make them) and a
# preloaded shim that makes chosen bytes of a part unreadable.
# POSIX processes and terminals only; the Windows build has its own (windows.cmake).
if(WIN32)
  return()
endif()
add_library(read_fault_shim SHARED ${CMAKE_CURRENT_LIST_DIR}/devices/read_fault_shim.c)
set_target_properties(read_fault_shim PROPERTIES LINKER_LANGUAGE C)
enable_language(C)
# The shim must stay free of the sanitizers so it can load before them.
target_compile_options(read_fault_shim PRIVATE -fno-sanitize=all)
target_link_options(read_fault_shim PRIVATE -fno-sanitize=all)
target_link_libraries(read_fault_shim PRIVATE dl)

foreach(sector 2048 4096)
  add_test(NAME loop_device_${sector}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/devices/loop_device_test.sh
                   $<TARGET_FILE:spanfetch> $<TARGET_FILE:mkimage> ${sector})
  set_tests_properties(loop_device_${sector} PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE TIMEOUT 120)
endforeach()

add_test(NAME read_faults
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/devices/read_fault_test.sh
                 $<TARGET_FILE:spanfetch> $<TARGET_FILE:mkimage> $<TARGET_FILE:read_fault_shim>)
set_tests_properties(read_faults PROPERTIES TIMEOUT 120)

add_library(flush_fault_shim SHARED ${CMAKE_CURRENT_LIST_DIR}/devices/flush_fault_shim.c)
set_target_properties(flush_fault_shim PROPERTIES LINKER_LANGUAGE C)
target_compile_options(flush_fault_shim PRIVATE -fno-sanitize=all)
target_link_options(flush_fault_shim PRIVATE -fno-sanitize=all)
target_link_libraries(flush_fault_shim PRIVATE dl)

add_test(NAME destination_flushes
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/devices/flush_test.sh
                 $<TARGET_FILE:spanfetch> $<TARGET_FILE:mkimage> $<TARGET_FILE:flush_fault_shim>)
set_tests_properties(destination_flushes PROPERTIES TIMEOUT 120)

add_test(NAME partial_last_sector
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/devices/partial_marker_test.sh
                 $<TARGET_FILE:spanfetch> $<TARGET_FILE:mkimage>)
set_tests_properties(partial_last_sector PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE TIMEOUT 120)
