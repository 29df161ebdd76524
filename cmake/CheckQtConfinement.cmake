# Fails when a program source outside src/scalino/ includes a Qt header: only the window links
# Qt, so that scalino-cli and the core build without it. (The window's own tests and benchmarks
# use Qt as the window does.) Run with: cmake -DSOURCE_DIR=... -P
file(GLOB_RECURSE sources "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp")
set(offenders "")
foreach(file IN LISTS sources)
  if(file MATCHES "/src/scalino/")
    continue()
  endif()
  file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Q[A-Za-z]+|Qt[A-Za-z]*/)")
  if(includes)
    list(APPEND offenders "${file}: ${includes}")
  endif()
endforeach()
if(offenders)
  list(JOIN offenders "\n  " listed)
  message(FATAL_ERROR "Qt headers outside src/scalino/:\n  ${listed}")
endif()
message(STATUS "No Qt header outside src/scalino/ (${SOURCE_DIR})")
