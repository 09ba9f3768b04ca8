# The Windows tests (build/win64): GoogleTest and the tests need std::mutex and
# std::thread, which only the -posix thread-model compilers provide. The program
# in this tree, nimbrel.exe, is still built with the product's tool chain, by a
# nested build (app/CMakeLists.txt), so that what runs under Wine is what ships.
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-x86_64.cmake)
set(CMAKE_C_COMPILER   ${MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_PREFIX}-g++-posix)
set(NIMBREL_PROGRAM_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-x86_64.cmake)
set(NIMBREL_PROGRAM32_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-i686.cmake)
