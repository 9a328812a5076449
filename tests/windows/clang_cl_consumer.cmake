# cmake -DNAME=.. -DFLAGS=/TC[,/Gz] -DBITS=32|64 ... -P clang_cl_consumer.cmake:
# builds every_export.c with clang-cl and links it with lld-link against
# dessec.lib, with no C runtime (none comes with LLVM: the program starts at
# consumer_start and writes through KERNEL32, whose import library is made
# here), then runs it under Wine from the folder of dessec.dll. Paths go after
# "--": clang-cl reads /work/... as an option.
string(REPLACE "," ";" FLAGS "${FLAGS}")
string(REPLACE "|" ";" WINE "${WINE}")
if(BITS EQUAL 32)
  set(machine X86)
  set(target i686-pc-windows-msvc)
  set(functions "ExitProcess@4\n  GetStdHandle@4\n  WriteFile@20")
  set(dlltool -m i386 -k)
else()
  set(machine X64)
  set(target x86_64-pc-windows-msvc)
  set(functions "ExitProcess\n  GetStdHandle\n  WriteFile")
  set(dlltool -m i386:x86-64)
endif()
set(out ${WORK}/${NAME})
file(WRITE ${out}-kernel32.def "LIBRARY KERNEL32.dll\nEXPORTS\n  ${functions}\n")
foreach(step
    "${DLLTOOL};${dlltool};-d;${out}-kernel32.def;-l;${out}-kernel32.lib"
    "${CLANG_CL};--target=${target};/nologo;/W4;/WX;/O2;/GS-;/DDESSEC_CONSUMER_NO_CRT;/I;${INCLUDE};${FLAGS};/c;/Fo${out}.obj;--;${SOURCE}"
    "${LLD_LINK};/nologo;/machine:${machine};/subsystem:console;/entry:consumer_start;/nodefaultlib;/out:${out}.exe;${out}.obj;${LIB};${out}-kernel32.lib"
    "${WINE};${out}.exe")
  execute_process(COMMAND ${step} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN step " " step)
    message(FATAL_ERROR "${NAME}: failed (${status}): ${step}")
  endif()
endforeach()
