# What the mingw-w64 toolchain files share: the caller sets
# DESSEC_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR first. Programs run under
# Wine, in a prefix of the build's own, without a display.
#
# The posix thread-model compilers are used: with the default win32 model,
# libstdc++ has no std::mutex and its std::call_once falls back to an
# unsynchronised single-thread version that throws on a concurrent first call.
# The posix model brings the winpthreads runtime, which -static links into
# every DLL and program along with libgcc and libstdc++ (and the project links
# libcrypto statically too), so they need only the DLLs that come with Windows.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${DESSEC_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DESSEC_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DESSEC_MINGW_TRIPLET}-windres)

set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Headers and libraries come from the mingw tree or from prefixes the caller
# adds (-DCMAKE_FIND_ROOT_PATH=...: libcrypto, GoogleTest), never from the
# build machine's own /usr.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${DESSEC_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -DDESSEC_MINGW_DEPS=ON (the win32 and win64 presets): the static libcrypto
# and GoogleTest that scripts/mingw-deps.sh cross-builds once and caches.
# Otherwise the caller names their prefixes in CMAKE_FIND_ROOT_PATH.
get_property(in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
get_property(dessec_mingw_prefixes GLOBAL PROPERTY DESSEC_MINGW_PREFIXES)
if(DESSEC_MINGW_DEPS AND NOT in_try_compile AND NOT dessec_mingw_prefixes)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/mingw-deps.sh ${DESSEC_MINGW_TRIPLET}
                          ${CMAKE_TOOLCHAIN_FILE}
    OUTPUT_VARIABLE dessec_mingw_prefixes OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" ";" dessec_mingw_prefixes "${dessec_mingw_prefixes}")
  set_property(GLOBAL PROPERTY DESSEC_MINGW_PREFIXES "${dessec_mingw_prefixes}")
endif()
if(dessec_mingw_prefixes)
  list(APPEND CMAKE_FIND_ROOT_PATH ${dessec_mingw_prefixes})
  set(OPENSSL_USE_STATIC_LIBS ON)
endif()

set(DESSEC_WINE env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEARCH=win64
    WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=")
set(CMAKE_CROSSCOMPILING_EMULATOR ${DESSEC_WINE} wine)
