// Web Worker that runs the engine for browser.js. The query string picks the
// flavour: "threads" (kestrune-web.js; the page must be cross-origin
// isolated) or "single" (kestrune-single.js). Messages in: {line}. Messages
// out: {type: 'line', line}, {type: 'error', line} (standard error) and
// {type: 'exit', status}.
// Everything is local: the engine script shares this global scope.
(() => {
  'use strict';

  const flavour = new URL(self.location.href).searchParams.get('flavour') === 'threads' ? 'threads' : 'single';
  const base = new URL('.', self.location.href).href;
  const script = base + (flavour === 'threads' ? 'kestrune-web.js' : 'kestrune-single.js');
  const pending = [];
  let ready = false;
  let ended = false;

  // Splits each stream into lines; an unfinished line waits for the rest.
  const decoder = [new TextDecoder(), new TextDecoder(), new TextDecoder()];
  const partial = ['', '', ''];
  function output(fd, bytes) {
    const text = partial[fd] + decoder[fd].decode(bytes, { stream: true });
    const lines = text.split('\n');
    partial[fd] = lines.pop();
    for (const line of lines) {
      self.postMessage({ type: fd === 1 ? 'line' : 'error', line });
    }
  }

  function finish(status) {
    if (!ended) {
      ended = true;
      self.postMessage({ type: 'exit', status });
    }
  }

  const encoder = new TextEncoder();
  function pass(line) {
    if (ended) return;
    const bytes = encoder.encode(line + '\n');
    const Module = self.Module;
    const memory = Module['_malloc'](bytes.length);
    new Uint8Array(self.wasmMemory.buffer).set(bytes, memory);
    if (flavour === 'threads') {
      Module['_kestrune_host_input'](memory, bytes.length);
    } else if (Module['_kestrune_single_line'](memory, bytes.length) !== 0) {
      finish(0);
    }
    Module['_free'](memory);
  }

  self.Module = {
    locateFile: (path) => base + path,
    // The threads load the engine script by this address, not the worker's own.
    mainScriptUrlOrBlob: script,
    kestruneOutput: output,
    print: (text) => self.postMessage({ type: 'line', line: text }),
    printErr: (text) => self.postMessage({ type: 'error', line: text }),
    // After main(), which creates the single-threaded engine; the threaded
    // one queues its input from the start.
    postRun: () => {
      ready = true;
      for (const line of pending.splice(0)) pass(line);
    },
  };

  // The threaded engine ends through exit(); the single-threaded one's main()
  // returns at once and leaves the engine waiting for lines.
  if (flavour === 'threads') self.Module.quit = (status) => finish(status);

  self.onmessage = (event) => {
    if (ready) pass(event.data.line);
    else pending.push(event.data.line);
  };

  importScripts(script);
})();
