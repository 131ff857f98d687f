#!/usr/bin/env bash
# Installs the npm package into an empty folder, offline, and runs the
# example of its README under Node.js, then the console engine through npx.
#   web/test/package-test.sh build-web/kestrune-<version>.tgz
set -euo pipefail
tarball=$(realpath "$1")
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder"
npm init -y >/dev/null
npm install --offline --no-audit --no-fund "$tarball" >/dev/null
# The README's first JavaScript block, exactly as a reader would copy it.
awk '/^```js$/ { inside = 1; next } /^```$/ { if (inside) exit } inside' node_modules/kestrune/README.md > example.js
test -s example.js
timeout 120 node example.js > example.out
grep -qx 'uciok' example.out || { echo "example: no uciok"; cat example.out; exit 1; }
grep -q '^bestmove [a-h][1-8][a-h][1-8]' example.out || { echo "example: no bestmove"; cat example.out; exit 1; }
echo "package: the README example answered $(grep '^bestmove' example.out)"
# The interface's stop and terminate: an endless search answers "stop" with
# its bestmove; terminate() ends the engine, and exited resolves.
cat > stop.js <<'JS'
const { startEngine } = require('kestrune');
const seen = [];
const engine = startEngine({
  onLine(line) {
    seen.push(line);
    if (line.startsWith('info depth 2 ')) engine.stop();
    if (line.startsWith('bestmove')) engine.terminate();
  },
});
engine.send('go infinite');
engine.exited.then((status) => {
  const answered = seen.some((line) => /^bestmove [a-h][1-8][a-h][1-8]/.test(line));
  console.log(answered ? `stopped: ${seen.at(-1)}, exit ${status}` : `no bestmove: ${seen.join(' | ')}`);
  process.exit(answered ? 0 : 1);
});
JS
timeout 60 node stop.js
session=$(printf 'uci\nisready\nquit\n' | timeout 60 npx --offline kestrune)
grep -qx 'readyok' <<<"$session" || { echo "npx kestrune: no readyok"; echo "$session"; exit 1; }
test -f node_modules/kestrune/index.d.ts
echo "package: npx kestrune answers"
