# The tool, the tests and the benchmarks need packages that the library does
# not: with AUTO they are built when this is the top-level project and their
# package is found, so a build with only a compiler, CMake and OpenSSL's
# headers works; ON insists on them, OFF leaves them out.

# dessec_resolve_part(RESULT SETTING PACKAGE [find_package options...]):
# RESULT is TRUE when the part chosen by SETTING is to be built, finding
# PACKAGE as the setting asks.
function(dessec_resolve_part result setting package)
  string(TOUPPER "${${setting}}" choice)
  if(choice STREQUAL "AUTO")
    if(PROJECT_IS_TOP_LEVEL)
      find_package(${package} ${ARGN} QUIET)
    endif()
    set(build ${${package}_FOUND})
    if(NOT build)
      message(STATUS "${setting}=AUTO: ${package} not found or not the top-level project; not built")
    endif()
  elseif(${setting})
    find_package(${package} ${ARGN} REQUIRED)
    set(build TRUE)
  else()
    set(build FALSE)
  endif()
  set(${result} ${build} PARENT_SCOPE)
endfunction()

# CLI11 is header-only and comes from the build machine's packages, also for
# a cross build.
dessec_resolve_part(DESSEC_BUILD_TOOL DESSEC_TOOL CLI11 CONFIG NO_CMAKE_FIND_ROOT_PATH)
dessec_resolve_part(DESSEC_BUILD_TESTS DESSEC_TESTS GTest)
dessec_resolve_part(DESSEC_BUILD_BENCH DESSEC_BENCH benchmark)
