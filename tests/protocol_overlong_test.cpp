// Lines of megabytes through the real binary: each is read and answered whole.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <string>

#include "engine_process.h"
#include "engine_session.h"
#include "test_support.h"

namespace {

using kestrune::testing::case_name;
using kestrune::testing::EngineProcess;
using kestrune::testing::expect_banner;
using kestrune::testing::Lines;
using kestrune::testing::PrintTo;
using kestrune::testing::read_lines;
using namespace std::chrono_literals;
using namespace std::string_literals;

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
        EXPECT_TRUE(lines[i] == expected[i])
            << "line " << i << " differs; sizes " << lines[i].size() << " and " << expected[i].size();
    }
}

INSTANTIATE_TEST_SUITE_P(Overlong, ProtocolOverlongLineTest,
                         ::testing::Values(OverlongCase{"FourMegabytesOfLetters", "x", 4U << 20, true},
                                           OverlongCase{"MillionTokens", "a ", 1U << 20, true},
                                           OverlongCase{"FourMegabytesOfNuls", "\0"s, 4U << 20, true},
                                           OverlongCase{"MillionWideBlanks", "\xe3\x80\x80 \t", 1U << 20, false}),
                         case_name);

}  // namespace
