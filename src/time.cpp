#include "time.h"

#include <algorithm>
#include <chrono>

namespace kestrune {

std::uint64_t now_ms() {
    const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count());
}

namespace {

// A clock or move time: a negative value (an interface's small overrun)
// counts as 0, a value beyond 32 bits as the largest one; anything else that
// does not read counts as absent.
std::optional<std::uint32_t> clock_value(std::span<const std::string_view> tokens, std::string_view keyword) {
    const auto at = std::find(tokens.begin(), tokens.end(), keyword);
    if (at == tokens.end() || at + 1 == tokens.end()) {
        return std::nullopt;
    }
    std::string_view text = *(at + 1);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative || (!text.empty() && text.front() == '+')) {
        text.remove_prefix(1);
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    if (negative) {
        return 0;
    }
    return parse_unsigned<std::uint32_t>(text).value_or(0xFFFFFFFF);
}

}  // namespace

SearchLimits limits_from_go(std::span<const std::string_view> tokens, Color side, std::uint8_t multipv) {
    SearchLimits limits;
    limits.multipv = multipv;
    if (const auto depth = keyword_value<std::uint8_t>(tokens, "depth")) {
        limits.max_depth = *depth;
    }
    if (const auto nodes = keyword_value<std::uint32_t>(tokens, "nodes")) {
        limits.max_nodes = *nodes;
    }
    const auto wtime = clock_value(tokens, "wtime");
    const auto btime = clock_value(tokens, "btime");
    if (wtime && btime) {
        // "movestogo 0" means nothing sensible; it is read like an absent value
        // rather than spending the whole clock on one move.
        std::uint32_t moves_to_go = keyword_value<std::uint32_t>(tokens, "movestogo").value_or(20);
        if (moves_to_go == 0) {
            moves_to_go = 20;
        }
        const std::uint32_t clock = side == White ? *wtime : *btime;
        // A quarter of the clock is always kept: with one move to go the
        // whole clock would be lost to the overrun.
        limits.time_limit_ms = std::min(clock / moves_to_go, clock - clock / 4);
    } else if (const auto movetime = clock_value(tokens, "movetime")) {
        limits.time_limit_ms = *movetime;
    }
    return limits;
}

SearchLimits limits_from_go_extended(std::span<const std::string_view> tokens, Color side, std::uint8_t multipv,
                                     std::uint32_t move_overhead_ms) {
    SearchLimits limits = limits_from_go(tokens, side, multipv);
    limits.ponder = std::find(tokens.begin(), tokens.end(), "ponder") != tokens.end();
    const auto clock = clock_value(tokens, side == White ? "wtime" : "btime");
    const auto usable = [&](std::uint32_t time) { return time > move_overhead_ms ? time - move_overhead_ms : 0U; };
    if (clock) {
        std::uint32_t moves_to_go = keyword_value<std::uint32_t>(tokens, "movestogo").value_or(20);
        if (moves_to_go == 0) {
            moves_to_go = 20;
        }
        const std::uint64_t left = usable(*clock);
        const std::uint64_t increment = clock_value(tokens, side == White ? "winc" : "binc").value_or(0);
        // The increment comes back after the move, so most of it may be spent;
        // a quarter of what is left after the overhead is always kept.
        const std::uint64_t planned = left / moves_to_go + increment * 3 / 4;
        limits.time_limit_ms = static_cast<std::uint32_t>(std::min(planned, left - left / 4));
    } else if (const auto movetime = clock_value(tokens, "movetime")) {
        limits.time_limit_ms = usable(*movetime);
    }
    return limits;
}

}  // namespace kestrune
