// Leaf counts of the legal move tree, the yardstick of move generation.
#pragma once

#include <cstdint>
#include <string>

#include "board_state.h"

namespace kestrune {

// Every move on a path is recorded in the board's 40-move history, so a
// root with an empty history can be counted to at most 41 plies.
inline constexpr int MAX_PERFT_DEPTH = HISTORY_CAPACITY + 1;

std::uint64_t perft(const BoardState& board, int depth);
// One "move: count" line per legal move in generation order; depth >= 1.
std::string divide(const BoardState& board, int depth);

}  // namespace kestrune
