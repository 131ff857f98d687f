// Move ordering: the score the search picks moves by (how much a move raises
// the mover's middle-game piece-square sum, plus a bonus for the table's
// move), the legal moves generated with their scores, and the pick of the
// next move to search.
#pragma once

#include <cstddef>
#include <cstdint>

#include "board_state.h"
#include "move.h"

namespace kestrune {

struct ScoredMove {
    Move move;
    std::int16_t score;
};
using ScoredMoveList = FixedList<ScoredMove, MAX_MOVES>;

// How much each move raises the mover's middle-game piece-square sum.
// Arithmetic wraps in 16 bits.
void score_moves(const MoveList& moves, const BoardState& board, ScoredMoveList& out);

// The legal moves in generation order (generate_moves), each with its
// score_moves score, scored while the generator still knows each move's kind.
void generate_scored_moves(const BoardState& board, bool captures_only, ScoredMoveList& out);

inline constexpr std::int16_t PREFERRED_MOVE_BONUS = 10000;

// Raises the score of `preferred` (the table's move) by PREFERRED_MOVE_BONUS,
// wrapping in 16 bits; a move not in the list changes nothing.
void prefer_move(ScoredMoveList& scored, Move preferred);

// Takes the best-scored move among positions i.. (the earliest on ties) and
// swaps it to i. Each entry's key orders by score first and by earlier
// position second, so the scan is a running maximum with no unpredictable
// branch, and it picks exactly what a first-strictly-greater scan picks.
inline Move select_move(ScoredMoveList& list, std::size_t i) {
    static_assert(MAX_MOVES <= 0x10000);
    std::uint32_t best_key = 0;
    for (std::size_t j = i; j < list.size(); ++j) {
        const auto biased_score = static_cast<std::uint16_t>(static_cast<std::uint16_t>(list[j].score) ^ 0x8000U);
        const auto key = (std::uint32_t{biased_score} << 16) | static_cast<std::uint32_t>(0xFFFF - j);
        best_key = key > best_key ? key : best_key;
    }
    const std::size_t best = 0xFFFF - (best_key & 0xFFFF);
    const ScoredMove chosen = list[best];
    list[best] = list[i];
    list[i] = chosen;
    return chosen.move;
}

}  // namespace kestrune
