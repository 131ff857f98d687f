// The engine object in-process: the output writer, the tokenizer and the
// dispatcher's handling of command words, options and the command log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine.h"
#include "fen.h"
#include "test_support.h"
#include "text.h"

namespace kestrune {
namespace {

using namespace std::string_literals;

using Texts = std::vector<std::string>;
using testing::case_name;
using testing::PrintTo;
using testing::read_file;

// ---------------------------------------------------------------------------
// StdoutSink

// Runs `body` with file descriptor 1 redirected into a pipe and returns the bytes
// written there; the caller's output is restored before anything is asserted.
std::string capture_stdout(const std::function<void(int read_end)>& body) {
    std::fflush(stdout);
    int ends[2];
    if (pipe(ends) != 0) throw std::runtime_error("pipe failed");
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
    const int saved = dup(STDOUT_FILENO);
    dup2(ends[1], STDOUT_FILENO);
    close(ends[1]);
    try {
        body(ends[0]);
    } catch (...) {
        dup2(saved, STDOUT_FILENO);
        close(saved);
        close(ends[0]);
        throw;
    }
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::string bytes;
    char chunk[4096];
    for (ssize_t n; (n = read(ends[0], chunk, sizeof chunk)) > 0;) {
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    close(ends[0]);
    return bytes;
}

// Whatever is in the pipe right now, without waiting.
std::string drain(int read_end) {
    std::string bytes;
    char chunk[4096];
    for (ssize_t n; (n = read(read_end, chunk, sizeof chunk)) > 0;) {
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
}

struct WriteCase {
    std::string name;
    std::string text;
    std::string bytes;
};

class StdoutSinkWriteTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(StdoutSinkWriteTest, AddsExactlyOneLineFeedAndFlushes) {
    const WriteCase& c = GetParam();
    std::string seen_before_return;
    const std::string rest = capture_stdout([&](int read_end) {
        StdoutSink sink;
        sink.write_line(c.text);
        // Nothing may wait in a buffer: an interface reads the pipe while the search goes on.
        seen_before_return = drain(read_end);
    });
    EXPECT_EQ(seen_before_return, c.bytes);
    EXPECT_EQ(rest, "");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StdoutSinkWriteTest,
    ::testing::Values(WriteCase{"Empty", "", "\n"}, WriteCase{"Word", "readyok", "readyok\n"},
                      WriteCase{"EndsWithLineFeed", "foo\n", "foo\n\n"},
                      WriteCase{"EndsWithCarriageReturn", "foo\r", "foo\r\n"},
                      WriteCase{"EndsWithCrLf", "foo\r\n", "foo\r\n\n"},
                      WriteCase{"SeveralLines", std::string(IDENTIFICATION), std::string(IDENTIFICATION) + "\n"},
                      WriteCase{"Nul", "a\0b"s, "a\0b\n"s}, WriteCase{"Multibyte", "caf\xc3\xa9", "caf\xc3\xa9\n"}),
    case_name);

TEST(StdoutSinkTest, WritesLinesInOrderEachOnItsOwn) {
    const std::string bytes = capture_stdout([](int) {
        StdoutSink sink;
        sink.write_line("info depth 1");
        sink.write_line("");
        sink.write_line("bestmove e2e4");
    });
    EXPECT_EQ(bytes, "info depth 1\n\nbestmove e2e4\n");
}

TEST(StdoutSinkTest, FailedWriteIsFatal) {
    std::signal(SIGPIPE, SIG_IGN);
    std::string message;
    capture_stdout([&](int read_end) {
        // No reader left: every write fails with a broken pipe.
        const int nothing = open("/dev/null", O_RDONLY);
        dup2(nothing, read_end);
        close(nothing);
        StdoutSink sink;
        try {
            sink.write_line("readyok");
        } catch (const FatalError& error) {
            message = error.what();
        }
    });
    EXPECT_EQ(message.rfind("Cannot write to output stream!", 0), 0U) << message;
}

// ---------------------------------------------------------------------------
// split_tokens

std::vector<std::string> tokens_of(std::string_view text) {
    std::vector<std::string> tokens;
    for (const std::string_view token : split_tokens(text)) tokens.emplace_back(token);
    return tokens;
}

struct CharacterCase {
    std::string name;
    std::string utf8;
};

class WhiteSpaceTest : public ::testing::TestWithParam<CharacterCase> {};

TEST_P(WhiteSpaceTest, SeparatesTokens) {
    const std::string& space = GetParam().utf8;
    EXPECT_EQ(tokens_of("go" + space + "depth" + space + space + "5"), (Texts{"go", "depth", "5"}));
    EXPECT_EQ(tokens_of(space + "uci" + space), Texts{"uci"});
    EXPECT_EQ(tokens_of(space), Texts{});
}

INSTANTIATE_TEST_SUITE_P(
    UnicodeWhiteSpace, WhiteSpaceTest,
    ::testing::Values(CharacterCase{"Tab", "\t"}, CharacterCase{"LineFeed", "\n"}, CharacterCase{"VerticalTab", "\v"},
                      CharacterCase{"FormFeed", "\f"}, CharacterCase{"CarriageReturn", "\r"},
                      CharacterCase{"Space", " "}, CharacterCase{"NextLine", "\xc2\x85"},
                      CharacterCase{"NoBreakSpace", "\xc2\xa0"}, CharacterCase{"OghamSpaceMark", "\xe1\x9a\x80"},
                      CharacterCase{"EnQuad", "\xe2\x80\x80"}, CharacterCase{"EmQuad", "\xe2\x80\x81"},
                      CharacterCase{"EnSpace", "\xe2\x80\x82"}, CharacterCase{"EmSpace", "\xe2\x80\x83"},
                      CharacterCase{"ThreePerEmSpace", "\xe2\x80\x84"}, CharacterCase{"FourPerEmSpace", "\xe2\x80\x85"},
                      CharacterCase{"SixPerEmSpace", "\xe2\x80\x86"}, CharacterCase{"FigureSpace", "\xe2\x80\x87"},
                      CharacterCase{"PunctuationSpace", "\xe2\x80\x88"}, CharacterCase{"ThinSpace", "\xe2\x80\x89"},
                      CharacterCase{"HairSpace", "\xe2\x80\x8a"}, CharacterCase{"LineSeparator", "\xe2\x80\xa8"},
                      CharacterCase{"ParagraphSeparator", "\xe2\x80\xa9"},
                      CharacterCase{"NarrowNoBreakSpace", "\xe2\x80\xaf"},
                      CharacterCase{"MediumMathematicalSpace", "\xe2\x81\x9f"},
                      CharacterCase{"IdeographicSpace", "\xe3\x80\x80"}),
    case_name);

class NonWhiteSpaceTest : public ::testing::TestWithParam<CharacterCase> {};

TEST_P(NonWhiteSpaceTest, StaysInsideToken) {
    const std::string& c = GetParam().utf8;
    EXPECT_EQ(tokens_of("setoption name a" + c + "b value " + c),
              (Texts{"setoption", "name", "a" + c + "b", "value", c}));
}

// Neighbours of the white-space code points, characters that merely look blank,
// and characters whose later bytes equal a white-space byte or lead.
INSTANTIATE_TEST_SUITE_P(
    Characters, NonWhiteSpaceTest,
    ::testing::Values(CharacterCase{"Nul", "\0"s}, CharacterCase{"Backspace", "\b"}, CharacterCase{"ShiftOut", "\x0e"},
                      CharacterCase{"FileSeparator", "\x1c"}, CharacterCase{"UnitSeparator", "\x1f"},
                      CharacterCase{"Delete", "\x7f"}, CharacterCase{"PaddingCharacter", "\xc2\x80"},
                      CharacterCase{"U0084", "\xc2\x84"}, CharacterCase{"U0086", "\xc2\x86"},
                      CharacterCase{"InvertedExclamation", "\xc2\xa1"}, CharacterCase{"GDotAbove", "\xc4\xa0"},
                      CharacterCase{"AOgonek", "\xc4\x85"}, CharacterCase{"EAcute", "\xc3\xa9"},
                      CharacterCase{"U167F", "\xe1\x99\xbf"}, CharacterCase{"U1681", "\xe1\x9a\x81"},
                      CharacterCase{"MongolianVowelSeparator", "\xe1\xa0\x8e"},
                      CharacterCase{"ZeroWidthSpace", "\xe2\x80\x8b"}, CharacterCase{"U2027", "\xe2\x80\xa7"},
                      CharacterCase{"LeftToRightEmbedding", "\xe2\x80\xaa"}, CharacterCase{"U205E", "\xe2\x81\x9e"},
                      CharacterCase{"WordJoiner", "\xe2\x81\xa0"}, CharacterCase{"IdeographicComma", "\xe3\x80\x81"},
                      CharacterCase{"U3080", "\xe3\x82\x80"}, CharacterCase{"BlackKnight", "\xe2\x99\x9e"},
                      CharacterCase{"ByteOrderMark", "\xef\xbb\xbf"}, CharacterCase{"Fish", "\xf0\x9f\x90\x9f"},
                      CharacterCase{"U20000", "\xf0\xa0\x80\x80"}),
    case_name);

TEST(SplitTokensTest, TruncatedSequenceAtEndStaysInToken) {
    EXPECT_EQ(tokens_of("uci \xe2\x80"), (Texts{"uci", "\xe2\x80"}));
    EXPECT_EQ(tokens_of("uci\xc2"), Texts{"uci\xc2"});
    EXPECT_EQ(tokens_of("\xe3\x80"), Texts{"\xe3\x80"});
}

// ---------------------------------------------------------------------------
// is_valid_utf8

struct Utf8Case {
    std::string name;
    std::string bytes;
    bool valid;
};

class Utf8CheckTest : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8CheckTest, AcceptsOnlyWellFormedText) {
    const Utf8Case& c = GetParam();
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid);
    EXPECT_EQ(is_valid_utf8("uci " + c.bytes + " x\n"), c.valid);
}

// Each boundary of the encoding on both sides: the shortest and longest form
// of every length, the surrogates around them and the end of Unicode.
INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8CheckTest,
    ::testing::Values(
        Utf8Case{"Empty", "", true}, Utf8Case{"Ascii", "isready", true}, Utf8Case{"NulAndDelete", "\0\x7f"s, true},
        Utf8Case{"TwoBytesLowest", "\xc2\x80", true}, Utf8Case{"TwoBytesHighest", "\xdf\xbf", true},
        Utf8Case{"ThreeBytesLowest", "\xe0\xa0\x80", true}, Utf8Case{"BeforeSurrogates", "\xed\x9f\xbf", true},
        Utf8Case{"AfterSurrogates", "\xee\x80\x80", true}, Utf8Case{"ThreeBytesHighest", "\xef\xbf\xbf", true},
        Utf8Case{"FourBytesLowest", "\xf0\x90\x80\x80", true}, Utf8Case{"LastCodePoint", "\xf4\x8f\xbf\xbf", true},
        Utf8Case{"LoneContinuation", "\x80", false}, Utf8Case{"ByteC0", "\xc0\x80", false},
        Utf8Case{"ByteC1", "\xc1\xbf", false}, Utf8Case{"OverlongThreeBytes", "\xe0\x9f\xbf", false},
        Utf8Case{"FirstSurrogate", "\xed\xa0\x80", false}, Utf8Case{"LastSurrogate", "\xed\xbf\xbf", false},
        Utf8Case{"OverlongFourBytes", "\xf0\x8f\xbf\xbf", false}, Utf8Case{"BeyondUnicode", "\xf4\x90\x80\x80", false},
        Utf8Case{"ByteF5", "\xf5\x80\x80\x80", false}, Utf8Case{"ByteFF", "\xff", false},
        Utf8Case{"Truncated", "\xe3\x80", false}, Utf8Case{"ContinuationMissing", "\xe3\x80x", false},
        Utf8Case{"Latin1", "caf\xe9", false}),
    case_name);

// ---------------------------------------------------------------------------
// Engine::dispatch

class DispatchTest : public ::testing::Test {
protected:
    explicit DispatchTest(EngineOptions options = {})
        : engine_(std::move(options), std::make_unique<testing::RecordingSink>()),
          writes_(static_cast<testing::RecordingSink&>(engine_.searcher().output).lines) {}

    // The texts written for one command, one entry per write_line call.
    Texts answer(std::string_view command) {
        writes_.clear();
        engine_.dispatch(command);
        return writes_;
    }
    std::string fen() const { return to_fen(engine_.game().board); }

    Engine engine_;
    Texts& writes_;
};

struct DispatchCase {
    std::string name;
    std::string command;
    Texts writes;
};

class DispatchAnswerTest : public DispatchTest, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(DispatchAnswerTest, WritesExactly) { EXPECT_EQ(answer(GetParam().command), GetParam().writes); }

const Texts IDENTIFIED = {std::string(IDENTIFICATION)};  // one write of four lines

INSTANTIATE_TEST_SUITE_P(
    Commands, DispatchAnswerTest,
    ::testing::Values(DispatchCase{"Uci", "uci\n", IDENTIFIED}, DispatchCase{"UciCapitals", "UCI\n", IDENTIFIED},
                      DispatchCase{"UciMixedCase", "uCi", IDENTIFIED},
                      DispatchCase{"IsReadyMixedCase", "IsReady\r\n", {"readyok"}},
                      DispatchCase{"QuitCapitals", "QUIT\n", {"quitting"}}, DispatchCase{"StopCapitals", "Stop\n", {}},
                      DispatchCase{"Empty", "", {"Empty command"}}, DispatchCase{"CrLf", "\r\n", {"Empty command"}},
                      DispatchCase{"UnicodeBlanks", " \xe2\x80\xa8\xc2\x85\t\n", {"Empty command"}},
                      DispatchCase{"UnsupportedKeepsRawLine", "foo\r\n", {"Unsupported command: foo\r\n"}},
                      DispatchCase{"UnsupportedWithoutTerminator", " foo  bar", {"Unsupported command:  foo  bar"}},
                      // Lower-casing cannot reach a command word from a non-ASCII letter.
                      DispatchCase{"CapitalIWithDot", "UC\xc4\xb0\n", {"Unsupported command: UC\xc4\xb0\n"}},
                      DispatchCase{"DotlessI", "\xc4\xb1sready\n", {"Unsupported command: \xc4\xb1sready\n"}},
                      DispatchCase{"FullwidthLetters",
                                   "\xef\xbc\xb5\xef\xbc\xa3\xef\xbc\xa9\n",
                                   {"Unsupported command: \xef\xbc\xb5\xef\xbc\xa3\xef\xbc\xa9\n"}},
                      DispatchCase{"CommandWordWithNul", "uci\0\n"s, {"Unsupported command: uci\0\n"s}}),
    case_name);

TEST_F(DispatchTest, OnlyTheCommandWordIgnoresLetterCase) {
    const std::string start = fen();
    EXPECT_EQ(answer("position startpos moves e2e4\n"), Texts{});
    const std::string after_e4 = fen();
    ASSERT_NE(after_e4, start);

    EXPECT_EQ(answer("position STARTPOS\n"), Texts{});
    EXPECT_EQ(fen(), after_e4);
    EXPECT_EQ(engine_.game().moves.size(), 1U);

    EXPECT_EQ(answer("POSITION startpos\n"), Texts{});
    EXPECT_EQ(fen(), start);
    EXPECT_TRUE(engine_.game().moves.empty());
}

struct SetoptionCase {
    std::string name;
    std::string command;
    Texts writes;
    int multi_pv;  // after the command, starting from 1
};

class DispatchSetoptionTest : public DispatchTest, public ::testing::WithParamInterface<SetoptionCase> {};

TEST_P(DispatchSetoptionTest, ChangesOnlyMultiPv) {
    const SetoptionCase& c = GetParam();
    EXPECT_EQ(answer(c.command), c.writes);
    EXPECT_EQ(int{engine_.options().multi_pv}, c.multi_pv);
    EXPECT_FALSE(engine_.options().log_path.has_value());
}

const std::string EXPECTING = "Expecting 4 arguments, in form name XXXXX value YYY, got: ";

INSTANTIATE_TEST_SUITE_P(
    Commands, DispatchSetoptionTest,
    ::testing::Values(
        SetoptionCase{"Three", "setoption name MultiPV value 3\n", {}, 3},
        SetoptionCase{"CommandWordCapitals", "SetOption name MultiPV value 3\r\n", {}, 3},
        SetoptionCase{"UnicodeSeparators",
                      "setoption\xc2\xa0name\xe3\x80\x80MultiPV value\xe2\x80\x89"
                      "7",
                      {},
                      7},
        SetoptionCase{"Plus", "setoption name MultiPV value +4", {}, 4},
        SetoptionCase{"Zero", "setoption name MultiPV value 0", {}, 0},
        SetoptionCase{"Largest", "setoption name MultiPV value 255", {}, 255},
        SetoptionCase{"TooLarge", "setoption name MultiPV value 256", {}, 1},
        SetoptionCase{"Negative", "setoption name MultiPV value -2", {}, 1},
        SetoptionCase{"DoublePlus", "setoption name MultiPV value ++2", {}, 1},
        SetoptionCase{"TrailingLetter", "setoption name MultiPV value 2x", {}, 1},
        SetoptionCase{"LowerCaseName", "setoption name multipv value 3", {}, 1},
        SetoptionCase{"OtherOption", "setoption name Hash value 64", {}, 1},
        SetoptionCase{
            "SixTokensStillSets", "setoption name MultiPV value 3 4", {EXPECTING + "name MultiPV value 3 4"}, 3},
        SetoptionCase{
            "KeywordsInCapitalsStillSet", "setoption NAME MultiPV VALUE 5", {EXPECTING + "NAME MultiPV VALUE 5"}, 5},
        SetoptionCase{"FourTokensSetNothing", "setoption name MultiPV 3", {EXPECTING + "name MultiPV 3"}, 1},
        SetoptionCase{"ValueFirst", "setoption value 3 name MultiPV", {EXPECTING + "value 3 name MultiPV"}, 1},
        SetoptionCase{"Alone", "setoption\r\n", {EXPECTING}, 1}),
    case_name);

// ---------------------------------------------------------------------------
// The command log

TEST(DispatchLogTest, HoldsEveryCommandByteForByte) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("kestrune-engine-log-" + std::to_string(getpid()))).string();
    {
        std::ofstream(path) << "stale";
        EngineOptions options;
        options.log_path = path;
        Engine engine(options, std::make_unique<testing::RecordingSink>());
        EXPECT_EQ(read_file(path), "");
        const Texts commands = {"uci\r\n",     "",       "\n",     "foo\0bar\n"s, "\xe3\x80\x80isready\n",
                                "setoption\n", "quit\n", "isready"};
        std::string expected;
        for (const std::string& command : commands) {
            engine.dispatch(command);
            expected += command;
            // Written straight through: the file is complete after every command.
            EXPECT_EQ(read_file(path), expected);
        }
    }
    std::filesystem::remove(path);
}

TEST(DispatchLogTest, UncreatableLogLeavesAWorkingEngine) {
    EngineOptions options;
    options.log_path = "/nonexistent-dir/x.log";
    auto sink = std::make_unique<testing::RecordingSink>();
    const Texts& writes = sink->lines;
    Engine engine(options, std::move(sink));
    engine.dispatch("isready\n");
    EXPECT_EQ(writes, Texts{"readyok"});
}

TEST(DispatchLogTest, FailedLogWriteIsFatalBeforeTheCommandRuns) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no writable /dev/full on this system (macOS has none): no log that fails every write";
    }
    EngineOptions options;
    options.log_path = "/dev/full";
    auto sink = std::make_unique<testing::RecordingSink>();
    const Texts& writes = sink->lines;
    Engine engine(options, std::move(sink));
    try {
        engine.dispatch("isready\n");
        ADD_FAILURE() << "no error";
    } catch (const FatalError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot write to log file!: No space left on device");
    }
    EXPECT_EQ(writes, Texts{});
}

}  // namespace
}  // namespace kestrune
