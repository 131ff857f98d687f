# Profile-guided build (gcc): -DKESTRUNE_PGO=ON builds an instrumented bench in
# <build>/pgo-training, runs it once as the training, then compiles the engine,
# its library and the tools here with that profile. The training build is an
# ExternalProject of this same source tree and is redone on every build, so the
# profile always belongs to the sources being compiled.
option(KESTRUNE_PGO "Profile-guided build trained on bench (gcc only)" OFF)
# Set only inside the training build: where the instrumented programs write.
set(KESTRUNE_PGO_GENERATE "" CACHE PATH "Internal: profile directory of the instrumented training build")
mark_as_advanced(KESTRUNE_PGO_GENERATE)

# Both builds name their profile files after the object paths relative to their
# own build directory, which are the same, so the profile is found here.
function(kestrune_pgo_flags mode directory)
  foreach(target IN ITEMS kestrune_core kestrune bench perft_runner)
    if(TARGET ${target})
      target_compile_options(${target} PRIVATE -fprofile-${mode}=${directory}
        -fprofile-prefix-path=${CMAKE_BINARY_DIR} ${ARGN})
      target_link_options(${target} PRIVATE -fprofile-${mode}=${directory})
    endif()
  endforeach()
endfunction()

if(KESTRUNE_PGO_GENERATE)
  kestrune_pgo_flags(generate ${KESTRUNE_PGO_GENERATE})
elseif(KESTRUNE_PGO)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "KESTRUNE_PGO needs gcc")
  endif()
  include(ExternalProject)
  set(profile ${CMAKE_BINARY_DIR}/pgo-profile)
  set(training ${CMAKE_BINARY_DIR}/pgo-training)
  ExternalProject_Add(kestrune_pgo_training
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${training}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
               -DKESTRUNE_ARCH=${KESTRUNE_ARCH} -DKESTRUNE_TESTS=OFF -DKESTRUNE_PGO=OFF
               -DKESTRUNE_PGO_GENERATE=${profile}
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${training} --target bench
    # The training: a fresh profile from one bench run.
    INSTALL_COMMAND ${CMAKE_COMMAND} -E rm -rf ${profile}
            COMMAND ${training}/bench
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
  add_dependencies(kestrune_core kestrune_pgo_training)
  # Code the bench never runs (main, parts of the front end) keeps its usual
  # optimisation instead of being treated as cold.
  kestrune_pgo_flags(use ${profile} -fprofile-partial-training -Wno-missing-profile)
  # gcc 12 reports a string copy in the front end as overflowing once the
  # profile has inlined it at link time; the bound it names is impossible.
  target_link_options(kestrune PRIVATE -Wno-stringop-overflow)
endif()
