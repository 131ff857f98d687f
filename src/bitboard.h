// Square sets and the precomputed attack geometry. Sliding pieces use the
// obstruction difference on per-line masks: per line one most-significant-bit
// scan and one lowest-bit isolation, no magic numbers, no occupancy tables.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "square.h"

#ifdef __BMI2__
#include <immintrin.h>
#endif

// For the few helpers on the innermost paths (attacks, board primitives, the
// generator's stages). Link-time optimisation otherwise leaves some of them
// out of line despite `inline`, and a call costs more than their bodies.
#if defined(__GNUC__) || defined(__clang__)
#define KESTRUNE_FORCE_INLINE inline __attribute__((always_inline))
#else
#define KESTRUNE_FORCE_INLINE inline
#endif
// And the opposite, for a rare case kept off an inner path.
#if defined(__GNUC__) || defined(__clang__)
#define KESTRUNE_NEVER_INLINE __attribute__((noinline))
#else
#define KESTRUNE_NEVER_INLINE
#endif

namespace kestrune {

// Bit i is square i: rank 1 is the lowest byte, rank 8 the highest.
using Bitboard = std::uint64_t;

inline constexpr Bitboard FILE_A = 0x0101010101010101ULL;
inline constexpr Bitboard FILE_H = FILE_A << 7;
inline constexpr Bitboard NOT_FILE_A = ~FILE_A;
inline constexpr Bitboard NOT_FILE_H = ~FILE_H;
inline constexpr Bitboard RANK_1 = 0xFFULL;
inline constexpr Bitboard RANK_3 = RANK_1 << 16;
inline constexpr Bitboard RANK_6 = RANK_1 << 40;
inline constexpr Bitboard RANK_8 = RANK_1 << 56;

constexpr Bitboard square_bb(Square s) { return Bitboard{1} << s; }
constexpr bool contains(Bitboard b, Square s) { return (b >> s) & 1U; }
constexpr Square lowest_square(Bitboard b) { return static_cast<Square>(std::countr_zero(b)); }
constexpr Square highest_square(Bitboard b) { return static_cast<Square>(63 - std::countl_zero(b)); }
constexpr int popcount(Bitboard b) { return std::popcount(b); }
constexpr bool more_than_one(Bitboard b) { return (b & (b - 1)) != 0; }

// Removes and returns the lowest square of a non-empty set.
constexpr Square pop_lowest(Bitboard& b) {
    const Square s = lowest_square(b);
    b &= b - 1;
    return s;
}

// One line through a square in one direction: `lower` runs towards lower
// indices, `upper` towards higher ones, the square itself in neither.
struct LineMasks {
    Bitboard lower;
    Bitboard upper;
    Bitboard full_line;
};

// The four lines through a square, the two orthogonal ones first. The
// anti-diagonal runs from a8 towards h1, the diagonal from a1 towards h8.
enum LineDirection : std::uint8_t { RankLine = 0, FileLine = 1, AntiDiagonalLine = 2, DiagonalLine = 3 };
inline constexpr int DIRECTIONS = 4;
// A rook's lines are [RankLine, FileLine], a bishop's [AntiDiagonalLine, DiagonalLine].
inline constexpr LineDirection FIRST_ORTHOGONAL = RankLine;
inline constexpr LineDirection FIRST_DIAGONAL = AntiDiagonalLine;

struct AttackTables {
    std::array<std::array<Bitboard, 64>, 64> between;
    std::array<std::array<Bitboard, 64>, 64> line;
    std::array<std::array<LineMasks, 64>, DIRECTIONS> line_masks;
    std::array<Bitboard, 64> king_attacks;
    std::array<Bitboard, 64> knight_attacks;
    // The king steps along ranks and files, and along diagonals: a slider
    // whose first squares hold only its own pieces has no move.
    std::array<Bitboard, 64> orthogonal_neighbours;
    std::array<Bitboard, 64> diagonal_neighbours;
};

// Built at compile time: read-only for the life of the process.
extern const AttackTables ATTACK_TABLES;

// Empty squares of the line up to and including the nearest blocker on each side.
KESTRUNE_FORCE_INLINE constexpr Bitboard line_attacks(const LineMasks& m, Bitboard occupancy) {
    const Bitboard lower_blockers = m.lower & occupancy;
    const Bitboard upper_blockers = m.upper & occupancy;
    const Bitboard nearest_lower = Bitboard{1} << highest_square(lower_blockers | 1);
    const Bitboard nearest_upper = upper_blockers & (~upper_blockers + 1);
    return m.full_line & (2 * nearest_upper - nearest_lower);
}

inline Bitboard between(Square a, Square b) { return ATTACK_TABLES.between[a][b]; }
inline Bitboard line(Square a, Square b) { return ATTACK_TABLES.line[a][b]; }
inline Bitboard king_attacks(Square s) { return ATTACK_TABLES.king_attacks[s]; }
inline Bitboard knight_attacks(Square s) { return ATTACK_TABLES.knight_attacks[s]; }
inline Bitboard orthogonal_neighbours(Square s) { return ATTACK_TABLES.orthogonal_neighbours[s]; }
inline Bitboard diagonal_neighbours(Square s) { return ATTACK_TABLES.diagonal_neighbours[s]; }
inline const LineMasks& line_masks(std::size_t direction, Square s) { return ATTACK_TABLES.line_masks[direction][s]; }

#ifdef __BMI2__
// With BMI2 a slider's attacks are one table load: pext packs the occupancy
// of the squares that can block it into an index. The tables are filled from
// line_attacks, so both paths give the same sets.
struct SliderEntry {
    Bitboard blockers;  // squares whose occupancy changes the attacks
    Bitboard rays;      // the attacks on an empty board
    std::uint32_t offset;
};
struct PextTables {
    PextTables();
    std::array<SliderEntry, 64> rook;
    std::array<SliderEntry, 64> bishop;
    std::array<Bitboard, 102400 + 5248> attacks;
};
extern const PextTables PEXT_TABLES;

KESTRUNE_FORCE_INLINE Bitboard rook_attacks(Square s, Bitboard occupancy) {
    const SliderEntry& e = PEXT_TABLES.rook[s];
    return PEXT_TABLES.attacks[e.offset + _pext_u64(occupancy, e.blockers)];
}
KESTRUNE_FORCE_INLINE Bitboard bishop_attacks(Square s, Bitboard occupancy) {
    const SliderEntry& e = PEXT_TABLES.bishop[s];
    return PEXT_TABLES.attacks[e.offset + _pext_u64(occupancy, e.blockers)];
}
// Attacks for callers that read only the squares of lines holding one of
// `wanted`: a slider whose lines all miss them costs no table load.
KESTRUNE_FORCE_INLINE Bitboard rook_attacks_through(Square s, Bitboard occupancy, Bitboard wanted) {
    return (PEXT_TABLES.rook[s].rays & wanted) != 0 ? rook_attacks(s, occupancy) : 0;
}
KESTRUNE_FORCE_INLINE Bitboard bishop_attacks_through(Square s, Bitboard occupancy, Bitboard wanted) {
    return (PEXT_TABLES.bishop[s].rays & wanted) != 0 ? bishop_attacks(s, occupancy) : 0;
}
#else
KESTRUNE_FORCE_INLINE Bitboard rook_attacks(Square s, Bitboard occupancy) {
    return line_attacks(line_masks(RankLine, s), occupancy) | line_attacks(line_masks(FileLine, s), occupancy);
}
KESTRUNE_FORCE_INLINE Bitboard bishop_attacks(Square s, Bitboard occupancy) {
    return line_attacks(line_masks(AntiDiagonalLine, s), occupancy) |
           line_attacks(line_masks(DiagonalLine, s), occupancy);
}
// Attacks for callers that read only the squares of lines holding one of
// `wanted`: lines that miss them are not traced (their squares may be absent).
KESTRUNE_FORCE_INLINE Bitboard attacks_through(Square s, Bitboard occupancy, Bitboard wanted, std::size_t first) {
    Bitboard reach = 0;
    for (std::size_t d = first; d < first + 2; ++d) {
        const LineMasks& m = line_masks(d, s);
        if ((m.full_line & wanted) != 0) {
            reach |= line_attacks(m, occupancy);
        }
    }
    return reach;
}
KESTRUNE_FORCE_INLINE Bitboard rook_attacks_through(Square s, Bitboard occupancy, Bitboard wanted) {
    return attacks_through(s, occupancy, wanted, FIRST_ORTHOGONAL);
}
KESTRUNE_FORCE_INLINE Bitboard bishop_attacks_through(Square s, Bitboard occupancy, Bitboard wanted) {
    return attacks_through(s, occupancy, wanted, FIRST_DIAGONAL);
}
#endif
KESTRUNE_FORCE_INLINE Bitboard queen_attacks(Square s, Bitboard occupancy) {
    return rook_attacks(s, occupancy) | bishop_attacks(s, occupancy);
}

// Knight, bishop, rook, queen or king; pawns (and anything else) attack nothing here.
Bitboard attacks(int kind, Square s, Bitboard occupancy);

// Squares attacked by a set of pawns of one colour.
constexpr Bitboard pawn_attacks(Color c, Bitboard pawns) {
    return c == White ? (((pawns << 7) & NOT_FILE_H) | ((pawns << 9) & NOT_FILE_A))
                      : (((pawns >> 7) & NOT_FILE_A) | ((pawns >> 9) & NOT_FILE_H));
}

// Squares from which a pawn of colour c attacks the squares of `target`.
constexpr Bitboard pawn_attackers_of(Color c, Bitboard target) {
    return c == White ? (((target >> 7) & NOT_FILE_A) | ((target >> 9) & NOT_FILE_H))
                      : (((target << 9) & NOT_FILE_A) | ((target << 7) & NOT_FILE_H));
}

}  // namespace kestrune
