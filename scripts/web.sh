#!/usr/bin/env bash
# Builds kestrune for Node.js and browsers with Emscripten (Debian: apt-get
# install emscripten) into build-web/:
#   kestrune.js (+ .wasm, .worker.js)   the console engine: node build-web/kestrune.js
#   bench.js, perft_runner.js           the tools, under node
#   kestrune-<version>.tgz              the npm package
#   site/                               the web page (serve with: node web/serve.mjs build-web/site)
# The page's chess.js comes from web/node_modules (npm ci, once).
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-web
jobs=${JOBS:-2}

# Debian's emscripten runs its JavaScript passes with node and finds acorn here.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

emcmake cmake -S . -B "$out/threads" -DKESTRUNE_TESTS=OFF -DKESTRUNE_WERROR=ON -DKESTRUNE_LTO=OFF >/dev/null
cmake --build "$out/threads" -j"$jobs" --target kestrune kestrune_web bench perft_runner
emcmake cmake -S . -B "$out/single" -DKESTRUNE_WEB_THREADS=OFF -DKESTRUNE_TESTS=OFF -DKESTRUNE_TOOLS=OFF \
  -DKESTRUNE_WERROR=ON -DKESTRUNE_LTO=OFF >/dev/null
cmake --build "$out/single" -j"$jobs" --target kestrune_single
version=$(cat "$out/threads/kestrune-version.txt")

for program in kestrune bench perft_runner; do
  cp "$out/threads/$program".{js,wasm,worker.js} "$out/"
done

# The npm package: the engine files, the JavaScript interface and its types.
package=$out/package
rm -rf "$package" && mkdir -p "$package/bin"
cp "$out/threads"/kestrune{,-web}.{js,wasm,worker.js} "$out/single"/kestrune-single.{js,wasm} "$package/"
cp web/package/{index.js,browser.js,index.d.ts,kestrune-worker.js,README.md} LICENSE "$package/"
cp web/package/bin/kestrune.js "$package/bin/" && chmod +x "$package/bin/kestrune.js"
cat > "$package/package.json" <<JSON
{
  "name": "kestrune",
  "version": "$version",
  "description": "UCI chess engine in WebAssembly for Node.js and browsers",
  "license": "GPL-3.0-or-later",
  "keywords": ["chess", "uci", "engine", "webassembly"],
  "main": "index.js",
  "browser": "browser.js",
  "types": "index.d.ts",
  "bin": { "kestrune": "bin/kestrune.js" },
  "exports": {
    ".": { "types": "./index.d.ts", "browser": "./browser.js", "default": "./index.js" },
    "./*": "./*"
  },
  "engines": { "node": ">=20" }
}
JSON
# The browser's threaded engine is the Node.js one's WebAssembly with other
# JavaScript around it: when the two files are identical, both load kestrune.wasm.
if cmp -s "$package/kestrune.wasm" "$package/kestrune-web.wasm"; then
  sed -i 's/wasmBinaryFile="kestrune-web.wasm"/wasmBinaryFile="kestrune.wasm"/' "$package/kestrune-web.js"
  grep -q 'wasmBinaryFile="kestrune.wasm"' "$package/kestrune-web.js"
  rm "$package/kestrune-web.wasm"
fi
rm -f "$out"/kestrune-*.tgz
(cd "$out" && npm pack --silent ./package >/dev/null)
test -f "$out/kestrune-$version.tgz"

# The page, with the engine files beside it and chess.js vendored.
if [[ ! -f web/node_modules/chess.js/dist/esm/chess.js ]]; then
  (cd web && npm ci --no-audit --no-fund --prefer-offline)
fi
site=$out/site
rm -rf "$site" && mkdir -p "$site/kestrune" "$site/vendor"
cp web/site/* "$site/"
cp "$package"/{browser.js,kestrune-worker.js,kestrune.wasm} "$package"/kestrune-{web,single}.* "$site/kestrune/"
cp web/node_modules/chess.js/dist/esm/chess.js "$site/vendor/chess.js"
cp web/node_modules/chess.js/LICENSE "$site/vendor/chess.js.LICENSE"

echo "web: $out/kestrune.js, $out/kestrune-$version.tgz ($(du -k "$out/kestrune-$version.tgz" | cut -f1) KiB), $site/"
