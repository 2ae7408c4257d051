# CPack pre-build step for the Debian package: gzip the manual page and the
# changelog, strip the compiler's notes from the binary, add the lintian overrides.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

file(GLOB_RECURSE staged ${CPACK_TEMPORARY_DIRECTORY}/*)

set(docs ${staged})
list(FILTER docs INCLUDE REGEX "/man/man1/spanfetch\\.1$|/doc/spanfetch/changelog$")
list(LENGTH docs count)
if(NOT count EQUAL 2)
  message(FATAL_ERROR "manual page or changelog missing under ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(doc IN LISTS docs)
  # -n leaves out the name and time stamp, so the package builds the same every time.
  execute_process(COMMAND gzip -9nf ${doc} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip -9n ${doc} failed")
  endif()
endforeach()

set(programs ${staged})
list(FILTER programs INCLUDE REGEX "/bin/spanfetch$")
if(NOT programs)
  message(FATAL_ERROR "spanfetch missing under ${CPACK_TEMPORARY_DIRECTORY}")
endif()
if(CPACK_SPANFETCH_STRIP)
  execute_process(COMMAND ${CPACK_SPANFETCH_STRIP} --remove-section=.comment --remove-section=.note ${programs}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "stripping ${programs} failed")
  endif()
endif()

# Beside /usr/bin/spanfetch, whatever the staging tree's prefix.
list(GET programs 0 program)
get_filename_component(prefix ${program} DIRECTORY)
get_filename_component(prefix ${prefix} DIRECTORY)
file(MAKE_DIRECTORY ${prefix}/share/lintian/overrides)
file(COPY_FILE ${CPACK_SPANFETCH_LINTIAN_OVERRIDES} ${prefix}/share/lintian/overrides/spanfetch)
