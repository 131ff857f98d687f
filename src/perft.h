// Leaf counts of the legal move tree, the yardstick of move generation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board_state.h"
#include "move.h"

namespace kestrune {

// The deepest `go perft` the engine accepts. The bound is the command's own:
// perft records no moves (its make keeps no history, and divide's make_move
// drops a move once the 40-move history is full), and no count that deep
// could finish.
inline constexpr int MAX_PERFT_DEPTH = HISTORY_CAPACITY + 1;

// ReplyCounting counts the last two plies mostly without making the moves
// above them (reply_counter.h). Plain makes every move down to the last ply
// and counts that one with the generator alone: slower, and the reference the
// reply counting is checked against.
enum class PerftMode : std::uint8_t { ReplyCounting, Plain };

std::uint64_t perft(const BoardState& board, int depth, PerftMode mode = PerftMode::ReplyCounting);

struct MoveCount {
    Move move;
    std::uint64_t leaves;
};
// The leaves `depth` plies below the board under each legal move, in
// generation order, each counted as perft counts it inside the tree (two plies
// up, ReplyCounting asks the reply counter); depth >= 1.
std::vector<MoveCount> perft_divide(const BoardState& board, int depth, PerftMode mode);

// One "move: count" line per legal move in generation order; depth >= 1.
std::string divide(const BoardState& board, int depth);

}  // namespace kestrune
