#include "strength.h"

#include <array>
#include <cmath>

namespace kestrune {

namespace {

struct Anchor {
    int elo;
    std::uint64_t nodes;
    std::uint16_t noise_cp;
};

// Measured against stockfish's UCI_Elo levels (see the README's table); levels
// between anchors interpolate, nodes geometrically and noise linearly.
constexpr std::array<Anchor, 7> ANCHORS{{
    {800, 40, 550},
    {1000, 1600, 120},
    {1200, 4500, 75},
    {1400, 10000, 40},
    {1600, 40000, 15},
    {1800, 150000, 3},
    {MAX_ELO, NO_NODE_BUDGET, 0},
}};

constexpr std::uint8_t CANDIDATE_LINES = 4;

std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

}  // namespace

StrengthSettings strength_settings(int elo) {
    if (elo >= MAX_ELO) {
        return {};
    }
    std::size_t i = 0;
    while (i + 2 < ANCHORS.size() && ANCHORS[i + 1].elo <= elo) {
        ++i;
    }
    const Anchor& low = ANCHORS[i];
    if (elo <= low.elo) {
        return {low.nodes, low.noise_cp, CANDIDATE_LINES};
    }
    // The last limited anchor reaches towards full strength as if the budget
    // went on growing at the rate of the step before it.
    const Anchor& high = ANCHORS[i + 1];
    const double high_nodes = high.nodes == NO_NODE_BUDGET
                                  ? static_cast<double>(low.nodes) * static_cast<double>(low.nodes) /
                                        static_cast<double>(ANCHORS[i - 1].nodes)
                                  : static_cast<double>(high.nodes);
    const double t = static_cast<double>(elo - low.elo) / static_cast<double>(high.elo - low.elo);
    const double nodes = static_cast<double>(low.nodes) * std::pow(high_nodes / static_cast<double>(low.nodes), t);
    const double noise = low.noise_cp + (high.noise_cp - low.noise_cp) * t;
    return {static_cast<std::uint64_t>(nodes), static_cast<std::uint16_t>(std::lround(noise)), CANDIDATE_LINES};
}

Move choose_move(std::span<const RootLine> lines, std::uint16_t noise_cp, std::uint64_t seed) {
    if (lines[0].score > MATE_THRESHOLD || noise_cp == 0) {
        return lines[0].move;
    }
    Move best = lines[0].move;
    int best_value = -MATE_SCORE - 1;
    std::uint64_t state = seed;
    for (const RootLine& line : lines) {
        state = mix(state);
        const int value = line.score + static_cast<int>(state % noise_cp);
        if (value > best_value) {
            best_value = value;
            best = line.move;
        }
    }
    return best;
}

}  // namespace kestrune
