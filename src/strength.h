// Playing below full strength. A level on stockfish's UCI_Elo scale becomes a
// node budget for each move and an amount of randomness among the best few
// root lines; the calibration table in the README gives the anchors. A node
// budget rather than a time budget keeps a level's strength the same at any
// time control that leaves room for it.
#pragma once

#include <cstdint>
#include <span>

#include "move.h"
#include "search.h"

namespace kestrune {

inline constexpr int MIN_ELO = 800;
inline constexpr int MAX_ELO = 1900;
inline constexpr int DEFAULT_ELO = 1500;

struct StrengthSettings {
    // Nodes for the whole search of one move; NO_NODE_BUDGET at full strength.
    std::uint64_t node_budget = NO_NODE_BUDGET;
    // The largest random bonus, in centipawns, a candidate line may get.
    std::uint16_t noise_cp = 0;
    // Root lines searched as candidates.
    std::uint8_t lines = 1;
};

// The settings for a level, clamped into [MIN_ELO, MAX_ELO]. A higher level
// never has fewer nodes nor more noise; MAX_ELO is full strength.
StrengthSettings strength_settings(int elo);

// The move to play among completed root lines (best first): the line whose
// score plus a random bonus below `noise_cp` is highest. The bonus is drawn
// from `seed`, so a position always gets the same move. A mate the search
// found is always played.
Move choose_move(std::span<const RootLine> lines, std::uint16_t noise_cp, std::uint64_t seed);

}  // namespace kestrune
