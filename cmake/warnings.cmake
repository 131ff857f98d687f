# Warnings, sanitizers and link-time optimisation. Warnings and sanitizers live
# on small interface targets linked to everything, so one switch covers the
# library, the engine, the tests and the tools.
option(KESTRUNE_WERROR "Treat warnings as errors" OFF)
set(SANITIZE "" CACHE STRING "Comma-separated sanitizers, e.g. address,undefined or thread")

add_library(kestrune_warnings INTERFACE)
target_compile_options(kestrune_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual
  -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
if(KESTRUNE_WERROR)
  target_compile_options(kestrune_warnings INTERFACE -Werror)
endif()

add_library(kestrune_sanitizers INTERFACE)
if(SANITIZE)
  target_compile_options(kestrune_sanitizers INTERFACE
    -fsanitize=${SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(kestrune_sanitizers INTERFACE -fsanitize=${SANITIZE})
  # Lets the slowest tests pick smaller depths under instrumentation.
  target_compile_definitions(kestrune_sanitizers INTERFACE KESTRUNE_SANITIZED=1)
endif()

# Link-time optimisation for Release builds. Off, builds are faster (every
# test executable repeats the LTO link); the CI's clang + libc++ build uses that.
option(KESTRUNE_LTO "Link-time optimisation in Release builds" ON)
if(CMAKE_BUILD_TYPE STREQUAL "Release" AND NOT SANITIZE AND KESTRUNE_LTO)
  include(CheckIPOSupported)
  check_ipo_supported(RESULT kestrune_ipo OUTPUT kestrune_ipo_msg LANGUAGES CXX)
  if(kestrune_ipo)
    set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
  endif()
endif()
