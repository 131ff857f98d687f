#include "bitboard.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>

#include "board_state.h"
#include "fen.h"
#include "test_support.h"

namespace kestrune {
namespace {

using testing::board_of;

Square sq(std::string_view name) {
    const auto s = parse_square(name);
    if (!s) {
        ADD_FAILURE() << "bad square name in test: " << name;
        return 0;
    }
    return *s;
}

Bitboard set_of(std::initializer_list<std::string_view> names) {
    Bitboard b = 0;
    for (const std::string_view name : names) {
        b |= square_bb(sq(name));
    }
    return b;
}

// Square names in ascending order, so a failing comparison reads as a position.
std::string names(Bitboard b) {
    std::string text;
    while (b != 0) {
        text += square_name(pop_lowest(b));
        text += ' ';
    }
    return text;
}

struct SetCase {
    const char* what;
    Bitboard actual;
    Bitboard expected;
};

TEST(AttackTables, KnownSquareSets) {
    const Bitboard f6_blocker = set_of({"f6"});
    const SetCase cases[] = {
        {"king a1", king_attacks(sq("a1")), set_of({"a2", "b1", "b2"})},
        {"king e4", king_attacks(sq("e4")), set_of({"d3", "e3", "f3", "d4", "f4", "d5", "e5", "f5"})},
        {"king h8", king_attacks(sq("h8")), set_of({"g8", "g7", "h7"})},
        {"knight a1", knight_attacks(sq("a1")), set_of({"b3", "c2"})},
        {"knight h8", knight_attacks(sq("h8")), set_of({"f7", "g6"})},
        {"knight b7", knight_attacks(sq("b7")), set_of({"a5", "c5", "d6", "d8"})},
        {"d4 rank lower", line_masks(RankLine, sq("d4")).lower, set_of({"a4", "b4", "c4"})},
        {"d4 rank upper", line_masks(RankLine, sq("d4")).upper, set_of({"e4", "f4", "g4", "h4"})},
        {"d4 file lower", line_masks(FileLine, sq("d4")).lower, set_of({"d1", "d2", "d3"})},
        {"d4 file upper", line_masks(FileLine, sq("d4")).upper, set_of({"d5", "d6", "d7", "d8"})},
        {"d4 anti-diagonal lower", line_masks(AntiDiagonalLine, sq("d4")).lower, set_of({"e3", "f2", "g1"})},
        {"d4 anti-diagonal upper", line_masks(AntiDiagonalLine, sq("d4")).upper, set_of({"c5", "b6", "a7"})},
        {"d4 diagonal lower", line_masks(DiagonalLine, sq("d4")).lower, set_of({"a1", "b2", "c3"})},
        {"d4 diagonal upper", line_masks(DiagonalLine, sq("d4")).upper, set_of({"e5", "f6", "g7", "h8"})},
        {"d4 diagonal full", line_masks(DiagonalLine, sq("d4")).full_line,
         set_of({"a1", "b2", "c3", "e5", "f6", "g7", "h8"})},
        {"rook a1 empty board", rook_attacks(sq("a1"), 0), (RANK_1 | FILE_A) & ~square_bb(sq("a1"))},
        {"rook a1 blocked on a4 and d1", rook_attacks(sq("a1"), set_of({"a4", "d1", "a7", "g1"})),
         set_of({"a2", "a3", "a4", "b1", "c1", "d1"})},
        {"bishop d4 blocked on f6", bishop_attacks(sq("d4"), f6_blocker),
         set_of({"a1", "b2", "c3", "e5", "f6", "a7", "b6", "c5", "e3", "f2", "g1"})},
        {"queen h1 blocked on h3 and e4", queen_attacks(sq("h1"), set_of({"h3", "e4", "a1"})),
         set_of({"a1", "b1", "c1", "d1", "e1", "f1", "g1", "h2", "h3", "g2", "f3", "e4"})},
        {"between a1 h8", between(sq("a1"), sq("h8")), set_of({"b2", "c3", "d4", "e5", "f6", "g7"})},
        {"between h8 a1", between(sq("h8"), sq("a1")), set_of({"b2", "c3", "d4", "e5", "f6", "g7"})},
        {"between e1 e2", between(sq("e1"), sq("e2")), 0},
        {"between b6 f2", between(sq("b6"), sq("f2")), set_of({"c5", "d4", "e3"})},
        {"line a1 c3", line(sq("a1"), sq("c3")), set_of({"b2", "d4", "e5", "f6", "g7", "h8"})},
        {"line e1 h1", line(sq("e1"), sq("h1")), set_of({"a1", "b1", "c1", "d1", "f1", "g1"})},
        {"line d2 d5", line(sq("d2"), sq("d5")), set_of({"d1", "d3", "d4", "d6", "d7", "d8"})},
        {"white pawns a2 h2", pawn_attacks(White, set_of({"a2", "h2"})), set_of({"b3", "g3"})},
        {"black pawns a7 h7", pawn_attacks(Black, set_of({"a7", "h7"})), set_of({"b6", "g6"})},
        {"white pawns attacking d5", pawn_attackers_of(White, set_of({"d5"})), set_of({"c4", "e4"})},
        {"white pawns attacking a5", pawn_attackers_of(White, set_of({"a5"})), set_of({"b4"})},
        {"black pawns attacking h4", pawn_attackers_of(Black, set_of({"h4"})), set_of({"g5"})},
        {"black pawns attacking d4", pawn_attackers_of(Black, set_of({"d4"})), set_of({"c5", "e5"})},
        {"pawn kind attacks nothing", attacks(Pawn, sq("d4"), 0), 0},
        {"knight kind", attacks(Knight, sq("d4"), 0), knight_attacks(sq("d4"))},
        {"king kind", attacks(King, sq("d4"), 0), king_attacks(sq("d4"))},
        {"queen kind", attacks(Queen, sq("d4"), f6_blocker), queen_attacks(sq("d4"), f6_blocker)},
    };
    for (const SetCase& c : cases) {
        EXPECT_EQ(names(c.actual), names(c.expected)) << c.what;
    }
}

// Reference geometry by walking squares one step at a time.
Bitboard walk(Square s, int file_step, int rank_step, Bitboard occupancy) {
    Bitboard reached = 0;
    for (int f = file_of(s) + file_step, r = rank_of(s) + rank_step; f >= 0 && f < 8 && r >= 0 && r < 8;
         f += file_step, r += rank_step) {
        const Square t = make_square(f, r);
        reached |= square_bb(t);
        if (contains(occupancy, t)) {
            break;
        }
    }
    return reached;
}

Bitboard walk_rook(Square s, Bitboard occ) {
    return walk(s, 1, 0, occ) | walk(s, -1, 0, occ) | walk(s, 0, 1, occ) | walk(s, 0, -1, occ);
}
Bitboard walk_bishop(Square s, Bitboard occ) {
    return walk(s, 1, 1, occ) | walk(s, -1, -1, occ) | walk(s, 1, -1, occ) | walk(s, -1, 1, occ);
}

TEST(AttackTables, SlidersMatchStepWalkOnRandomOccupancies) {
    std::mt19937_64 random(20240611);
    for (int s = 0; s < 64; ++s) {
        const auto from = static_cast<Square>(s);
        for (int trial = 0; trial < 200; ++trial) {
            // Sparse and dense boards alike, the slider's own square included or not.
            const Bitboard occ = random() & random() & (trial % 2 == 0 ? random() : ~Bitboard{0});
            ASSERT_EQ(names(rook_attacks(from, occ)), names(walk_rook(from, occ))) << "rook " << square_name(from);
            ASSERT_EQ(names(bishop_attacks(from, occ)), names(walk_bishop(from, occ)))
                << "bishop " << square_name(from);
        }
    }
}

TEST(AttackTables, StepTablesAndLinesOverAllSquares) {
    for (int a = 0; a < 64; ++a) {
        const auto sa = static_cast<Square>(a);
        Bitboard king = 0;
        Bitboard knight = 0;
        for (int b = 0; b < 64; ++b) {
            const auto sb = static_cast<Square>(b);
            const int df = std::abs(file_of(sa) - file_of(sb));
            const int dr = std::abs(rank_of(sa) - rank_of(sb));
            if (std::max(df, dr) == 1) {
                king |= square_bb(sb);
            }
            if (df * dr == 2) {
                knight |= square_bb(sb);
            }
            const bool orthogonal = (df == 0) != (dr == 0);
            const bool diagonal = df == dr && df != 0;
            if (!orthogonal && !diagonal) {
                continue;
            }
            const int fs = (file_of(sb) > file_of(sa)) - (file_of(sb) < file_of(sa));
            const int rs = (rank_of(sb) > rank_of(sa)) - (rank_of(sb) < rank_of(sa));
            const Bitboard towards = walk(sa, fs, rs, square_bb(sb)) & ~square_bb(sb);
            const Bitboard whole = walk(sa, fs, rs, 0) | walk(sa, -fs, -rs, 0);
            ASSERT_EQ(names(between(sa, sb)), names(towards)) << square_name(sa) << square_name(sb);
            ASSERT_EQ(names(line(sa, sb)), names(whole & ~square_bb(sb))) << square_name(sa) << square_name(sb);
        }
        ASSERT_EQ(names(king_attacks(sa)), names(king)) << square_name(sa);
        ASSERT_EQ(names(knight_attacks(sa)), names(knight)) << square_name(sa);
    }
}

TEST(AttackTables, AttackersToLeavesOutKings) {
    // Every white piece kind bears on d5; the white king on e4 touches it too.
    const BoardState board = board_of("3k2B1/8/1N6/3p3Q/2P1K3/8/8/3R4 w - - 0 1");
    EXPECT_EQ(names(attackers_to(board, sq("d5"), board.occupied(), White)),
              names(set_of({"d1", "c4", "b6", "h5", "g8"})));
    // Only the black king on d8 touches e7.
    EXPECT_EQ(names(attackers_to(board, sq("e7"), board.occupied(), Black)), "");
}

struct CheckCase {
    const char* fen;
    bool in_check;
};

TEST(AttackTables, InCheck) {
    const CheckCase cases[] = {
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", false},    {"4k3/8/8/8/8/8/3p4/4K3 w - - 0 1", true},  // pawn
        {"4k3/8/8/8/8/8/4p3/4K3 w - - 0 1", false},   // a pawn straight ahead does not attack
        {"4k3/8/8/8/8/8/3pK3/8 w - - 0 1", false},    // nor one beside the king
        {"4k3/8/8/8/8/3n4/8/4K3 w - - 0 1", true},    // knight
        {"4k3/8/8/8/8/8/8/r3K3 w - - 0 1", true},     // rook along the rank
        {"4k3/8/8/8/8/8/8/rN2K3 w - - 0 1", false},   // rook blocked
        {"4k3/8/8/b7/8/8/8/4K3 w - - 0 1", true},     // bishop
        {"4k3/8/8/8/8/8/8/q3K3 w - - 0 1", true},     // queen along the rank
        {"4k3/8/8/8/7q/8/8/4K3 w - - 0 1", true},     // queen along the diagonal
        {"4k3/8/8/8/7b/8/5P2/4K3 w - - 0 1", false},  // bishop blocked
        {"4k3/4b3/8/8/8/8/8/4K3 w - - 0 1", false},   // a bishop on the file
        {"4K3/8/8/8/8/8/8/4k2R b - - 0 1", true},     // black king, rook
        {"4k3/3P4/8/8/8/8/8/4K3 b - - 0 1", true},    // black king, white pawn
        {"4K3/8/8/8/8/8/3P4/4k3 b - - 0 1", false},   // a white pawn below attacks upwards only
    };
    for (const CheckCase& c : cases) {
        EXPECT_EQ(in_check(board_of(c.fen)), c.in_check) << c.fen;
    }
    // A touching king is not a checker; the FEN reader refuses such boards.
    std::array<Piece, 64> placement{};
    placement.fill(EMPTY);
    placement[sq("d2")] = make_piece(White, King);
    placement[sq("d3")] = make_piece(Black, King);
    EXPECT_FALSE(in_check(from_parts(placement, White, ~Bitboard{0}, 0, 0)));
    EXPECT_FALSE(in_check(from_parts(placement, Black, ~Bitboard{0}, 0, 0)));
}

}  // namespace
}  // namespace kestrune
