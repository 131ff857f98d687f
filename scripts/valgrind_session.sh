#!/usr/bin/env bash
# Plays scripts/valgrind_session.txt (positions, searches, perft, ucinewgame,
# bad input) into the engine under valgrind memcheck, waiting for each answer
# as an interface would, and ends the session by closing standard input.
#
#   scripts/valgrind_session.sh [ENGINE_BINARY]     (default: build/kestrune)
#
# Fails on any memcheck error, on a leak definitely or indirectly lost, on a
# missing answer or on a non-zero exit status. Blocks that main() still holds
# when it leaves through _Exit show as "possibly lost" and are not ours to free.
set -euo pipefail
# A binary named on the command line is taken relative to the caller's directory.
binary="$(realpath "${1:-$(dirname "$0")/../build/kestrune}")"
cd "$(dirname "$0")/.."

session=scripts/valgrind_session.txt
log="$(mktemp -t kestrune-valgrind.XXXXXX)"
out="$(mktemp -t kestrune-session.XXXXXX)"
timeout_s=300

coproc ENGINE {
  exec valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=99 --log-file="$log" "$binary"
}
to_engine=${ENGINE[1]}
from_engine=${ENGINE[0]}
engine_pid=$ENGINE_PID
trap 'kill "$engine_pid" 2>/dev/null || true; rm -f "$log" "$out"' EXIT

# Reads engine output until a line starting with $1; everything read goes to $out.
await() {
  local line
  while IFS= read -r -t "$timeout_s" line <&"$from_engine"; do
    printf '%s\n' "$line" >>"$out"
    [[ "$line" == "$1"* ]] && return 0
  done
  echo "valgrind session: no line starting with '$1' (last command: $command)" >&2
  return 1
}

command="(start)"
await "<0)))><  kestrune"
commands=0
while IFS= read -r command || [[ -n "$command" ]]; do
  [[ "$command" == \#* ]] && continue
  printf '%s\n' "$command" >&"$to_engine"
  commands=$((commands + 1))
  case "$command" in
    "go infinite"*) await "info depth " ;;
    "go perft "*) printf 'isready\n' >&"$to_engine"; await "readyok" ;;
    go* | stop) await "bestmove " ;;
    isready) await "readyok" ;;
    uci) await "uciok" ;;
  esac
done <"$session"

exec {to_engine}>&-
status=0
wait "$engine_pid" || status=$?
# Drain what the engine wrote after the last awaited answer.
{ cat <&"$from_engine" >>"$out"; } 2>/dev/null || true

searches=$(grep -c '^bestmove ' "$out" || true)
echo "valgrind session: $commands commands, $searches searches answered, exit status $status"
# The bad commands at the end of the session must all have left the last good position.
last_fen=$(grep '^Fen: ' "$out" | tail -n 1)
if [[ "$last_fen" != "Fen: rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq - 9 5" ]]; then
  echo "valgrind session: unexpected final position: $last_fen" >&2
  status=1
fi
grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|Invalid|uninitialised' "$log" | sed 's/^==[0-9]*== /  /'
if ((status != 0)); then
  echo "valgrind session FAILED; memcheck log:" >&2
  cat "$log" >&2
  exit 1
fi
