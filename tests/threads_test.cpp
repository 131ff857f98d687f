// Where the input thread and the engine thread meet: "stop", "quit" and the
// end of input, idle, during a search, with commands still queued, and an
// infinite search that holds its answer until it is told to stop. Built with
// -DSANITIZE=thread these also let ThreadSanitizer watch every crossing; a
// report lands on standard error and fails the case.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine_session.h"
#include "fen.h"
#include "perft.h"
#include "test_support.h"
#include "version.h"

namespace {

using kestrune::testing::EngineProcess;
using kestrune::testing::Lines;
using kestrune::testing::PrintTo;
using namespace std::chrono_literals;
using namespace std::string_literals;

#ifdef KESTRUNE_SANITIZED
constexpr int SLOW_PERFT_DEPTH = 5;
constexpr int FLOOD = 2000;
constexpr int ROUNDS = 20;
#else
constexpr int SLOW_PERFT_DEPTH = 6;
constexpr int FLOOD = 20000;
constexpr int ROUNDS = 100;
#endif

const Lines IDENTIFICATION = kestrune::testing::identification_lines();
const std::string KINGS_ONLY = "8/2k5/8/8/8/8/5K2/8 w - - 0 1";  // reaches depth 254 in moments
const std::string ONE_REPLY = "k7/8/1K6/8/8/8/8/7R b - - 0 1";   // only Kb8
const std::string STALEMATE = "7k/8/6QK/8/8/8/8/8 b - - 0 1";
// So many captures that one quiescence search runs for hours: only its own
// look at the clock and the stop signal ends a search here.
const std::string QUEENS = "qqqqkqqq/qqqqqqqq/8/8/8/8/QQQQQQQQ/QQQQKQQQ w - - 0 1";
// In expected lines: any number of progress lines, and the perft listing of
// the start position at SLOW_PERFT_DEPTH (worked out only when a case runs).
const std::string ANY_INFO = "<info lines>";
const std::string SLOW_PERFT = "<slow perft>";

struct Step {
    std::string send;          // raw bytes
    std::string until;         // read through the first line starting with this; empty: read nothing
    bool then_silent = false;  // and nothing more may follow until the next step
};

enum class Ending {
    Runs,       // still running: "isready" is answered, then "quit" ends it
    Exits,      // the last step sent "quit"
    InputEnds,  // standard input is closed after the last step
};

struct Case {
    std::string name;
    std::vector<Step> steps;
    Ending ending;
    Lines expected;  // all output after the banner (the closing "readyok" of Runs excepted)
    std::string fen = std::string(kestrune::START_FEN);  // where "bestmove" must be legal
};

// "info depth D ..." becomes "info depth D"; a legal bestmove becomes "bestmove".
std::string normalised(const std::string& line, const std::string& fen) {
    if (line.starts_with("info depth ")) {
        return line.substr(0, line.find(' ', 11));
    }
    if (line.starts_with("bestmove ") && line != "bestmove (none)") {
        return kestrune::testing::is_legal(fen, kestrune::testing::bestmove_of(line)) ? "bestmove" : line;
    }
    return line;
}

Lines split_lines(const std::string& text) {
    std::istringstream in(text);
    Lines lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

Lines expanded(const Lines& expected) {
    Lines out;
    for (const std::string& line : expected) {
        if (line == SLOW_PERFT) {
            const Lines listing = split_lines(
                kestrune::divide(*kestrune::from_fen(kestrune::START_FEN).board, SLOW_PERFT_DEPTH));
            out.insert(out.end(), listing.begin(), listing.end());
        } else {
            out.push_back(line);
        }
    }
    return out;
}

// ANY_INFO matches zero or more progress lines.
bool matches(const Lines& got, std::size_t g, const Lines& want, std::size_t w) {
    if (w == want.size()) {
        return g == got.size();
    }
    if (want[w] == ANY_INFO) {
        for (std::size_t k = g;; ++k) {
            if (matches(got, k, want, w + 1)) return true;
            if (k == got.size() || !got[k].starts_with("info depth ")) return false;
        }
    }
    return g < got.size() && got[g] == want[w] && matches(got, g + 1, want, w + 1);
}

class ThreadsStopQuitEndOfInput : public ::testing::TestWithParam<Case> {};

TEST_P(ThreadsStopQuitEndOfInput, AnswersAndEndsAsTheRulesSay) {
    const Case& c = GetParam();
    EngineProcess engine;
    kestrune::testing::expect_banner(engine);
    if (HasFatalFailure()) return;
    Lines got;
    for (const Step& step : c.steps) {
        engine.send_raw(step.send);
        if (!step.until.empty()) {
            for (const std::string& line : engine.read_until(step.until, 60s)) {
                got.push_back(normalised(line, c.fen));
            }
        }
        if (step.then_silent) {
            // Only a faulty engine writes here; a slow machine cannot make this fail.
            const std::optional<std::string> early = engine.read_line(500ms);
            EXPECT_FALSE(early.has_value()) << *early;
        }
    }
    if (c.ending == Ending::Runs) {
        engine.send("isready");
        for (const std::string& line : engine.read_until("readyok", 60s)) {
            got.push_back(normalised(line, c.fen));
        }
        got.pop_back();
        engine.send("quit");
    } else if (c.ending == Ending::InputEnds) {
        engine.close_stdin();
    }
    // Hang detection only: an unstopped search would outlast it by far.
    EXPECT_EQ(engine.wait_exit(60s), std::optional<int>(0));
    for (const std::string& line : split_lines(engine.read_all_output(5s))) {
        got.push_back(normalised(line, c.fen));
    }
    const Lines want = expanded(c.expected);
    EXPECT_TRUE(matches(got, 0, want, 0))
        << "got " << ::testing::PrintToString(got) << "\nwant " << ::testing::PrintToString(want);
    EXPECT_EQ(engine.read_all_stderr(2s), "");
}

std::string repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

Lines depths(int last) {
    Lines lines;
    for (int d = 1; d <= last; ++d) lines.push_back("info depth " + std::to_string(d));
    return lines;
}

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Step SYNC{"isready\n", "readyok"};
const Step SEARCHING{"go\n", "info depth "};
const Step SEARCHING_INFINITE{"go infinite\n", "info depth "};
// An infinite search that has run out of depth by itself and now holds its answer.
const Step HOLDING{"position fen " + KINGS_ONLY + "\ngo infinite\n", "info depth 254 ", true};

// Stops at every moment of a search's life: before it is taken, at its start, during it.
Case repeated_stops() {
    Case c{"RepeatedStopsAndSearchesStayInStep", {}, Ending::InputEnds, {}};
    for (int i = 0; i < ROUNDS; ++i) {
        c.steps.push_back({i % 2 == 0 ? "go infinite\nstop\n" : "go movetime 2\n", "bestmove "});
        c.expected = c.expected + Lines{ANY_INFO, "bestmove"};
    }
    c.steps.push_back(SYNC);
    c.expected.push_back("readyok");
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThreadsStopQuitEndOfInput,
    ::testing::Values(
        // ---- "stop" while idle: nothing to interrupt
        Case{"StopIdle", {{"stop\n", ""}}, Ending::Runs, {}},
        Case{"StopCapitalsIdle", {{"STOP\n", ""}}, Ending::Runs, {}},
        Case{"StopFollowedByLettersIdle", {{"stopgap\n", ""}}, Ending::Runs, {"Unsupported command: stopgap", ""}},
        Case{"StopWhileIdleDoesNotCutLaterSearch",
             {{"stop\n", ""}, SYNC, {"go depth 5\n", "bestmove "}},
             Ending::Runs,
             Lines{"readyok"} + depths(5) + Lines{"bestmove"}},
        Case{"StopFloodWhileIdleDoesNotCutTheNextSearch",
             {{repeated("stop\n", FLOOD), ""}, SYNC, {"go depth 4\n", "bestmove "}},
             Ending::Runs,
             Lines{"readyok"} + depths(4) + Lines{"bestmove"}},
        Case{"StopWhileIdleAfterQueuedSearches",
             {{"position startpos\ngo\ngo\nstop\n", "bestmove "},
              {"", "bestmove "},
              SYNC,
              {"stop\n", ""},
              SYNC,
              {"go depth 4\n", "bestmove "}},
             Ending::Runs,
             Lines{ANY_INFO, "bestmove", ANY_INFO, "bestmove", "readyok", "readyok"} + depths(4) + Lines{"bestmove"}},

        // ---- "stop" during a search
        Case{"StopDuringSearch", {SEARCHING, {"stop\n", ""}}, Ending::Runs, {"info depth 1", ANY_INFO, "bestmove"}},
        Case{"StopCrLfDuringSearch",
             {SEARCHING, {"stop\r\n", ""}},
             Ending::Runs,
             {"info depth 1", ANY_INFO, "bestmove"}},
        Case{"StopWithArgumentDuringSearch",
             {SEARCHING, {"stop now\n", ""}},
             Ending::Runs,
             {"info depth 1", ANY_INFO, "bestmove"}},
        // Raises the flag, then is forwarded and answered as unknown.
        Case{"StopFollowedByLettersDuringSearch",
             {SEARCHING, {"stopgap\n", ""}},
             Ending::Runs,
             {"info depth 1", ANY_INFO, "bestmove", "Unsupported command: stopgap", ""}},
        Case{"StopAfterPositionDuringSearch",
             {{"position startpos\ngo\n", "info depth "}, {"stop\n", ""}},
             Ending::Runs,
             {"info depth 1", ANY_INFO, "bestmove"}},
        Case{"StopDuringInfiniteSearch",
             {SEARCHING_INFINITE, {"stop\n", ""}},
             Ending::Runs,
             {"info depth 1", ANY_INFO, "bestmove"}},
        Case{"StopFloodDuringSearchGivesOneBestmove",
             {SEARCHING_INFINITE, {repeated("stop\n", FLOOD), "bestmove "}, SYNC, {"go depth 2\n", "bestmove "}},
             Ending::Runs,
             Lines{"info depth 1", ANY_INFO, "bestmove", "readyok"} + depths(2) + Lines{"bestmove"}},
        Case{"IsReadyDuringSearchIsAnsweredAfterBestmove",
             {{"position startpos\ngo\n", "info depth "}, {"isready\nstop\n", "readyok"}},
             Ending::Runs,
             {"info depth 1", ANY_INFO, "bestmove", "readyok"}},
        // The stop belongs to the running search; the search queued after it runs in full.
        Case{"StopCutsOnlyTheSearchReadBeforeIt",
             {SEARCHING, {"stop\ngo depth 5\n", ""}},
             Ending::Runs,
             Lines{"info depth 1", ANY_INFO, "bestmove"} + depths(5) + Lines{"bestmove"}},

        // ---- "stop" read while its "go" still waits in the channel: not lost
        Case{"StopForQueuedSearchBehindASearch",
             {SEARCHING_INFINITE, {"go infinite\nstop\n", ""}},
             Ending::Runs,
             {"info depth 1", ANY_INFO, "bestmove", ANY_INFO, "bestmove"}},
        Case{"StopForQueuedSearchBehindAPerft",
             {{"go perft " + std::to_string(SLOW_PERFT_DEPTH) + "\ngo\nstop\n", "bestmove "}},
             Ending::Runs,
             {SLOW_PERFT, "", ANY_INFO, "bestmove"}},
        repeated_stops(),

        // ---- an infinite search that ends by itself holds "bestmove" until the flag rises
        Case{"InfiniteHeldUntilStop",
             {HOLDING, {"stop\n", "bestmove "}},
             Ending::Runs,
             {ANY_INFO, "info depth 254", "bestmove"},
             KINGS_ONLY},
        Case{"InfiniteHeldUntilQuit",
             {HOLDING, {"quit\n", ""}},
             Ending::Exits,
             {ANY_INFO, "info depth 254", "bestmove"},
             KINGS_ONLY},
        Case{"InfiniteHeldUntilEndOfInput",
             {HOLDING},
             Ending::InputEnds,
             {ANY_INFO, "info depth 254", "bestmove"},
             KINGS_ONLY},
        // Only lines beginning with lower-case "stop" or "quit" raise the flag.
        Case{"InfiniteNotReleasedByOtherSpellings",
             {HOLDING, {"STOP\n stop\nQuit\n\tquit\n", "", true}, {"stop\n", "bestmove "}},
             Ending::Runs,
             {ANY_INFO, "info depth 254", "bestmove", "quitting", "quitting"},
             KINGS_ONLY},
        Case{"InfiniteSingleReplyHeld",
             {{"position fen " + ONE_REPLY + "\ngo infinite\n", "info depth 1 ", true}, {"stop\n", "bestmove "}},
             Ending::Runs,
             {"info depth 1", "bestmove"},
             ONE_REPLY},
        Case{"InfiniteWithDepthHeld",
             {{"go infinite depth 2\n", "info depth 2 ", true}, {"stop\n", "bestmove "}},
             Ending::Runs,
             {"info depth 1", "info depth 2", "bestmove"}},
        Case{"InfiniteWithoutLegalMoveHeld",
             {{"position fen " + STALEMATE + "\ngo infinite\nisready\n", "", true}, {"stop\n", "readyok"}},
             Ending::Runs,
             {"bestmove (none)", "readyok"},
             STALEMATE},

        // ---- "quit": like the end of input, and the lines after it are never read
        Case{"Quit", {SYNC, {"quit\n", ""}}, Ending::Exits, {"readyok"}},
        Case{"QuitCrLf", {SYNC, {"quit\r\n", ""}}, Ending::Exits, {"readyok"}},
        Case{"Quitting", {SYNC, {"quitting\n", ""}}, Ending::Exits, {"readyok"}},
        Case{"QuitWithArguments", {SYNC, {"quit now\n", ""}}, Ending::Exits, {"readyok"}},
        Case{"QuitBeforeMoreCommands", {SYNC, {"quit\nuci\nisready\n", ""}}, Ending::Exits, {"readyok"}},
        Case{"QuitCapitals", {{"QUIT\n", ""}}, Ending::Runs, {"quitting"}},
        Case{"QuitAfterSpace", {{" quit\n", ""}}, Ending::Runs, {"quitting"}},
        Case{"QuitAfterTab", {{"\tquit now\r\n", ""}}, Ending::Runs, {"quitting"}},
        Case{"QuitDuringSearch",
             {SEARCHING_INFINITE, {"quit\n", ""}},
             Ending::Exits,
             {"info depth 1", ANY_INFO, "bestmove"}},
        Case{"QuitEndsPipedSession",
             {{"uci\nisready\nposition startpos\ngo depth 30\nisready\nquit\n", ""}},
             Ending::Exits,
             IDENTIFICATION + Lines{"readyok", ANY_INFO, "bestmove", "readyok"}},
        // A perft never stops early: it completes its listing first.
        Case{"QuitAfterPerft",
             {{"go perft " + std::to_string(SLOW_PERFT_DEPTH) + "\nisready\nquit\n", ""}},
             Ending::Exits,
             {SLOW_PERFT, "", "readyok"}},
        Case{"QuitWithOnlySearchesQueued",
             {{"go\ngo infinite\ngo depth 200\ngo movetime 600000\nquit\n", ""}},
             Ending::Exits,
             {ANY_INFO, "bestmove", ANY_INFO, "bestmove", ANY_INFO, "bestmove", ANY_INFO, "bestmove"}},

        // ---- end of input: what came before is answered, searches stop at once
        Case{"EndOfInputIdle", {}, Ending::InputEnds, {}},
        Case{
            "EndOfInputQueuedCommands", {{"uci\nisready\n", ""}}, Ending::InputEnds, IDENTIFICATION + Lines{"readyok"}},
        Case{"EndOfInputLastLineWithoutTerminator",
             {{"isready\nfoo\0\r"s, ""}},
             Ending::InputEnds,
             {"readyok", "Unsupported command: foo\0\r"s}},
        Case{"EndOfInputQueuedEndlessSearch",
             {{"go\nisready", ""}},
             Ending::InputEnds,
             {ANY_INFO, "bestmove", "readyok"}},
        Case{"EndOfInputDuringSearch", {SEARCHING}, Ending::InputEnds, {"info depth 1", ANY_INFO, "bestmove"}},

        // ---- a quiescence search that would never end by itself
        Case{"QuiescenceHearsTheClock",
             {{"position fen " + QUEENS + "\ngo movetime 10\n", "bestmove "}},
             Ending::Runs,
             {ANY_INFO, "bestmove"},
             QUEENS},
        Case{"QuiescenceHearsStop",
             {{"position fen " + QUEENS + "\ngo infinite\nstop\n", "bestmove "}},
             Ending::Runs,
             {ANY_INFO, "bestmove"},
             QUEENS},
        Case{"QuiescenceHearsQuit",
             {{"position fen " + QUEENS + "\ngo infinite\nquit\n", ""}},
             Ending::Exits,
             {ANY_INFO, "bestmove"},
             QUEENS},
        Case{"QuiescenceHearsEndOfInput",
             {{"position fen " + QUEENS + "\ngo depth 3\n", ""}},
             Ending::InputEnds,
             {ANY_INFO, "bestmove"},
             QUEENS},
        Case{"EndOfInputDuringSearchAnswersQueuedCommands",
             {SEARCHING_INFINITE, {"isready\ngo depth 40\n", ""}},
             Ending::InputEnds,
             {"info depth 1", ANY_INFO, "bestmove", "readyok", ANY_INFO, "bestmove"}}),
    kestrune::testing::case_name);

}  // namespace
