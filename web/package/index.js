// kestrune for Node.js: the engine runs as a child process (node kestrune.js)
// on pipes, exactly as a chess interface would run it.
'use strict';

const { spawn } = require('child_process');
const path = require('path');

function startEngine({ onLine = () => {}, onError = () => {}, onExit = () => {}, args = [] } = {}) {
  const child = spawn(process.execPath, [path.join(__dirname, 'kestrune.js'), ...args], {
    stdio: ['pipe', 'pipe', 'pipe'],
  });
  const lines = (stream, callback) => {
    let partial = '';
    stream.setEncoding('utf8');
    stream.on('data', (text) => {
      const parts = (partial + text).split('\n');
      partial = parts.pop();
      for (const line of parts) callback(line);
    });
  };
  lines(child.stdout, (line) => onLine(line));
  lines(child.stderr, (line) => onError(line));
  // A write after the engine has gone must not crash the caller.
  child.stdin.on('error', () => {});
  const exited = new Promise((resolve) => {
    child.on('exit', (code, signal) => {
      const status = code === null ? 128 : code;
      onExit(status, signal);
      resolve(status);
    });
  });
  return {
    threaded: true,
    exited,
    send(line) {
      if (child.stdin.writable) child.stdin.write(line + '\n');
    },
    stop() {
      this.send('stop');
    },
    quit() {
      this.send('quit');
    },
    terminate() {
      child.kill();
    },
  };
}

module.exports = { startEngine };
