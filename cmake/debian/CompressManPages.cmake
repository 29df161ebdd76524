# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the files staged for the packages, before they are
# packed: Debian's manual pages are compressed with gzip -9, without the name and time of the
# uncompressed file. A plain `cmake --install` keeps them as they are in doc/.
if(NOT IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
  message(FATAL_ERROR "No staging folder for the packages: \"${CPACK_TEMPORARY_DIRECTORY}\"")
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
list(FILTER staged INCLUDE REGEX "/share/man/man[^/]+/[^/]+$")
list(FILTER staged EXCLUDE REGEX "\\.gz$")
if(NOT staged)
  message(FATAL_ERROR "No manual page to compress in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(page IN LISTS staged)
  execute_process(COMMAND gzip -9 -n -f "${page}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${page}: ${status}")
  endif()
endforeach()
