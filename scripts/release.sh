#!/usr/bin/env bash
# Builds every release package into one folder, with SHA-256 sums:
#   Linux x86-64 at the levels x86-64, x86-64-v2 and x86-64-v3 (.tar.gz, .deb),
#   Linux ARM64 (.tar.gz, .deb), Windows x86-64 at the three levels (.zip).
#
#   scripts/release.sh [OUT_DIR]      (default: release/)
#
# Needs g++, g++-mingw-w64-x86-64-posix and g++-aarch64-linux-gnu. The builds
# go to build-release/<name>/; only the engine is built, with warnings as errors.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(mkdir -p "${1:-$root/release}" && cd "${1:-$root/release}" && pwd)"
cd "$root"

package() {  # package NAME [CMAKE_ARGS...]
  local name="$1" dir="build-release/$1"
  shift
  echo "== $name"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_WERROR=ON -DKESTRUNE_TESTS=OFF -DKESTRUNE_TOOLS=OFF "$@" >/dev/null
  cmake --build "$dir" -j2 --target kestrune
  (cd "$dir" && cpack -B packages >/dev/null)
  cp "$dir"/packages/kestrune-*.{tar.gz,deb,zip} "$out"/ 2>/dev/null || true
}

# The Linux x86-64 engines are profile-guided (trained on bench) where this
# machine runs the level, and their bench must still give the signature. The
# cross builds cannot run their training here and stay plain.
runs_level() {  # runs_level LEVEL: true when this processor runs that level
  [[ $1 == x86-64 ]] && return 0
  /lib64/ld-linux-x86-64.so.2 --help 2>/dev/null | grep -q "^  $1 (supported"
}
for level in x86-64 x86-64-v2 x86-64-v3; do
  if runs_level "$level"; then
    package "linux-$level" -DKESTRUNE_ARCH="$level" -DKESTRUNE_PGO=ON -DKESTRUNE_TOOLS=ON
    cmake --build "build-release/linux-$level" -j2 --target bench
    "build-release/linux-$level/bench" --expect tests/bench_signature.txt | tail -1
  else
    package "linux-$level" -DKESTRUNE_ARCH="$level"
  fi
done
package linux-aarch64 --toolchain cmake/aarch64-linux-gnu.cmake
for level in x86-64 x86-64-v2 x86-64-v3; do
  package "windows-$level" --toolchain cmake/mingw-w64-x86_64.cmake -DKESTRUNE_ARCH="$level"
done

cd "$out"
rm -f SHA256SUMS
sha256sum kestrune-* > SHA256SUMS
cat SHA256SUMS
