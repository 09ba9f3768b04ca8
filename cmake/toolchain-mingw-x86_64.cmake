# 64-bit Windows build of the product, built exactly as the 32-bit one (the same
# -win32 thread-model compilers, flags and macros), run here under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER  ${MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Wine's 64-bit loader: Debian's "wine" goes through the 32-bit loader once wine32 is
# installed, which fails where the kernel runs no 32-bit code.
find_program(NIMBREL_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CACHE)
if(NOT NIMBREL_WINE64)
  set(NIMBREL_WINE64 wine)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${NIMBREL_WINE64})
