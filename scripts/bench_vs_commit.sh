#!/usr/bin/env bash
# Search speed of this checkout's bench against the bench of another commit,
# both built here and run in turns.
#
#   scripts/bench_vs_commit.sh COMMIT [RUNS] [BENCH_BINARY]
#
# COMMIT is exported with `git archive` into build-commits/<short hash> of
# this checkout (ignored by git, like every build directory) and built there
# once in Release; later runs reuse that build. BENCH_BINARY defaults to build/bench of this checkout (build it
# first). The two benches alternate RUNS times (default 3), each keeps its
# best nodes per CPU second, so a busy moment on a shared machine does not
# decide. Both must print the same node total: a speed figure for another
# tree means nothing.
set -euo pipefail

commit=${1:?usage: bench_vs_commit.sh COMMIT [RUNS] [BENCH_BINARY]}
runs=${2:-3}
root=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
ours=${3:-$root/build/bench}

[[ -x $ours ]] || { echo "no bench binary at $ours (build the 'bench' target first)" >&2; exit 2; }
hash=$(git -C "$root" rev-parse --short "$commit^{commit}")
other_src=$root/build-commits/$hash
theirs=$other_src/build/bench

if [[ ! -x $theirs ]]; then
    rm -rf "$other_src"
    mkdir -p "$other_src"
    git -C "$root" archive "$hash" | tar -x -C "$other_src"
    cmake -S "$other_src" -B "$other_src/build" -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_TESTS=OFF >/dev/null
    cmake --build "$other_src/build" -j2 --target bench >/dev/null
fi

# run_bench BINARY -> "NODES CPU_NODES_PER_SECOND". The rate is taken over
# the process's CPU time (user + system) rather than bench's own wall-clock
# figure: on a machine shared with other work, waiting for a core is not
# the program's cost.
run_bench() {
    local out cpu
    out=$(mktemp)
    cpu=$( { TIMEFORMAT='%U %S'; time "$1" >"$out"; } 2>&1 | awk '{print $1 + $2}')
    awk -F': *' -v cpu="$cpu" '/^Nodes searched/ {printf "%d %.0f\n", $2, $2 / cpu}' "$out"
    rm -f "$out"
}

best_ours=0 best_theirs=0 nodes_ours=0 nodes_theirs=0
for ((run = 1; run <= runs; run++)); do
    read -r nodes_ours rate_ours < <(run_bench "$ours")
    read -r nodes_theirs rate_theirs < <(run_bench "$theirs")
    printf 'run %d: this checkout %12d nodes/cpu-s   %s %12d nodes/cpu-s\n' "$run" "$rate_ours" "$hash" "$rate_theirs"
    ((rate_ours > best_ours)) && best_ours=$rate_ours
    ((rate_theirs > best_theirs)) && best_theirs=$rate_theirs
done

printf 'best:  this checkout %12d nodes/cpu-s   %s %12d nodes/cpu-s\n' "$best_ours" "$hash" "$best_theirs"
if [[ $nodes_ours != "$nodes_theirs" ]]; then
    echo "node totals differ: this checkout $nodes_ours, $hash $nodes_theirs" >&2
    exit 1
fi
echo "nodes: $nodes_ours in both"
awk -v a="$best_ours" -v b="$best_theirs" -v h="$hash" 'BEGIN { printf "ratio this checkout / %s: %.3f\n", h, a / b }'
