# Cross-building the Windows executable on Linux with mingw-w64, as Debian
# packages it (g++-mingw-w64-x86-64-posix, binutils-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(keelmarkMingwPrefix x86_64-w64-mingw32)
# The posix flavour has the standard threads; take it when both are there.
find_program(CMAKE_CXX_COMPILER NAMES ${keelmarkMingwPrefix}-g++-posix ${keelmarkMingwPrefix}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${keelmarkMingwPrefix}-gcc-posix ${keelmarkMingwPrefix}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${keelmarkMingwPrefix}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${keelmarkMingwPrefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
