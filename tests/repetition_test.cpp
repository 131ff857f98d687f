// Which earlier positions a search node's key is counted against: the game's
// and the line's, the halfmove clock's bound, and null moves.
#include "repetition.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "board_state.h"
#include "test_support.h"

namespace kestrune {
namespace {

struct Entry {
    std::uint64_t key;
    bool reached_by_null;
};

struct RepetitionCase {
    std::string name;
    std::vector<std::uint64_t> game;  // set-up position first, search root last
    std::vector<Entry> line;          // root's child first, the node's parent last
    std::uint64_t node;
    std::uint64_t reversible_plies;
    bool reached_by_null;
    bool third;
};

class ThirdOccurrence : public ::testing::TestWithParam<RepetitionCase> {};

TEST_P(ThirdOccurrence, CountsTheRightPositions) {
    const RepetitionCase& c = GetParam();
    RepetitionHistory history;
    history.start(c.game);
    for (const Entry& e : c.line) history.push(e.key, e.reached_by_null);
    EXPECT_EQ(history.is_third_occurrence(c.node, c.reversible_plies, c.reached_by_null), c.third);
}

// Keys stand for positions; positions an odd number of plies apart have
// different sides to move, so the cases put repeats an even distance apart.
INSTANTIATE_TEST_SUITE_P(
    Cases, ThirdOccurrence,
    ::testing::Values(
        RepetitionCase{"TwiceInTheGame", {7, 1, 7, 2}, {}, 7, 10, false, true},
        RepetitionCase{"OnceInTheGame", {5, 1, 7, 2}, {}, 7, 10, false, false},
        RepetitionCase{"ClockEndsTheLookBack", {7, 1, 7, 2}, {}, 7, 3, false, false},
        RepetitionCase{"GameAndLine", {7, 1, 2}, {{3, false}, {7, false}, {4, false}}, 7, 10, false, true},
        RepetitionCase{"TwiceOnTheLine", {2}, {{7, false}, {1, false}, {7, false}, {4, false}}, 7, 10, false, true},
        // The same sequence with a null move (9) on the line: the game and
        // everything before the null move drop out.
        RepetitionCase{"BehindANullMove", {7, 1}, {{3, false}, {9, true}, {7, false}, {4, false}}, 7, 10, false, false},
        RepetitionCase{"NoNullMove", {7, 1}, {{3, false}, {9, false}, {7, false}, {4, false}}, 7, 10, false, true},
        RepetitionCase{"AfterANullMove",
                       {1},
                       {{3, false}, {9, true}, {7, false}, {4, false}, {7, false}, {5, false}},
                       7,
                       10,
                       false,
                       true},
        RepetitionCase{"NodeReachedByANullMove", {7, 1, 7, 2}, {}, 7, 10, true, false}),
    testing::case_name);

TEST(RepetitionHistory, LeavingANullMoveBringsTheGameBack) {
    RepetitionHistory history;
    history.start(std::vector<std::uint64_t>{7, 1, 7, 2, 3});
    history.push(4, false);
    EXPECT_TRUE(history.is_third_occurrence(7, 10, false));
    history.push(9, true);
    history.push(6, false);
    EXPECT_FALSE(history.is_third_occurrence(7, 10, false));
    history.pop();
    history.pop();
    EXPECT_EQ(history.line_length(), 1U);
    EXPECT_TRUE(history.is_third_occurrence(7, 10, false));
}

// Positions that differ only in castling rights or the en-passant square are
// different positions; touching a rook that has no right left changes nothing.
TEST(RepetitionHistory, CastlingRightsAndEnPassantTellPositionsApart) {
    const std::uint64_t with_rights = repetition_key(testing::board_of("r3k3/8/8/8/8/8/8/4K2R w K - 0 1"));
    const std::uint64_t without = repetition_key(testing::board_of("r3k3/8/8/8/8/8/8/4K2R w - - 0 1"));
    const std::uint64_t with_en_passant = repetition_key(testing::board_of("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1"));
    const std::uint64_t no_en_passant = repetition_key(testing::board_of("4k3/8/8/3pP3/8/8/8/4K3 w - - 0 1"));
    RepetitionHistory history;
    history.start(std::vector<std::uint64_t>{with_rights, 1, without, 2});
    EXPECT_FALSE(history.is_third_occurrence(without, 10, false));
    history.start(std::vector<std::uint64_t>{with_en_passant, 1, no_en_passant, 2});
    EXPECT_FALSE(history.is_third_occurrence(no_en_passant, 10, false));
    history.start(std::vector<std::uint64_t>{no_en_passant, 1, no_en_passant, 2});
    EXPECT_TRUE(history.is_third_occurrence(no_en_passant, 10, false));

    BoardState board = testing::board_of("r3k3/8/8/8/8/8/8/4K2R w - - 0 1");
    const std::uint64_t before = repetition_key(board);
    for (const char* m : {"h1h2", "a8a7", "h2h1", "a7a8"})
        board = make_move_unrecorded(board, testing::move_of(board, m));
    EXPECT_EQ(repetition_key(board), before);
}

}  // namespace
}  // namespace kestrune
