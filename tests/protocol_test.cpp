// The command front end seen from outside: the real binary driven through pipes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

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
#include "version.h"

namespace {

using kestrune::testing::BANNER;
using kestrune::testing::case_name;
using kestrune::testing::EngineProcess;
using kestrune::testing::expect_banner;
using kestrune::testing::Lines;
using kestrune::testing::PrintTo;
using kestrune::testing::read_file;
using kestrune::testing::read_lines;
using namespace std::chrono_literals;
using namespace std::string_literals;

const Lines IDENTIFICATION = kestrune::testing::identification_lines();
const std::string SETOPTION_ERROR = "Expecting 4 arguments, in form name XXXXX value YYY, got: ";
// Everything the engine writes in answer to the given input, up to the "readyok"
// of an "isready" sent after it.
Lines answer_to(EngineProcess& engine, std::string_view input) {
    engine.send_raw(input);
    return kestrune::testing::await_ready(engine);
}

// Output written after the engine's last awaited answer, once a read failure ended it.
bool is_move_answer(const std::string& line) {
    return line.starts_with("bestmove ") && line != "bestmove (none)" && line.size() >= 13 && line.size() <= 14;
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
    Lines expected = IDENTIFICATION;
    expected.insert(expected.begin(), BANNER);
    EXPECT_EQ(read_lines(engine, expected.size()), expected);
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
    ::testing::Values(AnswerCase{"Uci", "uci\n", IDENTIFICATION}, AnswerCase{"UciCapitals", "UCI\n", IDENTIFICATION},
                      AnswerCase{"UciMixedCaseCrLf", "uCi\r\n", IDENTIFICATION},
                      AnswerCase{"UciNoBreakSpaceAfter", "Uci\xc2\xa0\n", IDENTIFICATION},
                      AnswerCase{"UciCarriageReturnInside", "uci\rjunk\n", IDENTIFICATION},
                      AnswerCase{"Isready", "isready\n", {"readyok"}},
                      AnswerCase{"IsreadyMixedCaseIdeographicSpace", "\xe3\x80\x80IsReady\n", {"readyok"}},
                      AnswerCase{"EmptyLine", "\n", {"Empty command"}},
                      AnswerCase{"EmptyCrLfLine", "\r\n", {"Empty command"}},
                      AnswerCase{"BlankLine", " \t\v\f \n", {"Empty command"}},
                      AnswerCase{"UnicodeBlankLine", "\xc2\xa0\xe2\x80\x83\xe3\x80\x80\n", {"Empty command"}},
                      AnswerCase{"UnsupportedCrLf", "foo\r\n", UNSUPPORTED_FOO_CRLF},
                      AnswerCase{
                          "UnsupportedKeepsSpacing", " foo  bar\tbaz \n", {"Unsupported command:  foo  bar\tbaz ", ""}},
                      AnswerCase{"UnsupportedMultibyte",
                                 "caf\xc3\xa9 \xf0\x9f\x90\x9f\n",
                                 {"Unsupported command: caf\xc3\xa9 \xf0\x9f\x90\x9f", ""}},
                      AnswerCase{"UnsupportedNul", "is\0ready\n"s, {"Unsupported command: is\0ready"s, ""}},
                      AnswerCase{"UnsupportedLoneNul", "\0\n"s, {"Unsupported command: \0"s, ""}},
                      AnswerCase{"SetoptionAlone", "setoption\n", {SETOPTION_ERROR}},
                      AnswerCase{"SetoptionTooFew", "setoption name MultiPV\n", {SETOPTION_ERROR + "name MultiPV"}},
                      AnswerCase{"SetoptionTokensJoinedBySingleSpaces",
                                 "setoption  name\tMultiPV value 3\xe3\x80\x80"
                                 "4\r\n",
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
// Leaving on unreadable input or a fatal error ("stop", "quit" and the end of
// input are tested in threads_test.cpp)

struct Utf8Case {
    std::string name;
    std::string bytes;
};

class ProtocolInvalidUtf8Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(ProtocolInvalidUtf8Test, ReportsAndEndsAsTheEndOfInputDoes) {
    EngineProcess engine;
    expect_banner(engine);
    ASSERT_EQ(answer_to(engine, ""), Lines{});
    // What was read before the bad line is answered (the search stops at
    // once); neither the bad line nor anything after it is handled.
    engine.send_raw("isready\ngo depth 200\nuci " + GetParam().bytes + " x\nisready\n");
    EXPECT_EQ(engine.wait_exit(), 0);
    EXPECT_EQ(engine.read_all_stderr(), "Failed to read line: stream did not contain valid UTF-8\n");
    std::istringstream rest(engine.read_all_output());
    std::string line;
    ASSERT_TRUE(std::getline(rest, line));
    EXPECT_EQ(line, "readyok");
    while (std::getline(rest, line) && line.starts_with("info depth ")) {
    }
    EXPECT_TRUE(is_move_answer(line)) << line;
    std::string after;
    EXPECT_FALSE(std::getline(rest, after)) << after;
}

INSTANTIATE_TEST_SUITE_P(Sequences, ProtocolInvalidUtf8Test,
                         ::testing::Values(Utf8Case{"LoneContinuation", "\x80"}, Utf8Case{"ByteFF", "\xff"},
                                           Utf8Case{"OverlongSlash", "\xc0\xaf"},
                                           Utf8Case{"OverlongThreeBytes", "\xe0\x80\xaf"},
                                           Utf8Case{"Surrogate", "\xed\xa0\x80"},
                                           Utf8Case{"BeyondUnicode", "\xf4\x90\x80\x80"},
                                           Utf8Case{"TruncatedBeforeSpace", "\xe3\x80"}, Utf8Case{"Latin1", "caf\xe9"}),
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
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no writable /dev/full on this system (macOS has none): no log that fails every write";
    }
    EngineProcess engine({"--log", "/dev/full"});
    expect_banner(engine);
    engine.send("isready");
    const std::optional<int> status = engine.wait_exit();
    ASSERT_TRUE(status.has_value()) << "engine stayed alive after failing to write its log";
    EXPECT_NE(*status, 0);
    const std::string errors = engine.read_all_stderr();
    EXPECT_NE(errors.find("Cannot write to log file!: No space left on device\n"), std::string::npos) << errors;
    // The command is logged before it runs, so it never got its answer.
    EXPECT_EQ(engine.read_all_output().find("readyok"), std::string::npos);
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
    EXPECT_EQ(read_lines(engine, IDENTIFICATION.size()), IDENTIFICATION);
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

struct RefusedLogCase {
    std::string name;
    std::string path;  // empty: a FIFO that nobody reads
    std::string reason;
    bool posix_only = true;
};

class ProtocolRefusedLogTest : public ::testing::TestWithParam<RefusedLogCase> {};

// A log that cannot be opened without waiting, or that is the engine's own
// input or output, is reported once; the engine answers without a log.
TEST_P(ProtocolRefusedLogTest, IsReportedAndEngineRunsWithoutLog) {
    const RefusedLogCase& c = GetParam();
    if (c.posix_only && std::string_view(KESTRUNE_BINARY).ends_with(".exe")) {
        GTEST_SKIP() << "FIFOs and /dev paths belong to POSIX systems, not to a Windows engine";
    }
    TempDir dir;
    std::string path = c.path;
    if (path.empty()) {
        path = dir.file("fifo");
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    }
    EngineProcess engine({"--log", path});
    expect_banner(engine);
    EXPECT_EQ(answer_to(engine, "uci\n"), IDENTIFICATION);
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
    EXPECT_EQ(engine.read_all_stderr(),
              "kestrune: cannot create log file '" + path + "': " + c.reason + "; running without a log\n");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ProtocolRefusedLogTest,
    ::testing::Values(RefusedLogCase{"MissingDirectory", "/nonexistent-dir/x.log", "No such file or directory", false},
                      RefusedLogCase{"FifoWithoutReader", "", "No such device or address"},
                      RefusedLogCase{"OwnStandardInput", "/dev/stdin", "it is the engine's standard input"},
                      RefusedLogCase{"OwnStandardOutput", "/dev/stdout", "it is the engine's standard output"},
                      RefusedLogCase{"OwnStandardOutputByDescriptor", "/proc/self/fd/1",
                                     "it is the engine's standard output"}),
    case_name);

// ---------------------------------------------------------------------------
// Bad input never crashes or hangs the engine (lines of megabytes:
// protocol_overlong_test.cpp)

TEST(ProtocolBadInputTest, RandomLinesOfCommandPiecesAndControlBytes) {
    // Pieces of real commands mixed with blanks, control bytes and multibyte text.
    // None starts with "g" or "q": an endless search or a quit would end the session early.
    const std::vector<std::string> pieces = {"uci",
                                             "isready",
                                             "setoption",
                                             "name",
                                             "value",
                                             "MultiPV",
                                             "position",
                                             "startpos",
                                             "fen",
                                             "moves",
                                             "e2e4",
                                             "e7e5",
                                             "d",
                                             "stop",
                                             "ucinewgame",
                                             "8/8",
                                             "K",
                                             "k",
                                             "w",
                                             "b",
                                             "-",
                                             "0",
                                             "255",
                                             "+3",
                                             "x",
                                             "/",
                                             "\xc3\xa9",
                                             "\xe2\x99\x9e",
                                             "\xf0\x9f\x90\x9f",
                                             " ",
                                             " ",
                                             " ",
                                             "\t",
                                             "\r",
                                             "\v",
                                             "\f",
                                             "\xc2\xa0",
                                             "\xe3\x80\x80",
                                             "\xe2\x80\xa8",
                                             "\0"s,
                                             "\x01",
                                             "\x1b",
                                             "\x7f"};
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
