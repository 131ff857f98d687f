// The command front end seen from outside: the real binary driven through pipes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine_process.h"
#include "engine_session.h"
#include "test_support.h"

namespace {

using kestrune::testing::BANNER;
using kestrune::testing::case_name;
using kestrune::testing::EngineProcess;
using kestrune::testing::expect_banner;
using kestrune::testing::Lines;
using kestrune::testing::PrintTo;
using kestrune::testing::read_file;
using namespace std::chrono_literals;
using namespace std::string_literals;

const Lines IDENTIFICATION = {"id name kestrune 0.1.0b 64 AB", "id author Ombrelt", "uciok"};
const std::string SETOPTION_ERROR = "Expecting 4 arguments, in form name XXXXX value YYY, got: ";
// The engine thread may say this when "quit" closes its channel before the process is gone.
const std::string FAREWELL = "Engine communication error: RecvError\n";

#ifdef KESTRUNE_SANITIZED
constexpr int SLOW_PERFT_DEPTH = 5;
#else
constexpr int SLOW_PERFT_DEPTH = 6;
#endif

// The next `count` lines; a missing line reads as "<nothing>".
Lines read_lines(EngineProcess& engine, std::size_t count, std::chrono::milliseconds timeout = 20s) {
    Lines lines;
    for (std::size_t i = 0; i < count; ++i) {
        lines.push_back(engine.read_line(timeout).value_or("<nothing>"));
    }
    return lines;
}

// Everything the engine writes in answer to the given input, up to the "readyok"
// of an "isready" sent after it.
Lines answer_to(EngineProcess& engine, std::string_view input) {
    engine.send_raw(input);
    return kestrune::testing::await_ready(engine);
}

// Output written after the engine's last awaited answer, once "quit" ended it.
bool quiet_after_quit(const std::string& rest) { return rest.empty() || rest == FAREWELL; }

bool is_move_answer(const std::string& line) {
    return line.starts_with("bestmove ") && line != "bestmove (none)" && line.size() >= 13 && line.size() <= 14;
}

std::size_t count_prefixed(const Lines& lines, std::string_view prefix) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(prefix); }));
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrune-protocol-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(std::string_view name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Waits (hang detection only) until the file exists.
bool wait_for_file(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!std::filesystem::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Start-up and the answers of single commands

TEST(ProtocolStartTest, BannerPrecedesEveryAnswer) {
    EngineProcess engine;
    // Sent before anything is read: the banner must still come first.
    engine.send("uci");
    EXPECT_EQ(read_lines(engine, 4), (Lines{BANNER, IDENTIFICATION[0], IDENTIFICATION[1], IDENTIFICATION[2]}));
}

struct AnswerCase {
    std::string name;
    std::string input;  // raw bytes, terminators included
    Lines answer;       // every line written before the "readyok" of the following "isready"
};

class ProtocolAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ProtocolAnswerTest, AnswersExactly) {
    const AnswerCase& c = GetParam();
    EngineProcess engine;
    expect_banner(engine);
    engine.send_raw(c.input);
    engine.send("isready");
    // Exactly the expected lines, then the sentinel: nothing missing, nothing extra.
    Lines expected = c.answer;
    expected.push_back("readyok");
    EXPECT_EQ(read_lines(engine, expected.size()), expected);
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
    EXPECT_EQ(engine.read_all_stderr(), "");
}

const Lines UNSUPPORTED_FOO_CRLF = {"Unsupported command: foo\r", ""};

INSTANTIATE_TEST_SUITE_P(
    Commands, ProtocolAnswerTest,
    ::testing::Values(
        AnswerCase{"Uci", "uci\n", IDENTIFICATION}, AnswerCase{"UciCapitals", "UCI\n", IDENTIFICATION},
        AnswerCase{"UciMixedCaseCrLf", "uCi\r\n", IDENTIFICATION},
        AnswerCase{"UciNoBreakSpaceAfter", "Uci\xc2\xa0\n", IDENTIFICATION},
        AnswerCase{"UciCarriageReturnInside", "uci\rjunk\n", IDENTIFICATION},
        AnswerCase{"Isready", "isready\n", {"readyok"}},
        AnswerCase{"IsreadyMixedCaseIdeographicSpace", "\xe3\x80\x80IsReady\n", {"readyok"}},
        AnswerCase{"EmptyLine", "\n", {"Empty command"}}, AnswerCase{"EmptyCrLfLine", "\r\n", {"Empty command"}},
        AnswerCase{"BlankLine", " \t\v\f \n", {"Empty command"}},
        AnswerCase{"UnicodeBlankLine", "\xc2\xa0\xe2\x80\x83\xe3\x80\x80\n", {"Empty command"}},
        AnswerCase{"UnsupportedCrLf", "foo\r\n", UNSUPPORTED_FOO_CRLF},
        AnswerCase{"UnsupportedKeepsSpacing", " foo  bar\tbaz \n", {"Unsupported command:  foo  bar\tbaz ", ""}},
        AnswerCase{"UnsupportedMultibyte", "caf\xc3\xa9 \xf0\x9f\x90\x9f\n", {"Unsupported command: caf\xc3\xa9 \xf0\x9f\x90\x9f", ""}},
        AnswerCase{"UnsupportedNul", "is\0ready\n"s, {"Unsupported command: is\0ready"s, ""}},
        AnswerCase{"UnsupportedLoneNul", "\0\n"s, {"Unsupported command: \0"s, ""}},
        AnswerCase{"StopFollowedByLetters", "stopgap\n", {"Unsupported command: stopgap", ""}},
        AnswerCase{"StopIdle", "stop\n", {}}, AnswerCase{"StopCapitals", "STOP\n", {}},
        AnswerCase{"QuitCapitals", "QUIT\n", {"quitting"}}, AnswerCase{"QuitAfterSpace", " quit\n", {"quitting"}},
        AnswerCase{"QuitAfterTab", "\tquit now\r\n", {"quitting"}},
        AnswerCase{"SetoptionAlone", "setoption\n", {SETOPTION_ERROR}},
        AnswerCase{"SetoptionTooFew", "setoption name MultiPV\n", {SETOPTION_ERROR + "name MultiPV"}},
        AnswerCase{"SetoptionTokensJoinedBySingleSpaces",
                   "setoption  name\tMultiPV value 3\xe3\x80\x80" "4\r\n",
                   {SETOPTION_ERROR + "name MultiPV value 3 4"}},
        AnswerCase{"SetoptionOtherOption", "setoption name Hash value 64\n", {}}),
    case_name);

// ---------------------------------------------------------------------------
// setoption, observed through the number of lines a search reports

struct MultiPvCase {
    std::string name;
    std::string command;
    std::optional<std::string> error;
    std::size_t lines;  // principal lines per depth afterwards
};

class ProtocolMultiPvTest : public ::testing::TestWithParam<MultiPvCase> {};

TEST_P(ProtocolMultiPvTest, SetsLinesPerDepth) {
    const MultiPvCase& c = GetParam();
    EngineProcess engine;
    expect_banner(engine);
    engine.send(c.command);
    engine.send("position startpos");
    engine.send("go depth 1");
    const Lines lines = engine.read_until("bestmove");

    const auto first_info = std::find_if(lines.begin(), lines.end(),
                                         [](const std::string& l) { return l.starts_with("info depth 1 "); });
    const Lines before(lines.begin(), first_info);
    EXPECT_EQ(before, c.error ? Lines{*c.error} : Lines{});
    const Lines infos(first_info, lines.end() - 1);
    ASSERT_EQ(infos.size(), c.lines) << ::testing::PrintToString(lines);
    for (std::size_t i = 0; i < infos.size(); ++i) {
        EXPECT_TRUE(infos[i].starts_with("info depth 1 ")) << infos[i];
        EXPECT_NE(infos[i].find(" multipv " + std::to_string(i + 1) + " "), std::string::npos) << infos[i];
    }
    EXPECT_TRUE(is_move_answer(lines.back())) << lines.back();
}

INSTANTIATE_TEST_SUITE_P(
    Setoption, ProtocolMultiPvTest,
    ::testing::Values(MultiPvCase{"Three", "setoption name MultiPV value 3", std::nullopt, 3},
                      MultiPvCase{"LowerCaseName", "setoption name multipv value 3", std::nullopt, 1},
                      MultiPvCase{"OutOfRange", "setoption name MultiPV value 300", std::nullopt, 1},
                      MultiPvCase{"SixTokensStillSets", "setoption name MultiPV value 3 4",
                                  SETOPTION_ERROR + "name MultiPV value 3 4", 3},
                      MultiPvCase{"FourTokensSetNothing", "setoption name MultiPV 3",
                                  SETOPTION_ERROR + "name MultiPV 3", 1},
                      MultiPvCase{"OtherOption", "setoption name Hash value 3", std::nullopt, 1}),
    case_name);

// ---------------------------------------------------------------------------
// Leaving: "quit", end of input, unreadable input, fatal errors

struct QuitCase {
    std::string name;
    std::string line;
};

class ProtocolQuitTest : public ::testing::TestWithParam<QuitCase> {};

TEST_P(ProtocolQuitTest, EndsAtOnceWithoutAnswer) {
    EngineProcess engine;
    expect_banner(engine);
    ASSERT_EQ(answer_to(engine, ""), Lines{});
    engine.send_raw(GetParam().line);
    EXPECT_EQ(engine.wait_exit(), 0);
    const std::string rest = engine.read_all_output();
    EXPECT_TRUE(quiet_after_quit(rest)) << rest;  // no "quitting": the line never reaches the engine
    EXPECT_EQ(engine.read_all_stderr(), "");
}

INSTANTIATE_TEST_SUITE_P(QuitLines, ProtocolQuitTest,
                         ::testing::Values(QuitCase{"Quit", "quit\n"}, QuitCase{"QuitCrLf", "quit\r\n"},
                                           QuitCase{"Quitting", "quitting\n"},
                                           QuitCase{"QuitWithArguments", "quit now\n"},
                                           // Lines after the quit are never read.
                                           QuitCase{"QuitBeforeMoreCommands", "quit\nuci\nisready\n"}),
                         case_name);

TEST(ProtocolQuitDuringSearchTest, EndsAtOnce) {
    EngineProcess engine;
    expect_banner(engine);
    engine.send("go");
    engine.read_until("info depth ");
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
}

struct EndOfInputCase {
    std::string name;
    std::string input;  // sent just before standard input is closed
    Lines answer;       // all that follows the banner
};

class ProtocolEndOfInputTest : public ::testing::TestWithParam<EndOfInputCase> {};

TEST_P(ProtocolEndOfInputTest, AnswersWhatCameBeforeAndExitsCleanly) {
    const EndOfInputCase& c = GetParam();
    EngineProcess engine;
    expect_banner(engine);
    engine.send_raw(c.input);
    engine.close_stdin();
    EXPECT_EQ(engine.wait_exit(), 0);
    std::istringstream rest(engine.read_all_output());
    Lines lines;
    for (std::string line; std::getline(rest, line);) {
        lines.push_back(line);
    }
    // A search cut short by the end of input may or may not complete a depth,
    // but it still names a move.
    std::erase_if(lines, [](const std::string& l) { return l.starts_with("info depth "); });
    for (std::string& line : lines) {
        if (is_move_answer(line)) line = "bestmove";
    }
    EXPECT_EQ(lines, c.answer);
    EXPECT_EQ(engine.read_all_stderr(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProtocolEndOfInputTest,
    ::testing::Values(EndOfInputCase{"Idle", "", {}},
                      EndOfInputCase{"QueuedCommands", "uci\nisready\n", {IDENTIFICATION[0], IDENTIFICATION[1],
                                                                          IDENTIFICATION[2], "readyok"}},
                      EndOfInputCase{"LastLineWithoutTerminator", "isready\nfoo\0\r"s,
                                     {"readyok", "Unsupported command: foo\0\r"s}},
                      EndOfInputCase{"QueuedEndlessSearch", "go\nisready", {"bestmove", "readyok"}}),
    case_name);

TEST(ProtocolEndOfInputSearchTest, StopsRunningSearch) {
    EngineProcess engine;
    expect_banner(engine);
    engine.send("go");
    engine.read_until("info depth ");
    engine.close_stdin();
    EXPECT_TRUE(is_move_answer(engine.read_until("bestmove", 30s).back()));
    EXPECT_EQ(engine.wait_exit(), 0);
}

struct Utf8Case {
    std::string name;
    std::string bytes;
};

class ProtocolInvalidUtf8Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(ProtocolInvalidUtf8Test, ReportsAndEnds) {
    EngineProcess engine;
    expect_banner(engine);
    ASSERT_EQ(answer_to(engine, ""), Lines{});
    // Neither the bad line nor anything after it is handled.
    engine.send_raw("uci " + GetParam().bytes + " x\nisready\n");
    EXPECT_EQ(engine.wait_exit(), 0);
    EXPECT_EQ(engine.read_all_stderr(), "Failed to read line: stream did not contain valid UTF-8\n");
    const std::string rest = engine.read_all_output();
    EXPECT_TRUE(quiet_after_quit(rest)) << rest;
}

INSTANTIATE_TEST_SUITE_P(Sequences, ProtocolInvalidUtf8Test,
                         ::testing::Values(Utf8Case{"LoneContinuation", "\x80"}, Utf8Case{"ByteFF", "\xff"},
                                           Utf8Case{"OverlongSlash", "\xc0\xaf"},
                                           Utf8Case{"OverlongThreeBytes", "\xe0\x80\xaf"},
                                           Utf8Case{"Surrogate", "\xed\xa0\x80"},
                                           Utf8Case{"BeyondUnicode", "\xf4\x90\x80\x80"},
                                           Utf8Case{"TruncatedBeforeSpace", "\xe3\x80"},
                                           Utf8Case{"Latin1", "caf\xe9"}),
                         case_name);

TEST(ProtocolFatalErrorTest, ClosedOutputEndsProcessWithFailure) {
    EngineProcess engine;
    expect_banner(engine);
    engine.close_stdout();
    engine.send("uci");
    const std::optional<int> status = engine.wait_exit();
    ASSERT_TRUE(status.has_value()) << "engine stayed alive after losing its output";
    EXPECT_NE(*status, 0);
    EXPECT_NE(engine.read_all_stderr().find("Cannot write to output stream"), std::string::npos);
}

TEST(ProtocolFatalErrorTest, LogWriteFailureEndsProcessWithFailure) {
    EngineProcess engine({"--log", "/dev/full"});
    expect_banner(engine);
    engine.send("isready");
    const std::optional<int> status = engine.wait_exit();
    ASSERT_TRUE(status.has_value()) << "engine stayed alive after failing to write its log";
    EXPECT_NE(*status, 0);
    EXPECT_NE(engine.read_all_stderr().find("TODO: panic message"), std::string::npos);
    // The command is logged before it runs, so it never got its answer.
    EXPECT_EQ(engine.read_all_output().find("readyok"), std::string::npos);
}

// ---------------------------------------------------------------------------
// The stop flag

struct StopCase {
    std::string name;
    std::string line;
    Lines after_bestmove;  // what the forwarded line itself answers
};

class ProtocolStopTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(ProtocolStopTest, EndsRunningSearch) {
    const StopCase& c = GetParam();
    EngineProcess engine;
    expect_banner(engine);
    engine.send("go");
    engine.read_until("info depth ");
    engine.send_raw(c.line);
    EXPECT_TRUE(is_move_answer(engine.read_until("bestmove", 30s).back()));
    EXPECT_EQ(answer_to(engine, ""), c.after_bestmove);
}

INSTANTIATE_TEST_SUITE_P(StopLines, ProtocolStopTest,
                         ::testing::Values(StopCase{"Stop", "stop\n", {}}, StopCase{"StopCrLf", "stop\r\n", {}},
                                           StopCase{"StopWithArgument", "stop now\n", {}},
                                           StopCase{"StopFollowedByLetters", "stopgap\n",
                                                    {"Unsupported command: stopgap", ""}}),
                         case_name);

TEST(ProtocolStopFlagTest, StopForQueuedSearchIsNotLost) {
    EngineProcess engine;
    expect_banner(engine);
    // The endless "go" waits in the channel behind the perft when "stop" is read.
    engine.send_raw("go perft " + std::to_string(SLOW_PERFT_DEPTH) + "\ngo\nstop\n");
    const Lines lines = engine.read_until("bestmove", 60s);
    ASSERT_GE(lines.size(), 22U);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_NE(lines[i].find(": "), std::string::npos) << lines[i];
    }
    EXPECT_EQ(lines[20], "");
    EXPECT_TRUE(is_move_answer(lines.back())) << lines.back();
    EXPECT_EQ(answer_to(engine, ""), Lines{});
}

TEST(ProtocolStopFlagTest, StopWhileIdleDoesNotCutLaterSearch) {
    EngineProcess engine;
    expect_banner(engine);
    ASSERT_EQ(answer_to(engine, "stop\n"), Lines{});
    engine.send("go depth 5");
    const Lines lines = engine.read_until("bestmove");
    EXPECT_GE(count_prefixed(lines, "info depth 5 "), 1U) << ::testing::PrintToString(lines);
    EXPECT_TRUE(is_move_answer(lines.back()));
}

TEST(ProtocolStopFlagTest, StopCutsOnlyTheSearchReadBeforeIt) {
    EngineProcess engine;
    expect_banner(engine);
    engine.send("go");
    engine.read_until("info depth ");
    // The stop belongs to the running search; the search queued after it runs in full.
    engine.send_raw("stop\ngo depth 5\n");
    EXPECT_TRUE(is_move_answer(engine.read_until("bestmove", 30s).back()));
    const Lines lines = engine.read_until("bestmove");
    EXPECT_TRUE(lines.front().starts_with("info depth 1 ")) << lines.front();
    EXPECT_GE(count_prefixed(lines, "info depth 5 "), 1U) << ::testing::PrintToString(lines);
}

// ---------------------------------------------------------------------------
// The command log

TEST(ProtocolLogTest, CreatedEmptyAtStartThenHoldsEveryForwardedLine) {
    TempDir dir;
    const std::string log = dir.file("commands.log");
    EngineProcess engine({"--log", log});
    expect_banner(engine);
    ASSERT_TRUE(wait_for_file(log));
    EXPECT_EQ(read_file(log), "");

    const std::string session = "uci\n"s + "\r\n" + "IsReady\r\n" + "foo\0bar\n"s + "  \xe3\x80\x80\n" + "QUIT\n" +
                                " quit\n" + "stopgap\n" + "stop\n" + "setoption name MultiPV value 2\n" +
                                "position startpos moves e2e4\n" + "caf\xc3\xa9\n" + "go depth 1\n" + "isready\n";
    engine.send_raw(session);
    engine.read_until("bestmove");
    engine.read_until("readyok");
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
    EXPECT_EQ(read_file(log), session);  // the "quit" line never reaches the engine
    EXPECT_EQ(engine.read_all_stderr(), "");
}

TEST(ProtocolLogTest, FirstExactLogOptionWinsAndEmptiesTheFile) {
    TempDir dir;
    const std::string chosen = dir.file("chosen.log");
    const std::string wrong_case = dir.file("wrong-case.log");
    const std::string later = dir.file("later.log");
    std::ofstream(chosen) << "left from an earlier game\n";
    EngineProcess engine({"--LOG", wrong_case, "--logfile", "--log", chosen, "--log", later});
    expect_banner(engine);
    engine.send("uci");
    EXPECT_EQ(read_lines(engine, 3), IDENTIFICATION);
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
    EXPECT_EQ(read_file(chosen), "uci\n");
    EXPECT_FALSE(std::filesystem::exists(wrong_case));
    EXPECT_FALSE(std::filesystem::exists(later));
    EXPECT_EQ(engine.read_all_stderr(), "");
}

TEST(ProtocolLogTest, LastArgumentMeansNoLog) {
    EngineProcess engine({"--log"});
    expect_banner(engine);
    EXPECT_EQ(answer_to(engine, "uci\n"), IDENTIFICATION);
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
    EXPECT_EQ(engine.read_all_stderr(), "");
}

TEST(ProtocolLogTest, UncreatablePathIsReportedAndEngineRunsWithoutLog) {
    EngineProcess engine({"--log", "/nonexistent-dir/x.log"});
    expect_banner(engine);
    EXPECT_EQ(answer_to(engine, "uci\n"), IDENTIFICATION);
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
    EXPECT_TRUE(engine.read_all_stderr().starts_with("kestrune: cannot create log file"));
}

// ---------------------------------------------------------------------------
// Bad input never crashes or hangs the engine

struct OverlongCase {
    std::string name;
    std::string unit;
    std::size_t repeat;
    bool echoed;  // an unsupported command echoes the line; a blank one answers "Empty command"
};

class ProtocolOverlongLineTest : public ::testing::TestWithParam<OverlongCase> {};

TEST_P(ProtocolOverlongLineTest, IsHandledWhole) {
    const OverlongCase& c = GetParam();
    std::string payload;
    payload.reserve(c.unit.size() * c.repeat);
    for (std::size_t i = 0; i < c.repeat; ++i) payload += c.unit;

    EngineProcess engine;
    expect_banner(engine);
    engine.send(payload);
    engine.send("isready");
    const Lines expected = c.echoed ? Lines{"Unsupported command: " + payload, "", "readyok"}
                                    : Lines{"Empty command", "readyok"};
    const Lines lines = read_lines(engine, expected.size(), 60s);
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // Compared without printing: a failure must not dump megabytes.
        EXPECT_TRUE(lines[i] == expected[i]) << "line " << i << " differs; sizes " << lines[i].size() << " and "
                                             << expected[i].size();
    }
}

INSTANTIATE_TEST_SUITE_P(Overlong, ProtocolOverlongLineTest,
                         ::testing::Values(OverlongCase{"FourMegabytesOfLetters", "x", 4U << 20, true},
                                           OverlongCase{"MillionTokens", "a ", 1U << 20, true},
                                           OverlongCase{"FourMegabytesOfNuls", "\0"s, 4U << 20, true},
                                           OverlongCase{"MillionWideBlanks", "\xe3\x80\x80 \t", 1U << 20, false}),
                         case_name);

TEST(ProtocolBadInputTest, RandomLinesOfCommandPiecesAndControlBytes) {
    // Pieces of real commands mixed with blanks, control bytes and multibyte text.
    // None starts with "g" or "q": an endless search or a quit would end the session early.
    const std::vector<std::string> pieces = {
        "uci", "isready", "setoption", "name", "value", "MultiPV", "position", "startpos", "fen", "moves", "e2e4",
        "e7e5", "d", "stop", "ucinewgame", "8/8", "K", "k", "w", "b", "-", "0", "255", "+3", "x", "/", "\xc3\xa9",
        "\xe2\x99\x9e", "\xf0\x9f\x90\x9f", " ", " ", " ", "\t", "\r", "\v", "\f", "\xc2\xa0", "\xe3\x80\x80",
        "\xe2\x80\xa8", "\0"s, "\x01", "\x1b", "\x7f"};
    std::mt19937 random(20240601U);
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 12);
    std::string input;
    for (int line = 0; line < 600; ++line) {
        for (int n = length(random); n > 0; --n) input += pieces[piece(random)];
        input += line % 3 == 0 ? "\r\n" : "\n";
    }

    EngineProcess engine;
    expect_banner(engine);
    engine.send_raw(input);
    engine.send("isready");
    engine.read_until("readyok", 60s);
    // A last line with neither terminator nor meaning, then the end of input.
    engine.send_raw("uci\0\r junk"s);
    engine.close_stdin();
    EXPECT_EQ(engine.wait_exit(), 0);
    EXPECT_EQ(engine.read_all_stderr(), "");
}

}  // namespace
