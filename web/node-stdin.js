// Node.js console engine: standard input is read here, on the JavaScript main
// thread, and handed to the engine's input thread (kestrune_host_input). A
// thread blocked in a read of its own could never be ended, and the process
// could not exit on a fatal error while input stays open. (Threads never
// call onRuntimeInitialized.)
Module['onRuntimeInitialized'] = function () {
  process.stdin.on('data', function (chunk) {
    var memory = _malloc(chunk.length);
    new Uint8Array(wasmMemory.buffer).set(chunk, memory);
    _kestrune_host_input(memory, chunk.length);
    _free(memory);
  });
  // A read error ends the input like its end.
  process.stdin.on('end', function () {
    _kestrune_host_input_end();
  });
  process.stdin.on('error', function () {
    _kestrune_host_input_end();
  });
};
