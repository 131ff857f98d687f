# The instruction-set level: KESTRUNE_ARCH as asked, KESTRUNE_LEVEL as chosen
# (it names the packages) and kestrune_level_flags for the compiler. Bit scans
# and population counts sit on every hot path; the baseline x86-64 instruction
# set has neither as single instructions.
set(KESTRUNE_ARCH "auto" CACHE STRING
  "Instruction set: x86-64, x86-64-v2, x86-64-v3, native, or auto (the best level the build machine runs; x86-64 when cross-compiling)")
set_property(CACHE KESTRUNE_ARCH PROPERTY STRINGS auto x86-64 x86-64-v2 x86-64-v3 native)

set(kestrune_x86 FALSE)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(kestrune_x86 TRUE)
endif()
set(KESTRUNE_LEVEL "")
set(kestrune_level_flags "")
if(KESTRUNE_ARCH STREQUAL "auto")
  if(NOT kestrune_x86)
    set(KESTRUNE_LEVEL "${CMAKE_SYSTEM_PROCESSOR}")
  elseif(CMAKE_CROSSCOMPILING)
    # A cross build cannot ask the machine it will run on.
    set(KESTRUNE_LEVEL "x86-64")
  else()
    include(CheckCXXSourceRuns)
    foreach(level v3 v2)
      set(CMAKE_REQUIRED_FLAGS "-march=x86-64-${level}")
      check_cxx_source_runs("
        int main() {
          __builtin_cpu_init();
          return __builtin_cpu_supports(\"popcnt\") && __builtin_cpu_supports(\"sse4.2\") &&
                 (__builtin_cpu_supports(\"avx2\") && __builtin_cpu_supports(\"bmi2\") &&
                  __builtin_cpu_supports(\"fma\") || \"${level}\"[1] == '2') ? 0 : 1;
        }" KESTRUNE_RUNS_X86_64_${level})
      unset(CMAKE_REQUIRED_FLAGS)
      if(KESTRUNE_RUNS_X86_64_${level})
        set(KESTRUNE_LEVEL "x86-64-${level}")
        break()
      endif()
    endforeach()
    if(NOT KESTRUNE_LEVEL)
      set(KESTRUNE_LEVEL "x86-64")
    endif()
  endif()
elseif(KESTRUNE_ARCH MATCHES "^x86-64(-v2|-v3)?$")
  if(NOT kestrune_x86)
    message(FATAL_ERROR "KESTRUNE_ARCH=${KESTRUNE_ARCH} needs an x86-64 target, not ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  set(KESTRUNE_LEVEL "${KESTRUNE_ARCH}")
elseif(KESTRUNE_ARCH STREQUAL "native")
  set(KESTRUNE_LEVEL "native")
  set(kestrune_level_flags -march=native)
else()
  message(FATAL_ERROR "KESTRUNE_ARCH must be x86-64, x86-64-v2, x86-64-v3, native or auto; got '${KESTRUNE_ARCH}'")
endif()
if(KESTRUNE_LEVEL MATCHES "^x86-64")
  set(kestrune_level_flags -march=${KESTRUNE_LEVEL})
endif()
message(STATUS "kestrune instruction set: ${KESTRUNE_LEVEL}")
