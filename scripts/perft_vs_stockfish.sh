#!/usr/bin/env bash
# Side-by-side perft speed of kestrune and Debian's stockfish, one thread each.
#
#   scripts/perft_vs_stockfish.sh [ENGINE_BINARY] [STOCKFISH_BINARY] [ROUNDS]
#
# Builds nothing: ENGINE_BINARY defaults to build/kestrune, STOCKFISH_BINARY to
# /usr/games/stockfish. Each "go perft" is timed the same way for both programs:
# wall time from sending the command until its last output line arrives (for
# kestrune the empty line closing the listing, for stockfish "Nodes searched").
# The two programs take turns ROUNDS times (default 5) and each keeps its
# fastest run, so that a busy moment on a shared machine does not decide.
set -euo pipefail

engine=${1:-build/kestrune}
stockfish=${2:-/usr/games/stockfish}
rounds=${3:-5}

for program in "$engine" "$stockfish"; do
    if [[ ! -x $program ]]; then
        echo "not an executable: $program" >&2
        exit 2
    fi
done

positions=(
    "startpos|6"
    "fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1|5"
)

now_ns() { date +%s%N; }

# run_perft PROGRAM KIND POSITION DEPTH -> prints "LEAVES NANOSECONDS"
run_perft() {
    local program=$1 kind=$2 position=$3 depth=$4
    local line leaves=0 start end
    coproc PERFT { exec "$program" 2>/dev/null; }
    local in=${PERFT[1]} out=${PERFT[0]}
    if [[ $kind == stockfish ]]; then
        echo "uci" >&"$in"
        while read -r line <&"$out" && [[ $line != uciok ]]; do :; done
        echo "setoption name Threads value 1" >&"$in"
    fi
    echo "isready" >&"$in"
    while read -r line <&"$out" && [[ $line != readyok ]]; do :; done
    echo "position $position" >&"$in"

    start=$(now_ns)
    echo "go perft $depth" >&"$in"
    while IFS= read -r line <&"$out"; do
        if [[ $line =~ ^[a-h][1-8][a-h][1-8][nbrq]?:\ ([0-9]+)$ ]]; then
            leaves=$((leaves + BASH_REMATCH[1]))
        elif [[ $kind == kestrune && -z $line && $leaves -gt 0 ]]; then
            break
        elif [[ $kind == stockfish && $line == "Nodes searched:"* ]]; then
            break
        fi
    done
    end=$(now_ns)

    echo "quit" >&"$in"
    wait "$PERFT_PID" 2>/dev/null || true
    echo "$leaves $((end - start))"
}

rate() { awk -v n="$1" -v ns="$2" 'BEGIN { printf "%.0f", n / (ns / 1e9) }'; }

printf "%-10s %-5s %12s %9s %14s\n" program depth leaves seconds leaves/s
total_ours_leaves=0 total_ours_ns=0 total_sf_leaves=0 total_sf_ns=0
for entry in "${positions[@]}"; do
    position=${entry%|*}
    depth=${entry##*|}
    echo "position $position"
    ours_ns=0 sf_ns=0
    for ((round = 0; round < rounds; round++)); do
        read -r ours_leaves ns < <(run_perft "$engine" kestrune "$position" "$depth")
        if ((ours_ns == 0 || ns < ours_ns)); then ours_ns=$ns; fi
        read -r sf_leaves ns < <(run_perft "$stockfish" stockfish "$position" "$depth")
        if ((sf_ns == 0 || ns < sf_ns)); then sf_ns=$ns; fi
    done
    for row in "kestrune $ours_leaves $ours_ns" "stockfish $sf_leaves $sf_ns"; do
        read -r name leaves ns <<<"$row"
        printf "%-10s %-5s %12s %9.3f %14s\n" "$name" "$depth" "$leaves" \
            "$(awk -v ns="$ns" 'BEGIN { print ns / 1e9 }')" "$(rate "$leaves" "$ns")"
    done
    if [[ $ours_leaves != "$sf_leaves" ]]; then
        echo "leaf counts differ: kestrune $ours_leaves, stockfish $sf_leaves" >&2
        exit 1
    fi
    awk -v a="$ours_leaves" -v an="$ours_ns" -v b="$sf_leaves" -v bn="$sf_ns" \
        'BEGIN { printf "ratio kestrune/stockfish: %.2f\n", (a / an) / (b / bn) }'
    total_ours_leaves=$((total_ours_leaves + ours_leaves))
    total_ours_ns=$((total_ours_ns + ours_ns))
    total_sf_leaves=$((total_sf_leaves + sf_leaves))
    total_sf_ns=$((total_sf_ns + sf_ns))
done
echo "both positions"
echo "kestrune  $(rate "$total_ours_leaves" "$total_ours_ns") leaves/s"
echo "stockfish $(rate "$total_sf_leaves" "$total_sf_ns") leaves/s"
awk -v a="$total_ours_leaves" -v an="$total_ours_ns" -v b="$total_sf_leaves" -v bn="$total_sf_ns" \
    'BEGIN { printf "ratio kestrune/stockfish: %.2f\n", (a / an) / (b / bn) }'
