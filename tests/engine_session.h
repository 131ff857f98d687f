// Helpers for tests that talk to an engine process: the banner, the isready
// handshake and legal moves through "go perft 1".
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine.h"
#include "engine_process.h"
#include "test_support.h"
#include "version.h"

namespace kestrune::testing {

using Lines = std::vector<std::string>;

inline const std::string BANNER = "<0)))><  kestrune Chess Engine v" KESTRUNE_VERSION;

// The answer to "uci" in the profile the tests run in, line by line.
inline Lines identification_lines() {
    const std::string text = extended_profile() ? extended_identification() : std::string(IDENTIFICATION);
    Lines lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

// The first line must be the banner.
inline void expect_banner(EngineProcess& engine, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    ASSERT_EQ(engine.read_line(timeout), std::optional<std::string>(BANNER));
}

// The next `count` lines; a missing line reads as "<nothing>".
inline Lines read_lines(EngineProcess& engine, std::size_t count,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    Lines lines;
    for (std::size_t i = 0; i < count; ++i) {
        lines.push_back(engine.read_line(timeout).value_or("<nothing>"));
    }
    return lines;
}

// Sends "isready" and returns every line written before its "readyok".
inline Lines await_ready(EngineProcess& engine, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    engine.send("isready");
    Lines lines = engine.read_until("readyok", timeout);
    lines.pop_back();
    return lines;
}

// The legal moves of a position by the "move: count" listing of "go perft 1",
// read up to the line starting with `end_marker` (stockfish ends its listing
// with "Nodes searched").
inline std::set<std::string> legal_moves(EngineProcess& engine, const std::string& position_command,
                                         std::string_view end_marker = "Nodes searched") {
    engine.send(position_command);
    engine.send("go perft 1");
    std::set<std::string> moves;
    for (const std::string& line : engine.read_until(end_marker)) {
        const auto colon = line.find(": ");
        if (colon != std::string::npos && !line.starts_with(end_marker)) {
            moves.insert(line.substr(0, colon));
        }
    }
    return moves;
}

}  // namespace kestrune::testing
