# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the files staged for the packages, before they are
# packed: Debian's manual pages are compressed with gzip -9, without the name and time of the
# uncompressed file. A plain `cmake --install` keeps them as they are in doc/.
file(GLOB_RECURSE pages LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man*/*")
foreach(page IN LISTS pages)
  if(page MATCHES "\\.gz$")
    continue()
  endif()
  execute_process(COMMAND gzip -9 -n -f "${page}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${page}: ${status}")
  endif()
endforeach()
