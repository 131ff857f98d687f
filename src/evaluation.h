// The static evaluation: a tapered piece-square score. The position keeps
// its two piece-square sums and its phase up to date at every move, so the
// terms live here, below the position: the phase weights, the piece-square
// tables, the sums a move leaves (ScoreParts) and their blend by phase.
#pragma once

#include <array>
#include <cstdint>

#include "bitboard.h"
#include "square.h"

namespace kestrune {

inline constexpr std::array<std::int32_t, 6> PHASE_WEIGHTS{0, 1, 1, 2, 4, 0};
inline constexpr std::int32_t PHASE_TOTAL = 24;

// Values include each piece's material worth, in centipawns; indexed by piece
// code and square. A black piece scores the negated value of the white piece
// on the rank-mirrored square; codes 6 and 7 are zero. Built at compile time.
using PieceSquareTable = std::array<std::array<std::int16_t, 64>, 14>;
extern const PieceSquareTable MG_TABLE;
extern const PieceSquareTable EG_TABLE;

// A phase and the two piece-square sums (White minus Black, wrapping in 16
// bits): the position's own, or the ones a move would leave.
struct ScoreParts {
    std::int32_t phase;
    std::int16_t mg_score;
    std::int16_t eg_score;
};

namespace detail {
KESTRUNE_FORCE_INLINE std::int16_t wrapping_add(std::int16_t a, int b) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(a + b));
}

// Adds piece p on s (sign 1) or takes it away (sign -1).
KESTRUNE_FORCE_INLINE void add_piece_terms(int& phase, int& mg, int& eg, Piece p, Square s, int sign) {
    phase -= sign * PHASE_WEIGHTS[static_cast<std::size_t>(kind_of(p))];
    mg += sign * MG_TABLE[p][s];
    eg += sign * EG_TABLE[p][s];
}
}  // namespace detail

// Static score for `side`: the two sums blended by phase, from the middle game
// (phase 24) to the endgame (phase 0).
KESTRUNE_FORCE_INLINE std::int16_t evaluate_parts(const ScoreParts& parts, Color side) {
    const int w = (256 * parts.phase + 12) / 24;
    const int v = ((256 - w) * parts.mg_score + w * parts.eg_score) / 256;
    return static_cast<std::int16_t>(side == White ? v : -v);
}

}  // namespace kestrune
