#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#
# SECONDS_PER_TARGET defaults to 60; the targets default to all three
# (fen_fuzz, uci_move_fuzz, engine_fuzz). The build goes to $FUZZ_BUILD_DIR
# (default build-fuzz). Each run starts from the committed seeds in
# fuzz/corpus/<name>/ plus what earlier runs found, kept in
# $FUZZ_BUILD_DIR/corpus/<name>/, so the committed corpus never changes by
# itself. Any finding (crash, failed check, sanitizer report, leak, an input
# slower than 10 s) fails the script; its input is left in
# $FUZZ_BUILD_DIR/findings/ and can be replayed with
#   $FUZZ_BUILD_DIR/fuzz/<target> <file>
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(fen_fuzz uci_move_fuzz engine_fuzz)
fi
build="${FUZZ_BUILD_DIR:-build-fuzz}"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DKESTRUNE_FUZZ=ON -DKESTRUNE_TESTS=OFF -DKESTRUNE_TOOLS=OFF -DKESTRUNE_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

mkdir -p "$build/findings"
status=0
for target in "${targets[@]}"; do
  name="${target%_fuzz}"
  case "$name" in
    engine) max_len=2048 ;;
    uci_move) max_len=512 ;;
    *) max_len=256 ;;
  esac
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  echo "== $target for ${seconds}s"
  log="$build/$target.log"
  if "$build/fuzz/$target" "$corpus" "fuzz/corpus/$name" \
      -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/findings/$target-" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: no finding in ${runs:-?} executions"
  else
    status=1
    echo "$target: FINDING (log: $log)"
    grep -E 'ERROR|runtime error|_fuzz: |after command|position: |word: |SUMMARY|Test unit written' "$log" | head -20 || true
  fi
done
exit "$status"
