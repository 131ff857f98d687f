// Helpers of the hostile input tests: the handshake, the displayed FEN, one
// search and a clean quit, each through a running engine process.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine_process.h"
#include "engine_session.h"

namespace kestrune::testing {

inline void sync(EngineProcess& engine) {
    const auto lines = kestrune::testing::await_ready(engine);
    ASSERT_TRUE(lines.empty()) << "unexpected output before readyok: " << lines.front();
}

// The "Fen: " line of the display command.
inline std::string displayed_fen(EngineProcess& engine) {
    engine.send("d");
    const std::string fen_line = engine.read_until("Fen: ").back();
    const auto blank = engine.read_line();
    EXPECT_EQ(blank, std::optional<std::string>(""));
    return fen_line.substr(5);
}

struct SearchAnswer {
    std::string last_info;
    std::string bestmove;
};

inline SearchAnswer search(EngineProcess& engine, const std::string& go) {
    engine.send(go);
    const std::vector<std::string> lines = engine.read_until("bestmove ");
    SearchAnswer answer;
    answer.bestmove = lines.back().substr(9);
    for (const std::string& line : lines) {
        if (line.starts_with("info depth ")) answer.last_info = line;
    }
    return answer;
}

// The engine is still alive and leaves cleanly; a sanitizer report would
// have ended it with another status.
inline void expect_clean_quit(EngineProcess& engine) {
    sync(engine);
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), std::optional<int>(0));
}

}  // namespace kestrune::testing
