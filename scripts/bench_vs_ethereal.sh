#!/usr/bin/env bash
# Compares the search speed of our bench tool with Debian's Ethereal bench
# (one thread, 16 MiB hash) on the same machine in the same run.
# Runs alternate between the two programs and the best figure of each counts,
# so a burst of load on a shared machine does not decide the ratio.
#
# Usage: scripts/bench_vs_ethereal.sh [BENCH_BINARY] [RUNS]
#   BENCH_BINARY defaults to build/bench (a release build), RUNS to 3.
set -euo pipefail

bench=${1:-"$(dirname "$0")/../build/bench"}
runs=${2:-3}
ethereal=${ETHEREAL:-/usr/games/ethereal-chess}

[[ -x "$bench" ]] || { echo "no bench binary at $bench (build the 'bench' target first)" >&2; exit 2; }
[[ -x "$ethereal" ]] || { echo "no Ethereal at $ethereal (apt-get install ethereal-chess)" >&2; exit 2; }

best_ours=0
best_ethereal=0
for ((run = 1; run <= runs; run++)); do
  ours=$("$bench" | awk -F': *' '/^Nodes\/second/ {print $2}')
  # Ethereal's arguments: depth, threads, hash in MiB (its defaults, spelled out).
  theirs=$("$ethereal" bench 13 1 16 2>&1 | awk -F': *' '/^NPS/ {print $2}')
  [[ -n "$ours" && -n "$theirs" ]] || { echo "could not read a nodes-per-second figure" >&2; exit 1; }
  printf 'run %d: kestrune %12d nps   ethereal %12d nps\n' "$run" "$ours" "$theirs"
  ((ours > best_ours)) && best_ours=$ours
  ((theirs > best_ethereal)) && best_ethereal=$theirs
done

printf 'best:  kestrune %12d nps   ethereal %12d nps\n' "$best_ours" "$best_ethereal"
awk -v a="$best_ours" -v b="$best_ethereal" 'BEGIN { printf "ratio kestrune / ethereal: %.2f\n", a / b }'
