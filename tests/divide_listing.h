// Divide listings ("move: count" lines) read into counts by move, and the
// moves on which two listings differ: for cross-checks against stockfish.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "square.h"

namespace kestrune::testing {

// "move: count" lines of a divide listing.
inline std::map<std::string, std::uint64_t> listing_counts(const std::vector<std::string>& lines) {
    std::map<std::string, std::uint64_t> counts;
    for (const std::string& line : lines) {
        const auto colon = line.find(": ");
        // Move texts only: "Nodes searched: N" is no move.
        const bool move_text = colon == 4 || colon == 5;
        if (const auto n = move_text ? parse_unsigned<std::uint64_t>(std::string_view(line).substr(colon + 2))
                                     : std::nullopt) {
            counts[line.substr(0, colon)] = *n;
        }
    }
    return counts;
}

inline std::string differences(const std::map<std::string, std::uint64_t>& ours,
                               const std::map<std::string, std::uint64_t>& theirs) {
    std::string text;
    for (const auto& [move, n] : ours) {
        const auto other = theirs.find(move);
        if (other == theirs.end()) {
            text += "  " + move + ": ours " + std::to_string(n) + ", stockfish has no such move\n";
        } else if (other->second != n) {
            text += "  " + move + ": ours " + std::to_string(n) + ", stockfish " + std::to_string(other->second) + "\n";
        }
    }
    for (const auto& [move, n] : theirs) {
        if (!ours.contains(move)) {
            text += "  " + move + ": missing from ours, stockfish " + std::to_string(n) + "\n";
        }
    }
    return text;
}

}  // namespace kestrune::testing
