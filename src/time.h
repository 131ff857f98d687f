// The search clock and the rules that turn "go" parameters into limits.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "square.h"

namespace kestrune {

inline constexpr std::uint64_t NO_NODE_BUDGET = ~std::uint64_t{0};

struct SearchLimits {
    // Per reported line: the search's node counters restart after every
    // progress line, so "go nodes N" bounds each line, not the whole search.
    std::uint32_t max_nodes = 0xFFFFFFFE;
    std::uint32_t time_limit_ms = 0xFFFFFFFE;
    // The whole search's nodes, every line included; checked from depth 2 on,
    // so depth 1 always completes. Playing below full strength sets it.
    std::uint64_t node_budget = NO_NODE_BUDGET;
    std::uint8_t max_depth = 254;
    std::uint8_t multipv = 1;
    // "go ponder": no clock until "ponderhit"; the time limit then counts from it.
    bool ponder = false;
};

inline constexpr std::uint32_t NO_TIME_LIMIT = 0xFFFFFFFE;

// Milliseconds from a monotonic clock: setting the system clock never
// shortens or stretches a search.
std::uint64_t now_ms();

// The token after the first occurrence of `keyword`, read as a T; absent when
// the keyword is missing, is the last token, or its value does not read.
template <typename T>
std::optional<T> keyword_value(std::span<const std::string_view> tokens, std::string_view keyword) {
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == keyword) {
            return i + 1 < tokens.size() ? parse_unsigned<T>(tokens[i + 1]) : std::nullopt;
        }
    }
    return std::nullopt;
}

// Limits for a "go" command; `side` is the side to move.
SearchLimits limits_from_go(std::span<const std::string_view> tokens, Color side, std::uint8_t multipv);

// The extended profile's limits: "ponder", and a clock rule that counts the
// increment and keeps the move overhead back (see the README).
SearchLimits limits_from_go_extended(std::span<const std::string_view> tokens, Color side, std::uint8_t multipv,
                                     std::uint32_t move_overhead_ms);

}  // namespace kestrune
