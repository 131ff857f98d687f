#include "time.h"

#include <chrono>

namespace kestrune {

std::uint64_t now_ms() {
    const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count());
}

SearchLimits limits_from_go(std::span<const std::string_view> tokens, Color side, std::uint8_t multipv) {
    SearchLimits limits;
    limits.multipv = multipv;
    if (const auto depth = keyword_value<std::uint8_t>(tokens, "depth")) {
        limits.max_depth = *depth;
    }
    if (const auto nodes = keyword_value<std::uint32_t>(tokens, "nodes")) {
        limits.max_nodes = *nodes;
    }
    const auto wtime = keyword_value<std::uint32_t>(tokens, "wtime");
    const auto btime = keyword_value<std::uint32_t>(tokens, "btime");
    if (wtime && btime) {
        // "movestogo 0" means nothing sensible; it is read like an absent value
        // rather than spending the whole clock on one move.
        std::uint32_t moves_to_go = keyword_value<std::uint32_t>(tokens, "movestogo").value_or(20);
        if (moves_to_go == 0) {
            moves_to_go = 20;
        }
        limits.time_limit_ms = (side == White ? *wtime : *btime) / moves_to_go;
    } else if (const auto movetime = keyword_value<std::uint32_t>(tokens, "movetime")) {
        limits.time_limit_ms = *movetime;
    }
    return limits;
}

}  // namespace kestrune
