#!/usr/bin/env python3
"""Measures kestrune's playing levels (UCI_LimitStrength, UCI_Elo) with fastchess.

Each level from 1400 up plays stockfish limited to the same UCI_Elo; below
stockfish's lowest level each level plays the next level up (a chain: its
label is right when it scores as its distance below that level predicts).
Prints a Markdown table of level, opponent, games, score, the Elo difference
measured with its error, and the difference the labels expect.

  scripts/calibrate_levels.py --fastchess PATH [--engine build/kestrune]
      [--stockfish /usr/games/stockfish] [--tc 1+0.01] [--rounds 100]
      [--concurrency 2] [--levels 1400,1600,1800] [--chain 1200,1000,800] [--chain-from 1400]
      [--book data/books/8moves_v3.pgn] [--out FILE]

Every round is a pair of games with colours swapped (200 games for 100
rounds). A match takes a few minutes at 1+0.01; run it on a quiet machine.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def play(args, first, second):
    """Plays one match; returns (games, points of the first engine, elo, error, faults)."""
    with tempfile.TemporaryDirectory() as scratch:
        command = [args.fastchess, *first, *second,
                   "-each", f"tc={args.tc}",
                   "-openings", f"file={args.book}", "format=pgn", "order=random",
                   "-rounds", str(args.rounds), "-games", "2", "-repeat",
                   "-concurrency", str(args.concurrency), "-recover"]
        run = subprocess.run(command, cwd=scratch, capture_output=True, text=True)
        log = run.stdout
    elo = re.findall(r"(?<!n)Elo: (-?[\d.]+|-?inf) \+/- ([\d.]+|nan|inf)", log)
    games = re.findall(r"Games: (\d+), Wins: (\d+), Losses: (\d+), Draws: (\d+), Points: ([\d.]+)", log)
    if not elo or not games:
        sys.exit("fastchess gave no result:\n" + log[-2000:] + run.stderr[-2000:])
    faults = len(re.findall(r"loses on time|illegal move|disconnect|stalls", log))
    count, _, _, _, points = games[-1]
    return int(count), float(points), elo[-1][0], elo[-1][1], faults


def kestrune(args, elo):
    return ["-engine", f"cmd={args.engine}", f"name=kestrune-{elo}", "args=--extended",
            "option.UCI_LimitStrength=true", f"option.UCI_Elo={elo}"]


def stockfish(args, elo):
    return ["-engine", f"cmd={args.stockfish}", f"name=stockfish-{elo}",
            "option.UCI_LimitStrength=true", f"option.UCI_Elo={elo}"]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--fastchess", required=True)
    parser.add_argument("--engine", default=os.path.join(ROOT, "build", "kestrune"))
    parser.add_argument("--stockfish", default="/usr/games/stockfish")
    parser.add_argument("--tc", default="1+0.01")
    parser.add_argument("--rounds", type=int, default=100)
    parser.add_argument("--concurrency", type=int, default=2)
    parser.add_argument("--levels", default="1400,1600,1800")
    parser.add_argument("--chain", default="1200,1000,800")
    parser.add_argument("--chain-from", type=int, default=1400, help="the level the chain starts below")
    parser.add_argument("--book", default=os.path.join(ROOT, "data", "books", "8moves_v3.pgn"))
    parser.add_argument("--out")
    args = parser.parse_args()

    rows = ["| level | opponent | games | score | Elo measured | Elo expected | faults |",
            "|---:|---|---:|---:|---:|---:|---:|"]

    def report(level, opponent, expected, result):
        games, points, elo, error, faults = result
        rows.append(f"| {level} | {opponent} | {games} | {100 * points / games:.1f}% | "
                    f"{elo} ± {error} | {expected:+d} | {faults} |")
        print(rows[-1], flush=True)

    print(f"time control {args.tc}, {2 * args.rounds} games a match", flush=True)
    for level in [int(x) for x in args.levels.split(",") if x]:
        report(level, f"stockfish {level}", 0, play(args, kestrune(args, level), stockfish(args, level)))
    above = args.chain_from
    for level in [int(x) for x in args.chain.split(",") if x]:
        report(level, f"kestrune {above}", level - above, play(args, kestrune(args, level), kestrune(args, above)))
        above = level
    table = f"Time control {args.tc}.\n\n" + "\n".join(rows) + "\n"
    if args.out:
        with open(args.out, "w") as out:
            out.write(table)
    print(table)


if __name__ == "__main__":
    main()
