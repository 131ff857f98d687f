#!/usr/bin/env python3
"""Plays a Chess960 game and a standard one against the engine through
python-chess's chess.engine, which refuses a Chess960 game to an engine that
does not announce UCI_Chess960 and rejects any illegal answer.

  python_chess_game.py ENGINE [ARGUMENT...]

Exits 77 (skipped) with a message where python-chess is not installed.
"""
import sys

try:
    import chess
    import chess.engine
except ImportError:
    print("python-chess is not installed (pip install chess): skipped")
    sys.exit(77)


def play(command, board, plies):
    with chess.engine.SimpleEngine.popen_uci(command) as engine:
        if board.chess960 and "UCI_Chess960" not in engine.options:
            sys.exit("the engine does not announce UCI_Chess960")
        while not board.is_game_over(claim_draw=True) and plies > 0:
            result = engine.play(board, chess.engine.Limit(nodes=3000))
            if result.move not in board.legal_moves:
                sys.exit(f"illegal move {result.move} in {board.fen()}")
            board.push(result.move)
            plies -= 1
    return board


def main():
    command = sys.argv[1:] + ["--extended"]
    # Array 0 has both rooks and the king near the corner it castles to.
    for array in (0, 518, 959):
        board = play(command, chess.Board.from_chess960_pos(array), 120)
        print(f"array {array}: {len(board.move_stack)} plies, {board.result(claim_draw=True)}")
    board = play(command, chess.Board(), 80)
    print(f"standard: {len(board.move_stack)} plies, {board.result(claim_draw=True)}")


if __name__ == "__main__":
    main()
