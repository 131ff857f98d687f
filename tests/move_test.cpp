#include "move.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "board_state.h"
#include "fen.h"
#include "test_support.h"

namespace kestrune {
namespace {

struct TextCase {
    std::uint16_t bits;
    const char* text;
};

TEST(MoveText, ToUci) {
    const TextCase cases[] = {
        {0x131C, "e2e4"},   // double push
        {0xBD3C, "e7e8q"},  // queen promotion
        {0xCC39, "a7b8n"},  // capturing knight promotion
        {0x2106, "e1g1"},  {0x3102, "e1c1"},  {0x2F3E, "e8g8"},  {0x3F3A, "e8c8"},
        {0x592B, "e5d6"},  // en passant: the pawn's diagonal step
        {0x4000, "a1a1"},  // square 0 everywhere
        {0x0FFF, "h8h8"},  // square 63 everywhere
        {0x8C38, "a7a8n"}, {0x9C38, "a7a8b"}, {0xAC38, "a7a8r"}, {0xBC38, "a7a8q"},
        {0xC2C2, "d2c1n"}, {0xD2C2, "d2c1b"}, {0xE2C2, "d2c1r"}, {0xF2C2, "d2c1q"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(to_uci(Move(c.bits)), c.text) << std::hex << c.bits;
    }
}

constexpr const char* CASTLING = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
constexpr const char* CASTLING_BLACK = "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1";
constexpr const char* NO_RIGHTS = "r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1";
constexpr const char* PROMOTION = "3r3k/4P3/8/8/8/8/8/K7 w - - 0 1";
constexpr const char* BLOCKED_PROMOTION = "3rr2k/4P3/8/8/8/8/8/K7 w - - 0 1";
constexpr const char* EN_PASSANT = "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 2";
constexpr const char* CAPTURE = "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2";

struct ParseCase {
    const char* fen;
    const char* text;
    std::optional<std::uint16_t> move;  // nothing: the parse fails
    const char* message;                // for failures: the error text, "" when silent
};

class ParseUci : public ::testing::TestWithParam<ParseCase> {};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.text << (c.move ? " reads" : " fails"); }

TEST_P(ParseUci, ReadsAgainstThePosition) {
    const ParseCase& c = GetParam();
    const FenResult fen = from_fen(c.fen);
    ASSERT_TRUE(fen.board) << fen.error;
    const ParsedMove parsed = parse_uci(c.text, *fen.board);
    if (c.move) {
        ASSERT_TRUE(parsed.move) << "message: " << parsed.message;
        EXPECT_EQ(parsed.move->bits, *c.move) << std::hex << parsed.move->bits << " vs " << *c.move;
        EXPECT_EQ(parsed.message, "");
    } else {
        EXPECT_FALSE(parsed.move) << std::hex << parsed.move.value_or(Move()).bits;
        EXPECT_EQ(parsed.message, c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    MoveText, ParseUci,
    ::testing::Values(
        // The kind comes from the generator, not from the text.
        ParseCase{START_FEN.data(), "e2e4", 0x131C, ""},
        ParseCase{START_FEN.data(), "g1f3", Move(6, 21, Quiet).bits, ""},
        ParseCase{CAPTURE, "e4d5", Move(28, 35, Capture).bits, ""}, ParseCase{CASTLING, "e1g1", 0x2106, ""},
        ParseCase{CASTLING, "e1c1", 0x3102, ""}, ParseCase{CASTLING_BLACK, "e8g8", 0x2F3E, ""},
        ParseCase{CASTLING_BLACK, "e8c8", 0x3F3A, ""}, ParseCase{NO_RIGHTS, "e1g1", std::nullopt, ""},
        ParseCase{PROMOTION, "e7e8q", 0xBD3C, ""}, ParseCase{PROMOTION, "e7e8b", Move(52, 60, PromoteBishop).bits, ""},
        ParseCase{PROMOTION, "e7d8q", Move(52, 59, CapturePromoteQueen).bits, ""},
        ParseCase{PROMOTION, "e7d8r", Move(52, 59, CapturePromoteRook).bits, ""},
        ParseCase{BLOCKED_PROMOTION, "e7e8q", std::nullopt, ""},
        ParseCase{EN_PASSANT, "e5d6", Move(36, 43, EnPassant).bits, ""},
        // Only the first four characters count when there are six or more.
        ParseCase{START_FEN.data(), "e2e4xx", 0x131C, ""}, ParseCase{PROMOTION, "e7e8qq", std::nullopt, ""},
        // A promotion needs its letter; other moves must not have one.
        ParseCase{PROMOTION, "e7e8", std::nullopt, ""}, ParseCase{START_FEN.data(), "e2e4q", std::nullopt, ""},
        ParseCase{START_FEN.data(), "e2e5", std::nullopt, ""},
        // Square text off the board must not alias a square on it (i1 would be a2, i2 a3).
        ParseCase{START_FEN.data(), "i1a3", std::nullopt, ""}, ParseCase{START_FEN.data(), "b1i2", std::nullopt, ""},
        ParseCase{START_FEN.data(), "E2E4", std::nullopt, ""},
        ParseCase{START_FEN.data(), "e2e", std::nullopt, "Invalid uci move notation: e2e"},
        ParseCase{START_FEN.data(), "", std::nullopt, "Invalid uci move notation: "},
        ParseCase{PROMOTION, "e7e8Q", std::nullopt, "Invalid promotion piece in UCI notation: e7e8Q"},
        ParseCase{PROMOTION, "e7e8k", std::nullopt, "Invalid promotion piece in UCI notation: e7e8k"},
        ParseCase{START_FEN.data(), "e2e4+", std::nullopt, "Invalid promotion piece in UCI notation: e2e4+"}),
    testing::printed_name);

}  // namespace
}  // namespace kestrune
