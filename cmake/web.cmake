# WebAssembly builds with Emscripten (scripts/web.sh drives them). Two
# configurations of the same sources:
#   KESTRUNE_WEB_THREADS=ON   threads (shared memory): kestrune.js, the Node.js
#                             console engine; kestrune-web.js, the same engine
#                             for a browser worker; bench.js and perft_runner.js
#   KESTRUNE_WEB_THREADS=OFF  kestrune-single.js, one thread for browsers
#                             without cross-origin isolation
if(NOT EMSCRIPTEN)
  return()
endif()

# The npm package takes its version from here.
file(WRITE ${CMAKE_BINARY_DIR}/kestrune-version.txt "${PROJECT_VERSION}\n")

option(KESTRUNE_WEB_THREADS "WebAssembly build with threads (else the single-threaded browser engine)" ON)

# Exceptions are caught (a fatal error ends the engine with its message).
# Emscripten 3.1.6's wasm exception handling does not catch under Node.js 20,
# so these are its JavaScript-based exceptions.
set(kestrune_web_compile -fexceptions)
# wasm32 has a 32-bit size_t: indexing with 64-bit values (squares taken from
# bitboards) narrows there, harmlessly, while the native build checks the rest.
target_compile_options(kestrune_warnings INTERFACE -Wno-shorten-64-to-32)
# EM_ASM's JavaScript names its arguments $0, $1, ...
set_source_files_properties(src/platform.cpp PROPERTIES COMPILE_OPTIONS -Wno-dollar-in-identifier-extension)
# The native stacks are 8 MiB; the table is 16 MiB; very long input lines grow the heap.
set(kestrune_web_link -fexceptions -Wno-pthreads-mem-growth -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=64MB -sMAXIMUM_MEMORY=2GB
  -sTOTAL_STACK=8MB)
# Node.js programs read the wasm file synchronously (Node's fetch cannot load
# file paths) and see the real file system, for --log and the tools' files.
set(kestrune_web_node -sENVIRONMENT=node -sNODERAWFS=1 -sEXIT_RUNTIME=1 -sWASM_ASYNC_COMPILATION=0)

if(KESTRUNE_WEB_THREADS)
  list(APPEND kestrune_web_compile -pthread)
  list(APPEND kestrune_web_link -pthread -sDEFAULT_PTHREAD_STACK_SIZE=8MB)
  target_compile_options(kestrune_core PUBLIC ${kestrune_web_compile})
  target_compile_options(kestrune_cpu_check PRIVATE ${kestrune_web_compile})
  # main() runs in a thread of its own, so that the JavaScript main thread
  # stays free for what the threads proxy to it; both threads start at once.
  set(kestrune_web_console -sPROXY_TO_PTHREAD=1 -sPTHREAD_POOL_SIZE=2)
  target_link_options(kestrune PRIVATE ${kestrune_web_link} ${kestrune_web_node} ${kestrune_web_console}
    --pre-js ${PROJECT_SOURCE_DIR}/web/node-stdin.js -sEXPORTED_FUNCTIONS=_main,_malloc,_free)
  set_property(TARGET kestrune APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/web/node-stdin.js)
  foreach(tool IN ITEMS bench perft_runner)
    if(TARGET ${tool})
      target_link_options(${tool} PRIVATE ${kestrune_web_link} ${kestrune_web_node})
    endif()
  endforeach()
  # The browser flavour: fed by kestrune-worker.js (web/), which passes the
  # page's lines to kestrune_host_input and its output back to the page.
  add_executable(kestrune_web src/main.cpp $<TARGET_OBJECTS:kestrune_cpu_check>)
  target_link_libraries(kestrune_web PRIVATE kestrune_core)
  target_link_options(kestrune_web PRIVATE ${kestrune_web_link} ${kestrune_web_console}
    -sENVIRONMENT=web,worker -sEXIT_RUNTIME=1 -sEXPORTED_FUNCTIONS=_main,_malloc,_free)
  set_target_properties(kestrune_web PROPERTIES OUTPUT_NAME kestrune-web)
else()
  target_compile_options(kestrune_core PUBLIC ${kestrune_web_compile})
  target_compile_options(kestrune_cpu_check PRIVATE ${kestrune_web_compile})
  # Only the single-threaded entry makes sense here: the console engine needs two threads.
  set_target_properties(kestrune PROPERTIES EXCLUDE_FROM_ALL ON)
  add_executable(kestrune_single src/web_single.cpp)
  target_link_libraries(kestrune_single PRIVATE kestrune_core)
  target_link_options(kestrune_single PRIVATE ${kestrune_web_link} -sENVIRONMENT=web,worker
    -sEXPORTED_FUNCTIONS=_main,_malloc,_free)
  set_target_properties(kestrune_single PROPERTIES OUTPUT_NAME kestrune-single)
endif()
