// The input side in-process: the signals and their waits, line splitting, and
// the input loop's forwarding and its acting at once on "stop", "quit",
// "ponderhit" and bad input.
#include "input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace kestrune {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

TEST(SearchSignals, RaiseLowerAndWaitAcrossThreads) {
    SearchSignals signals;
    EXPECT_FALSE(signals.raised(Signal::Stop));
    signals.raise(Signal::PonderHit);
    EXPECT_TRUE(signals.raised(Signal::PonderHit));
    EXPECT_FALSE(signals.raised(Signal::Stop));
    signals.wait_for_either(Signal::Stop, Signal::PonderHit);  // already raised: returns
    signals.lower_all();
    EXPECT_FALSE(signals.raised(Signal::PonderHit));

    std::thread raiser([&] {
        std::this_thread::sleep_for(20ms);
        signals.raise(Signal::PonderHit);  // not what the waiter waits for
        std::this_thread::sleep_for(20ms);
        signals.raise(Signal::Stop);
    });
    signals.wait_for(Signal::Stop);
    EXPECT_TRUE(signals.raised(Signal::Stop));
    raiser.join();
}

// A stop read after a line belongs to that line's command, one read before it does not.
TEST(InputSignals, ResetKeepsOnlySignalsReadAfterTheLine) {
    InputSignals shared;
    shared.raise_stop(5);
    shared.raise_ponderhit(3);
    shared.reset_for(4);
    EXPECT_TRUE(shared.signals.raised(Signal::Stop));
    EXPECT_FALSE(shared.signals.raised(Signal::PonderHit));
    shared.reset_for(6);
    EXPECT_FALSE(shared.signals.raised(Signal::Stop));
    shared.reset_for(2);
    EXPECT_TRUE(shared.signals.raised(Signal::PonderHit));
}

// Serves the bytes in the given chunks, then the end (or an error).
ReadFunction chunks(std::vector<std::string> parts, bool error_at_end = false) {
    auto next = std::make_shared<std::size_t>(0);
    auto owned = std::make_shared<std::vector<std::string>>(std::move(parts));
    return [=](char* buffer, std::size_t size) -> std::ptrdiff_t {
        if (*next == owned->size()) return error_at_end ? -1 : 0;
        std::string& part = (*owned)[*next];
        const std::size_t n = std::min(size, part.size());
        std::copy_n(part.data(), n, buffer);
        part.erase(0, n);
        if (part.empty()) ++*next;
        return static_cast<std::ptrdiff_t>(n);
    };
}

TEST(LineReader, SplitsAtLineFeedsWhateverTheChunks) {
    LineReader reader(chunks({"uc", "i\r\nis", "ready\n\na\0b\nlast"s}));
    std::vector<std::string> lines;
    std::string line;
    while (reader.next(line) == LineReader::Status::Line) lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"uci\r\n", "isready\n", "\n", "a\0b\n"s, "last"}));
    EXPECT_EQ(reader.next(line), LineReader::Status::End);

    LineReader failing(chunks({"uci\n"}, true));
    EXPECT_EQ(failing.next(line), LineReader::Status::Line);
    EXPECT_EQ(failing.next(line), LineReader::Status::Error);
}

struct LoopCase {
    std::string name;
    std::string input;
    InputOptions options;
    InputEnd end;
    std::vector<std::string> forwarded;
    std::uint64_t last_stop_line;
    std::uint64_t last_ponderhit_line;
};

class InputLoop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(InputLoop, ForwardsAndActsAtOnce) {
    const LoopCase& c = GetParam();
    Channel channel;
    InputSignals shared;
    LineReader reader(chunks({c.input}));
    EXPECT_EQ(run_input_loop(reader, channel, shared, c.options), c.end);
    channel.close(true);
    std::vector<std::string> forwarded;
    while (const auto line = channel.receive()) forwarded.push_back(line->text);
    EXPECT_EQ(forwarded, c.forwarded);
    EXPECT_EQ(shared.last_stop_line.load(), c.last_stop_line);
    EXPECT_EQ(shared.last_ponderhit_line.load(), c.last_ponderhit_line);
}

constexpr std::uint64_t ALL = UINT64_MAX;

INSTANTIATE_TEST_SUITE_P(
    Cases, InputLoop,
    ::testing::Values(
        LoopCase{"EndOfInputStopsEverything", "uci\ngo\n", {}, InputEnd::EndOfInput, {"uci\n", "go\n"}, ALL, 0},
        LoopCase{"StopIsForwardedToo",
                 "go\nstop\nisready\n",
                 {},
                 InputEnd::EndOfInput,
                 {"go\n", "stop\n", "isready\n"},
                 ALL,
                 0},
        LoopCase{"QuitIsNotForwarded", "go\nquit\nuci\n", {}, InputEnd::Quit, {"go\n"}, ALL, 0},
        LoopCase{"BadByteEndsLikeTheEnd", "go\nuci \xff\nisready\n", {}, InputEnd::EndOfInput, {"go\n"}, ALL, 0},
        LoopCase{"PonderhitIgnoredUnlessAsked",
                 "go ponder\nponderhit\n",
                 {},
                 InputEnd::EndOfInput,
                 {"go ponder\n", "ponderhit\n"},
                 ALL,
                 0},
        LoopCase{"PonderhitActedOnWhenAsked",
                 "go ponder\nponderhit\nisready\n",
                 {true},
                 InputEnd::EndOfInput,
                 {"go ponder\n", "ponderhit\n", "isready\n"},
                 ALL,
                 2}),
    testing::case_name);

// Stops read during the loop carry their line numbers (the end then raises all).
TEST(InputLoop, StopCarriesItsLineNumberUntilTheEnd) {
    Channel channel;
    InputSignals shared;
    // The reader reports an error after the lines, which raises nothing more.
    LineReader reader(chunks({"go\nisready\nstop\n"}, true));
    EXPECT_EQ(run_input_loop(reader, channel, shared, {}), InputEnd::ReadFailure);
    EXPECT_EQ(shared.last_stop_line.load(), 3U);
    EXPECT_TRUE(shared.signals.raised(Signal::Stop));
}

}  // namespace
}  // namespace kestrune
