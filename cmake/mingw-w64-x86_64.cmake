# Windows x86-64 with Debian's MinGW-w64 (posix threads, for std::thread):
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRUNE_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${KESTRUNE_MINGW_PREFIX}-g++-posix ${KESTRUNE_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${KESTRUNE_MINGW_PREFIX}-gcc-posix ${KESTRUNE_MINGW_PREFIX}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${KESTRUNE_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUNE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One kestrune.exe that needs only system DLLs: the C++ runtime, libgcc and
# winpthreads are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
