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

# Headers and libraries come from the mingw tree and the preset's prefix
# (DESSEC_DEPS_PRESET: the static libcrypto and GoogleTest that
# `scripts/setup.sh PRESET` cross-builds), or from prefixes the caller adds
# (-DCMAKE_FIND_ROOT_PATH=...), never from the build machine's own /usr.
include(${CMAKE_CURRENT_LIST_DIR}/deps-prefix.cmake)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${DESSEC_MINGW_TRIPLET})
if(DESSEC_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${DESSEC_DEPS_PREFIX})
  set(OPENSSL_USE_STATIC_LIBS ON)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(DESSEC_WINE env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEARCH=win64
    WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=")
set(CMAKE_CROSSCOMPILING_EMULATOR ${DESSEC_WINE} wine)
