// Positions along random legal games from the start and from a few seed
// positions, shared by the generator's own consistency checks and the
// comparison with stockfish.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "board_state.h"
#include "fen.h"
#include "move.h"
#include "move_generation.h"
#include "test_support.h"

namespace kestrune::testing {

// King steps, en passant, both castlings, a pinned bishop, a pinned pawn,
// a knight, rooks, pushes, captures on both diagonals and promotions.
inline constexpr const char* EVERY_GROUP = "r1n4k/1P6/8/N2pP3/1b6/5pbp/P2B1PP1/R3K2R w KQ d6 0 1";

// Start positions for the games besides the initial one: castling, en passant,
// promotions, checks and pins from the first ply.
inline constexpr const char* GAME_SEEDS[] = {
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1",
    "rnbqkb1r/ppppp1pp/7n/4Pp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    EVERY_GROUP,
    "4r1k1/8/8/1B6/8/3n4/2P5/R2nK2R w KQ - 0 1",
    "R3r3/7k/8/q7/8/2B3N1/8/4K3 w - - 0 1",
    "k3n3/3P2K1/8/8/8/8/8/4R3 w - - 0 1",
    "2r1b2k/3P4/8/1K6/8/8/8/8 w - - 0 1",
    "8/8/8/3pP3/1NP1K3/8/8/k7 w - d6 0 1",
    "4k3/6b1/8/4Pp2/8/8/1K6/8 w - f6 0 1",
    "8/8/8/KPp4r/8/8/8/7k w - c6 0 1",
    "8/8/1k6/8/3Pp3/8/8/4K1B1 b - d3 0 1",
    "8/8/8/1k6/3Pp3/8/8/4KQ2 b - d3 0 1",
    "4kq2/8/8/3pP3/1K6/8/8/8 w - d6 0 1",
};
inline constexpr int GAMES_FROM_START = 16;
inline constexpr int MAX_PLIES = 100;

struct GamePosition {
    std::string start_fen;
    std::vector<std::string> moves;  // UCI texts from the start position
    BoardState board;
};

inline bool gives_check(const BoardState& board, Move m) { return in_check(make_move_unrecorded(board, m)); }

// Random legal play weighted towards the rare move kinds and away from
// plain king steps (which spend the castling rights), so that castling, en
// passant, promotions, checks and pins turn up often.
inline Move pick_move(const BoardState& board, const MoveList& moves, std::mt19937& random) {
    std::vector<double> weights;
    for (const Move m : moves) {
        const int kind = m.kind();
        const int piece = kind_of(board.squares[m.from()]);
        double weight = 1;
        if (kind == EnPassant) {
            weight = 20;
        } else if (kind == CastleKingside || kind == CastleQueenside) {
            weight = 2;
        } else if (m.is_promotion()) {
            weight = 4;
        } else if (kind == DoublePawnPush) {
            weight = 4;
        } else if (piece == Pawn) {
            weight = 2;
        } else if (piece == King) {
            weight = 0.2;
        }
        if (gives_check(board, m)) {
            weight *= 3;
        }
        weights.push_back(weight);
    }
    std::discrete_distribution<std::size_t> choose(weights.begin(), weights.end());
    return moves[choose(random)];
}

inline void play_game(const std::string& start_fen, unsigned seed, std::vector<GamePosition>& out) {
    std::mt19937 random(seed);
    GamePosition position{start_fen, {}, board_of(start_fen)};
    for (int ply = 0; ply <= MAX_PLIES; ++ply) {
        out.push_back(position);
        const MoveList moves = generate_moves(position.board, false);
        if (moves.empty()) {
            return;
        }
        const Move m = pick_move(position.board, moves, random);
        position.moves.push_back(to_uci(m));
        position.board = make_move_unrecorded(position.board, m);
    }
}

inline const std::vector<GamePosition>& game_positions() {
    static const std::vector<GamePosition> positions = [] {
        std::vector<GamePosition> all;
        for (int game = 0; game < GAMES_FROM_START; ++game) {
            play_game(std::string(START_FEN), 1000 + static_cast<unsigned>(game), all);
        }
        unsigned seed = 2000;
        for (const char* fen : GAME_SEEDS) {
            play_game(fen, seed++, all);
        }
        return all;
    }();
    return positions;
}

inline std::string describe(const GamePosition& p) {
    std::string text = "position fen " + p.start_fen;
    if (!p.moves.empty()) {
        text += " moves";
        for (const std::string& m : p.moves) {
            text += " " + m;
        }
    }
    return text + "\n(now " + to_fen(p.board) + ")";
}

}  // namespace kestrune::testing
