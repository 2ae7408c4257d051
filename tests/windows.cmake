# spanfetch.exe end to end under wine: conversions without a console, and the
# two dialogues in a terminal. Only in the Windows build.
if(NOT WIN32)
  return()
endif()

set(SPANFETCH_WINE_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/windows)
set(SPANFETCH_WINE_ENV
    "WINE=${SPANFETCH_WINE}"
    "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix"
    "SCRATCH=${CMAKE_CURRENT_BINARY_DIR}/wine_scratch"
    "SPANFETCH_EXE=$<TARGET_FILE:spanfetch>"
    "MKIMAGE_EXE=$<TARGET_FILE:mkimage>")

# add_wine_test(NAME SCRIPT GROUP): one group of cases; 77 means skipped (no wine outside CI).
function(add_wine_test name script group)
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -E env ${SPANFETCH_WINE_ENV} bash ${SPANFETCH_WINE_SCRIPTS}/${script} ${group})
  set_tests_properties(${name} PROPERTIES
                       FIXTURES_REQUIRED wine_prefix
                       RESOURCE_LOCK wine_drives  # the drive letters belong to the prefix
                       SKIP_RETURN_CODE 77
                       TIMEOUT 600)
endfunction()

add_test(NAME wine.prefix COMMAND ${CMAKE_COMMAND} -E env ${SPANFETCH_WINE_ENV} bash ${SPANFETCH_WINE_SCRIPTS}/prefix_setup.sh)
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine_prefix SKIP_RETURN_CODE 77 TIMEOUT 300)

foreach(group usage paths signatures multipart exit_codes)
  add_wine_test(wine.conversion.${group} conversion_cases.sh ${group})
endforeach()

foreach(group overwrite disc_wait)
  add_wine_test(wine.dialogue.${group} dialogue_cases.sh ${group})
endforeach()

foreach(group image_file image_folder)
  add_wine_test(wine.disc_image.${group} disc_image_cases.sh ${group})
endforeach()

add_test(NAME package.windows_zip
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package/zip_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(package.windows_zip PROPERTIES TIMEOUT 120)
