// kestrune in a browser: the engine runs in a Web Worker, so the page never
// freezes. With cross-origin isolation (crossOriginIsolated, from the headers
// Cross-Origin-Opener-Policy: same-origin and Cross-Origin-Embedder-Policy:
// require-corp) it has both of its threads and "stop" ends a search at once;
// without, it runs single-threaded: every search ends by its own limits and a
// "stop" is read only after it.

export function startEngine({
  onLine = () => {},
  onError = () => {},
  onExit = () => {},
  flavour = 'auto',
  baseUrl = new URL('.', import.meta.url),
} = {}) {
  const threaded = flavour === 'threads' || (flavour === 'auto' && globalThis.crossOriginIsolated === true);
  const worker = new Worker(new URL(`kestrune-worker.js?flavour=${threaded ? 'threads' : 'single'}`, baseUrl));
  let resolveExit;
  const exited = new Promise((resolve) => (resolveExit = resolve));
  let running = true;
  const end = (status) => {
    if (!running) return;
    running = false;
    worker.terminate();
    onExit(status);
    resolveExit(status);
  };
  worker.onmessage = ({ data }) => {
    if (data.type === 'line') onLine(data.line);
    else if (data.type === 'error') onError(data.line);
    else if (data.type === 'exit') end(data.status);
  };
  worker.onerror = (event) => {
    onError(String(event.message || 'the engine worker failed'));
    end(1);
  };
  return {
    threaded,
    exited,
    send(line) {
      if (running) worker.postMessage({ line });
    },
    stop() {
      this.send('stop');
    },
    quit() {
      this.send('quit');
    },
    terminate() {
      end(143);
    },
  };
}
