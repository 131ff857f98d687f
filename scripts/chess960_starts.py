#!/usr/bin/env python3
"""Writes the 960 Chess960 starting arrays as EPD lines with Shredder-FEN castling,
numbered 0-959 in the usual order, for match managers' opening files:

  scripts/chess960_starts.py > 960.epd
"""

KNIGHT_PAIRS = [(0, 1), (0, 2), (0, 3), (0, 4), (1, 2), (1, 3), (1, 4), (2, 3), (2, 4), (3, 4)]


def array(n):
    rank = [None] * 8
    n, light = divmod(n, 4)
    rank[2 * light + 1] = "B"
    n, dark = divmod(n, 4)
    rank[2 * dark] = "B"
    n, queen = divmod(n, 6)
    rank[[i for i in range(8) if rank[i] is None][queen]] = "Q"
    free = [i for i in range(8) if rank[i] is None]
    for k in KNIGHT_PAIRS[n]:
        rank[free[k]] = "N"
    for square, piece in zip([i for i in range(8) if rank[i] is None], "RKR"):
        rank[square] = piece
    return "".join(rank)


def epd(n):
    back = array(n)
    rooks = [chr(ord("a") + i) for i, p in enumerate(back) if p == "R"]
    castling = "".join(f.upper() for f in reversed(rooks)) + "".join(reversed(rooks))
    return f"{back.lower()}/pppppppp/8/8/8/8/PPPPPPPP/{back} w {castling} -"


if __name__ == "__main__":
    for n in range(960):
        print(epd(n))
