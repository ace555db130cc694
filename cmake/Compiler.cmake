# Flags shared by every target. Floating point must give the same bits on
# every build: no fast-math, no fused multiply-add, SSE2 on 32-bit x86.
add_compile_options(-Wall -Wextra -ffp-contract=off -fno-fast-math)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" OR
   (CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "86"))
  add_compile_options(-msse2 -mfpmath=sse)
endif()

if(QUILLO_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
