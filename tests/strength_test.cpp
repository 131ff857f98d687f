// Playing at a level: the settings grow monotonically with the level, and the
// choice among root lines is pinned by its seed and bounded by its noise.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "fen.h"
#include "move_generation.h"
#include "strength.h"

namespace {

using kestrune::choose_move;
using kestrune::MAX_ELO;
using kestrune::MIN_ELO;
using kestrune::Move;
using kestrune::NO_NODE_BUDGET;
using kestrune::RootLine;
using kestrune::strength_settings;

TEST(StrengthSettings, AHigherLevelNeverHasFewerNodesOrMoreNoise) {
    auto previous = strength_settings(MIN_ELO);
    EXPECT_GT(previous.noise_cp, 0);
    EXPECT_GT(previous.lines, 1);
    for (int elo = MIN_ELO + 1; elo <= MAX_ELO; ++elo) {
        const auto settings = strength_settings(elo);
        EXPECT_GE(settings.node_budget, previous.node_budget) << elo;
        EXPECT_LE(settings.noise_cp, previous.noise_cp) << elo;
        previous = settings;
    }
    // The top level is full strength; levels outside the range are clamped.
    EXPECT_EQ(strength_settings(MAX_ELO).node_budget, NO_NODE_BUDGET);
    EXPECT_EQ(strength_settings(MAX_ELO).noise_cp, 0);
    EXPECT_EQ(strength_settings(MAX_ELO).lines, 1);
    EXPECT_LT(strength_settings(MAX_ELO - 1).node_budget, NO_NODE_BUDGET);
    EXPECT_EQ(strength_settings(MIN_ELO - 500).node_budget, strength_settings(MIN_ELO).node_budget);
    EXPECT_EQ(strength_settings(MAX_ELO + 500).node_budget, NO_NODE_BUDGET);
}

std::vector<RootLine> lines_of(const std::vector<std::int16_t>& scores) {
    const auto board = kestrune::from_fen(kestrune::START_FEN).board;
    const auto moves = kestrune::generate_moves(*board, false);
    std::vector<RootLine> lines;
    for (std::size_t i = 0; i < scores.size(); ++i) {
        lines.push_back({moves[i], scores[i]});
    }
    return lines;
}

TEST(ChooseMove, TheSameSeedGivesTheSameMoveAndOthersSpreadWithinTheNoise) {
    const auto lines = lines_of({50, 30, 0, -200});
    std::set<std::uint16_t> chosen;
    for (std::uint64_t seed = 0; seed < 2000; ++seed) {
        const Move move = choose_move(lines, 100, seed * 0x9E3779B97F4A7C15ULL);
        EXPECT_EQ(move, choose_move(lines, 100, seed * 0x9E3779B97F4A7C15ULL));
        // A line more than the noise below the best is never chosen.
        EXPECT_NE(move, lines[3].move);
        chosen.insert(move.bits);
    }
    EXPECT_EQ(chosen.size(), 3u);
}

TEST(ChooseMove, NoNoiseOrAFoundMatePlaysTheBestLine) {
    const auto quiet = lines_of({10, 9, 8, 7});
    const auto mating = lines_of({kestrune::MATE_SCORE - 1, 400, 390, 380});
    for (std::uint64_t seed = 0; seed < 200; ++seed) {
        EXPECT_EQ(choose_move(quiet, 0, seed), quiet[0].move);
        EXPECT_EQ(choose_move(mating, 1000, seed), mating[0].move);
    }
}

}  // namespace
