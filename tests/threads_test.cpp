// The moments where the input thread and the engine thread meet: a stop or a
// quit while a search runs, a stop that arrives before its "go" is taken, and
// the end of input during a search. Built with -DSANITIZE=thread these also
// let ThreadSanitizer watch every crossing; a report fails the test.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine_process.h"
#include "fen.h"
#include "move.h"
#include "engine_session.h"

namespace {

using kestrune::testing::EngineProcess;
using namespace std::chrono_literals;

bool legal_from_start(const std::string& bestmove_line) {
    return bestmove_line.starts_with("bestmove ") &&
           kestrune::testing::is_legal(kestrune::START_FEN, kestrune::testing::bestmove_of(bestmove_line));
}

void start_search(EngineProcess& engine) {
    kestrune::testing::expect_banner(engine);
    engine.send("go infinite");
    // Once a progress line is out the search is surely running.
    engine.read_until("info depth ");
}

void expect_clean_exit(EngineProcess& engine) {
    EXPECT_EQ(engine.wait_exit(10s), std::optional<int>(0));
    const std::string errors = engine.read_all_stderr(2s);
    EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
}

TEST(ThreadsStop, StopDuringSearchAnswersAtOnce) {
    EngineProcess engine;
    start_search(engine);
    engine.send("stop");
    EXPECT_TRUE(legal_from_start(engine.read_until("bestmove ", 10s).back()));
    engine.send("isready");
    EXPECT_EQ(engine.read_until("readyok").size(), 1U);
    engine.send("quit");
    expect_clean_exit(engine);
}

TEST(ThreadsStop, StopReadBeforeItsGoIsTakenStillStopsIt) {
    EngineProcess engine;
    start_search(engine);
    // The second "go" waits in the channel while the stop is read: it must
    // see the stop when it is taken, or it would search for ever.
    engine.send_raw("go infinite\nstop\n");
    EXPECT_TRUE(legal_from_start(engine.read_until("bestmove ", 10s).back()));
    EXPECT_TRUE(legal_from_start(engine.read_until("bestmove ", 10s).back()));
    engine.send("isready");
    EXPECT_EQ(engine.read_until("readyok").size(), 1U);
    engine.send("quit");
    expect_clean_exit(engine);
}

TEST(ThreadsQuit, QuitDuringSearchEndsTheProcess) {
    EngineProcess engine;
    start_search(engine);
    engine.send("quit");
    expect_clean_exit(engine);
}

TEST(ThreadsEndOfInput, EndOfInputDuringSearchAnswersQueuedCommandsAndExits) {
    EngineProcess engine;
    start_search(engine);
    engine.send_raw("isready\ngo depth 40\n");
    engine.close_stdin();
    EXPECT_TRUE(legal_from_start(engine.read_until("bestmove ", 10s).back()));
    EXPECT_EQ(engine.read_until("readyok", 10s).size(), 1U);
    // The queued search counts as stopped too, but still names a move.
    EXPECT_TRUE(legal_from_start(engine.read_until("bestmove ", 10s).back()));
    expect_clean_exit(engine);
}

TEST(ThreadsStop, RepeatedStopsAndSearchesStayInStep) {
    EngineProcess engine;
    kestrune::testing::expect_banner(engine);
#ifdef KESTRUNE_SANITIZED
    constexpr int ROUNDS = 20;
#else
    constexpr int ROUNDS = 100;
#endif
    for (int i = 0; i < ROUNDS; ++i) {
        // Stops at every moment of a search's life: before, at the start, during.
        engine.send_raw(i % 2 == 0 ? "go infinite\nstop\n" : "go movetime 2\n");
        EXPECT_TRUE(legal_from_start(engine.read_until("bestmove ", 10s).back())) << "round " << i;
    }
    engine.send("isready");
    EXPECT_EQ(engine.read_until("readyok").size(), 1U);
    engine.close_stdin();
    expect_clean_exit(engine);
}

}  // namespace
