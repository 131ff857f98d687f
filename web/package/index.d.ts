// kestrune: a UCI chess engine in WebAssembly, for Node.js and browsers.

export interface EngineOptions {
  /** Each line the engine writes to standard output, without its "\n". */
  onLine?: (line: string) => void;
  /** Each line the engine writes to standard error. */
  onError?: (line: string) => void;
  /** Once, when the engine has ended ("quit", end of input, terminate()). */
  onExit?: (status: number) => void;
  /** Node.js: command-line arguments, e.g. ["--log", "session.log"]. */
  args?: string[];
  /**
   * Browsers: "threads" needs a cross-origin isolated page; "single" runs
   * anywhere, but a search ends only by its own limits (depth, nodes,
   * movetime, clocks) and "stop" is read after it. "auto" (the default)
   * takes threads where crossOriginIsolated is true.
   */
  flavour?: 'auto' | 'threads' | 'single';
  /** Browsers: the folder holding kestrune-worker.js and the engine files (default: beside browser.js). */
  baseUrl?: string | URL;
}

export interface Engine {
  /** True when "stop" can end a running search (always so in Node.js). */
  readonly threaded: boolean;
  /** Resolves with the exit status once the engine has ended. */
  readonly exited: Promise<number>;
  /** Sends one UCI command line (without "\n"). */
  send(line: string): void;
  /** Sends "stop". */
  stop(): void;
  /** Sends "quit": the engine answers what it has read, then ends. */
  quit(): void;
  /** Ends the engine at once. */
  terminate(): void;
}

export function startEngine(options?: EngineOptions): Engine;
