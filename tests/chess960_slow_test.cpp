// The published Chess960 perft counts beyond the unit tests' depth 4: every
// array at depth 5 both ways of counting, the first arrays at depth 6.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "board_state.h"
#include "fen.h"
#include "perft.h"
#include "perft_suite.h"

namespace kestrune {
namespace {

void expect_suite_counts(int depth, std::size_t positions, PerftMode mode) {
    const PerftSuiteFile suite = read_perft_suite(std::string(KESTRUNE_DATA_DIR) + "/perft/fischer960.txt", true);
    ASSERT_EQ(suite.positions.size(), 960U);
    int failures = 0;
    std::size_t checked = 0;
    for (const SuitePosition& position : suite.positions) {
        if (checked == positions) {
            break;
        }
        const FenResult read = from_fen(position.fen, true);
        ASSERT_TRUE(read.board) << position.fen;
        for (const auto& [listed, expected] : position.counts) {
            if (listed != depth) {
                continue;
            }
            ++checked;
            const std::uint64_t got = perft(*read.board, depth, mode);
            if (got != expected) {
                ADD_FAILURE() << position.fen << " depth " << depth << ": " << got << ", expected " << expected;
                ASSERT_LT(++failures, 5) << "stopping after 5 differences";
            }
        }
    }
    EXPECT_EQ(checked, positions);
}

TEST(Chess960PerftDeep, EveryArrayAtDepth5) { expect_suite_counts(5, 960, PerftMode::ReplyCounting); }

TEST(Chess960PerftDeep, EveryArrayAtDepth5MakingEveryMove) { expect_suite_counts(5, 960, PerftMode::Plain); }

TEST(Chess960PerftDeep, FirstArraysAtDepth6) { expect_suite_counts(6, 24, PerftMode::ReplyCounting); }

}  // namespace
}  // namespace kestrune
