#include "bitboard.h"

#include <utility>

namespace kestrune {
namespace {

struct Step {
    std::int8_t file;
    std::int8_t rank;
};

constexpr std::array<Step, 8> KING_STEPS{{{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}}};
constexpr std::array<Step, 8> KNIGHT_STEPS{{{-2, -1}, {-2, 1}, {2, -1}, {2, 1}, {-1, -2}, {-1, 2}, {1, -2}, {1, 2}}};
// Indexed by LineDirection; every direction's step lowers the square index.
constexpr std::array<Step, DIRECTIONS> LINE_STEPS{{{-1, 0}, {0, -1}, {1, -1}, {-1, -1}}};

constexpr bool on_board(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

constexpr Bitboard step_targets(Square s, const std::array<Step, 8>& steps) {
    Bitboard targets = 0;
    for (const Step step : steps) {
        const int file = file_of(s) + step.file;
        const int rank = rank_of(s) + step.rank;
        if (on_board(file, rank)) {
            targets |= square_bb(make_square(file, rank));
        }
    }
    return targets;
}

constexpr Bitboard ray(Square s, int file_step, int rank_step) {
    Bitboard squares = 0;
    int file = file_of(s) + file_step;
    int rank = rank_of(s) + rank_step;
    while (on_board(file, rank)) {
        squares |= square_bb(make_square(file, rank));
        file += file_step;
        rank += rank_step;
    }
    return squares;
}

constexpr AttackTables build_attack_tables() {
    AttackTables t{};
    for (int s = 0; s < 64; ++s) {
        const auto sq = static_cast<Square>(s);
        t.king_attacks[sq] = step_targets(sq, KING_STEPS);
        t.knight_attacks[sq] = step_targets(sq, KNIGHT_STEPS);
        for (int d = 0; d < DIRECTIONS; ++d) {
            LineMasks& m = t.line_masks[static_cast<std::size_t>(d)][sq];
            const Step step = LINE_STEPS[static_cast<std::size_t>(d)];
            m.lower = ray(sq, step.file, step.rank);
            m.upper = ray(sq, -step.file, -step.rank);
            m.full_line = m.lower | m.upper;
        }
        const Bitboard orthogonal_lines = t.line_masks[RankLine][sq].full_line | t.line_masks[FileLine][sq].full_line;
        t.orthogonal_neighbours[sq] = t.king_attacks[sq] & orthogonal_lines;
        t.diagonal_neighbours[sq] = t.king_attacks[sq] & ~orthogonal_lines;
    }
    for (int a = 0; a < 64; ++a) {
        for (int b = 0; b < 64; ++b) {
            const auto sa = static_cast<Square>(a);
            const auto sb = static_cast<Square>(b);
            const bool orthogonal = file_of(sa) == file_of(sb) || rank_of(sa) == rank_of(sb);
            const std::size_t first = orthogonal ? FIRST_ORTHOGONAL : FIRST_DIAGONAL;
            const std::size_t second = first + 1;
            const Bitboard occupancy = square_bb(sa) | square_bb(sb);
            const Bitboard from_a = line_attacks(t.line_masks[first][sa], occupancy) |
                                    line_attacks(t.line_masks[second][sa], occupancy);
            const Bitboard from_b = line_attacks(t.line_masks[first][sb], occupancy) |
                                    line_attacks(t.line_masks[second][sb], occupancy);
            t.between[sa][sb] = from_a & from_b;
            t.line[sa][sb] = (t.line_masks[first][sa].full_line | t.line_masks[second][sa].full_line) &
                             (t.line_masks[first][sb].full_line | t.line_masks[second][sb].full_line);
        }
    }
    return t;
}

}  // namespace

constinit const AttackTables ATTACK_TABLES = build_attack_tables();

#ifdef __BMI2__
namespace {

// Every subset of a slider's blocker squares, enumerated in pext order (the
// n-th subset is the one pext maps to n), with its attacks from line_attacks.
std::uint32_t fill_slider(std::array<Bitboard, 102400 + 5248>& attacks, SliderEntry& entry, Square s,
                          std::size_t first_direction, std::uint32_t offset) {
    const LineMasks& a = ATTACK_TABLES.line_masks[first_direction][s];
    const LineMasks& b = ATTACK_TABLES.line_masks[first_direction + 1][s];
    // The last square of each ray is attacked whether or not it is occupied.
    const auto inner = [](const LineMasks& m) {
        const Bitboard lower = m.lower == 0 ? 0 : m.lower & ~(Bitboard{1} << lowest_square(m.lower));
        const Bitboard upper = m.upper == 0 ? 0 : m.upper & ~(Bitboard{1} << highest_square(m.upper));
        return lower | upper;
    };
    entry.blockers = inner(a) | inner(b);
    entry.rays = a.full_line | b.full_line;
    entry.offset = offset;
    Bitboard subset = 0;
    do {
        attacks[offset + _pext_u64(subset, entry.blockers)] = line_attacks(a, subset) | line_attacks(b, subset);
        subset = (subset - entry.blockers) & entry.blockers;
    } while (subset != 0);
    return offset + (std::uint32_t{1} << popcount(entry.blockers));
}

}  // namespace

PextTables::PextTables() : rook{}, bishop{}, attacks{} {
    std::uint32_t offset = 0;
    for (Square s = 0; s < 64; ++s) {
        offset = fill_slider(attacks, rook[s], s, FIRST_ORTHOGONAL, offset);
    }
    for (Square s = 0; s < 64; ++s) {
        offset = fill_slider(attacks, bishop[s], s, FIRST_DIAGONAL, offset);
    }
}

// Filled while the program starts, before main; no table user runs that early.
const PextTables PEXT_TABLES;
#endif

Bitboard attacks(int kind, Square s, Bitboard occupancy) {
    switch (kind) {
        case Knight:
            return knight_attacks(s);
        case Bishop:
            return bishop_attacks(s, occupancy);
        case Rook:
            return rook_attacks(s, occupancy);
        case Queen:
            return queen_attacks(s, occupancy);
        case King:
            return king_attacks(s);
        default:
            return 0;
    }
}

}  // namespace kestrune
