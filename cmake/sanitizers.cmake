# Instrumented builds for the test command and the fuzzers. Each setting
# instruments everything the project compiles: the library, the tool, the
# tests and the fuzz targets alike.
option(DESSEC_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(DESSEC_TSAN "Build with ThreadSanitizer" OFF)
option(DESSEC_FUZZ "Build the libFuzzer targets (clang only); instruments the whole library" OFF)

if(DESSEC_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(DESSEC_TSAN)
  if(DESSEC_SANITIZE)
    message(FATAL_ERROR "ThreadSanitizer does not combine with AddressSanitizer")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(DESSEC_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "DESSEC_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  # Coverage instrumentation everywhere, so the fuzzers are guided through the library too.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
