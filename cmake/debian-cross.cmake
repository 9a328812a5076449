# Cross-builds for another Debian architecture with Debian's cross compilers,
# and runs the programs under qemu's user-mode emulation (the arm64, s390x
# and i386 presets):
#   DESSEC_CROSS_ARCH     arm64, s390x or i386 (Debian's name)
#   DESSEC_CROSS_SYSROOT  Debian's packages of the target's libraries
#                         (OpenSSL, crypt, GoogleTest) unpacked into a folder;
#                         by default the preset's prefix, which
#                         `scripts/setup.sh ARCH` provisions.
# The C runtime comes from the cross compiler's own tree, /usr/TRIPLET.
include(${CMAKE_CURRENT_LIST_DIR}/deps-prefix.cmake)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DESSEC_CROSS_ARCH DESSEC_CROSS_SYSROOT)

if(DESSEC_CROSS_ARCH STREQUAL "arm64")
  set(CMAKE_SYSTEM_PROCESSOR aarch64)
  set(triplet aarch64-linux-gnu)
  set(multiarch aarch64-linux-gnu)
  set(qemu qemu-aarch64)
elseif(DESSEC_CROSS_ARCH STREQUAL "s390x")
  set(CMAKE_SYSTEM_PROCESSOR s390x)
  set(triplet s390x-linux-gnu)
  set(multiarch s390x-linux-gnu)
  set(qemu qemu-s390x)
elseif(DESSEC_CROSS_ARCH STREQUAL "i386")
  set(CMAKE_SYSTEM_PROCESSOR i686)
  set(triplet i686-linux-gnu)
  set(multiarch i386-linux-gnu)
  set(qemu qemu-i386)
else()
  message(FATAL_ERROR "DESSEC_CROSS_ARCH is '${DESSEC_CROSS_ARCH}': arm64, s390x or i386")
endif()
if(NOT DESSEC_CROSS_SYSROOT)
  set(DESSEC_CROSS_SYSROOT ${DESSEC_DEPS_PREFIX})
endif()
if(NOT IS_DIRECTORY "${DESSEC_CROSS_SYSROOT}/usr/lib/${multiarch}")
  message(FATAL_ERROR "DESSEC_CROSS_SYSROOT '${DESSEC_CROSS_SYSROOT}' holds no ${multiarch} libraries")
endif()
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_LIBRARY_ARCHITECTURE ${multiarch})
set(CMAKE_C_COMPILER ${triplet}-gcc)
set(CMAKE_CXX_COMPILER ${triplet}-g++)

# The target's libraries and CMake packages from the two trees only, never
# from the build machine's /usr; programs (Python, valgrind) from the machine.
set(CMAKE_FIND_ROOT_PATH /usr/${triplet} ${DESSEC_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# OpenSSL keeps its per-architecture configuration header in the multiarch
# include folder, and the unpacked libraries link to each other there.
set(sysroot_libs ${DESSEC_CROSS_SYSROOT}/lib/${multiarch}:${DESSEC_CROSS_SYSROOT}/usr/lib/${multiarch})
set(sysroot_includes "-isystem ${DESSEC_CROSS_SYSROOT}/usr/include/${multiarch} -isystem ${DESSEC_CROSS_SYSROOT}/usr/include")
set(CMAKE_C_FLAGS_INIT "${sysroot_includes}")
set(CMAKE_CXX_FLAGS_INIT "${sysroot_includes}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-rpath-link,${sysroot_libs}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,-rpath-link,${sysroot_libs}")

# -L alone would let the cross tree's dynamic loader pick up the target's C
# library from the machine's multiarch folders when those are installed (as
# i386's are beside Wine): threads then hang or the stack protector aborts.
# The library path keeps the whole runtime on the cross tree's one copy.
set(CMAKE_CROSSCOMPILING_EMULATOR ${qemu} -L /usr/${triplet}
    -E LD_LIBRARY_PATH=/usr/${triplet}/lib:${sysroot_libs})
