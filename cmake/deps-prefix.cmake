# The prefix that scripts/setup.sh provisions for a preset, included by the
# cross toolchain files: with DESSEC_DEPS_PRESET (the presets set it to their
# name) DESSEC_DEPS_PREFIX is $DESSEC_DEPS/PRESET, by default
# ~/.cache/dessec/PRESET. Configure only reads it; when it is missing, it
# stops at once and names the command that provisions it.
if(DESSEC_DEPS_PRESET AND NOT DESSEC_DEPS_PREFIX)
  if(DEFINED ENV{DESSEC_DEPS} AND NOT "$ENV{DESSEC_DEPS}" STREQUAL "")
    set(dessec_deps_root "$ENV{DESSEC_DEPS}")
  elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(dessec_deps_root "$ENV{XDG_CACHE_HOME}/dessec")
  else()
    set(dessec_deps_root "$ENV{HOME}/.cache/dessec")
  endif()
  set(DESSEC_DEPS_PREFIX "${dessec_deps_root}/${DESSEC_DEPS_PRESET}" CACHE PATH
    "The preset's provisioned dependencies (scripts/setup.sh PRESET)")
endif()
# The try_compile projects read this file again, with the prefix passed on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DESSEC_DEPS_PREFIX)
# The leading space keeps the message on one line, unwrapped.
if(DESSEC_DEPS_PREFIX AND NOT EXISTS "${DESSEC_DEPS_PREFIX}/versions.txt")
  message(FATAL_ERROR " ${DESSEC_DEPS_PREFIX} is not provisioned: run scripts/setup.sh ${DESSEC_DEPS_PRESET}")
endif()
