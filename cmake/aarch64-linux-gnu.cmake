# Linux ARM64 with Debian's cross compiler (g++-aarch64-linux-gnu):
#   cmake -S . -B build-arm64 --toolchain cmake/aarch64-linux-gnu.cmake
# Programs built here run on x86-64 under qemu-aarch64 (package qemu-user).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(KESTRUNE_CROSS_PREFIX aarch64-linux-gnu)
find_program(CMAKE_CXX_COMPILER NAMES ${KESTRUNE_CROSS_PREFIX}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${KESTRUNE_CROSS_PREFIX}-gcc)
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUNE_CROSS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Unit tests (and their discovery) run under the emulator when it is there.
find_program(KESTRUNE_QEMU_AARCH64 qemu-aarch64)
if(KESTRUNE_QEMU_AARCH64 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${KESTRUNE_QEMU_AARCH64};-L;/usr/${KESTRUNE_CROSS_PREFIX}")
endif()
