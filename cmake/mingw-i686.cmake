# Cross-builds the library as a 32-bit Windows DLL with Debian's mingw-w64.
#
# The posix thread-model compilers are used: with the default win32 model,
# libstdc++ has no std::mutex and its std::call_once falls back to an
# unsynchronised single-thread version that throws on a concurrent first call.
# The posix model brings the winpthreads runtime, which -static links into the
# DLL along with libgcc and libstdc++, so the DLL needs only the system DLLs
# and libcrypto.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Headers and libraries come from the mingw tree or from prefixes the caller
# adds (-DCMAKE_FIND_ROOT_PATH=...: libcrypto, GoogleTest), never from the
# build machine's own /usr.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
