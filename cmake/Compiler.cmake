# Flags shared by every target. Floating point must give the same bits on
# every build: no fast-math, no fused multiply-add, SSE2 on 32-bit x86.
# The modulated delay and pitch shifter store single-precision values and
# form their products in double precision; each product and sum must be
# rounded exactly once, in that precision, on Linux x86-64 and both Windows
# builds. Contraction into fused multiply-adds, or the x87 unit's 80-bit
# registers on 32-bit x86, would change the bits they produce.
add_compile_options(-Wall -Wextra -ffp-contract=off -fno-fast-math)

# (Emscripten names its 32-bit WebAssembly target x86: it has no SSE registers.)
if(NOT EMSCRIPTEN AND (CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" OR
   (CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "86")))
  add_compile_options(-msse2 -mfpmath=sse)
endif()

if(QUILLO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# The Windows player has to fit in front of its payload: no exception or
# unwind tables, no RTTI, every function in its own section so that the
# linker drops what nothing calls, and a static runtime so that the program
# needs no DLL beyond the system's. Not -fdata-sections: with MinGW it moves
# zero-initialised statics into the file. No link time stamp: the same sources
# give the same program file.
if(WIN32 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions> $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>
                      -fno-asynchronous-unwind-tables -ffunction-sections)
  add_link_options(-static -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
endif()

# Fuzzing: coverage instrumentation for libFuzzer everywhere (clang only);
# the fuzz targets themselves link the fuzzing engine.
if(QUILLO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUILLO_FUZZ needs clang (use the fuzz preset)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
