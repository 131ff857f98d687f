// The "position", "d" and "go perft" commands, driven through the real binary.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine_process.h"
#include "engine_session.h"

namespace kestrune {
namespace {

using testing::EngineProcess;
using testing::PrintTo;

constexpr std::string_view START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// A fresh engine past its banner.
class Engine {
public:
    Engine() {
        const auto banner = process.read_line();
        EXPECT_EQ(banner.value_or("(no banner)"), testing::BANNER);
    }

    // Sends a line and checks that it wrote nothing before the next "readyok".
    void send_silently(std::string_view line) {
        process.send(line);
        EXPECT_EQ(answer_until_ready(), std::vector<std::string>{}) << "after: " << line;
    }

    // Every line written before "readyok" (which is not included).
    std::vector<std::string> answer_until_ready() { return testing::await_ready(process); }

    // The "d" display: 17 diagram lines and the "Fen: " line, checked to end with an empty line.
    std::vector<std::string> display() {
        process.send("d");
        std::vector<std::string> lines = process.read_until("Fen: ");
        EXPECT_EQ(process.read_line().value_or("(nothing)"), "") << "the display ends with an empty line";
        return lines;
    }

    std::string fen() { return display().back().substr(5); }

    EngineProcess process;
};

TEST(DisplayCommand, StartPosition) {
    Engine engine;
    const std::string frame = "+---+---+---+---+---+---+---+---+";
    const std::string empty = "|   |   |   |   |   |   |   |   |";
    const std::vector<std::string> expected{frame, "| r | n | b | q | k | b | n | r |",
                                            frame, "| p | p | p | p | p | p | p | p |",
                                            frame, empty,
                                            frame, empty,
                                            frame, empty,
                                            frame, empty,
                                            frame, "| P | P | P | P | P | P | P | P |",
                                            frame, "| R | N | B | Q | K | B | N | R |",
                                            frame, "Fen: " + std::string(START)};
    EXPECT_EQ(engine.display(), expected);
    EXPECT_EQ(engine.answer_until_ready(), std::vector<std::string>{});
}

struct PositionCase {
    const char* name;
    std::vector<std::string> commands;
    std::string fen;
};

class PositionCommand : public ::testing::TestWithParam<PositionCase> {};

TEST_P(PositionCommand, SetsTheGame) {
    Engine engine;
    for (const std::string& command : GetParam().commands) {
        engine.send_silently(command);
    }
    EXPECT_EQ(engine.fen(), GetParam().fen);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, PositionCommand,
    ::testing::Values(PositionCase{"MovesOnlyContinuesTheGame",
                                   {"position startpos moves e2e4 e7e5", "position moves g1f3"},
                                   "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 2"},
                      PositionCase{"StartposWithEmptyMoveList",
                                   {"position startpos moves e2e4", "position startpos moves"},
                                   std::string(START)},
                      PositionCase{"FenWithMoves",
                                   {"position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 moves e2e4"},
                                   "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"},
                      PositionCase{"CastlingBothSides",
                                   {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves e1g1 e8c8"},
                                   "2kr3r/8/8/8/8/8/8/R4RK1 w - - 2 2"},
                      PositionCase{"EnPassant",
                                   {"position startpos moves e2e4 a7a6 e4e5 d7d5 e5d6"},
                                   "rnbqkbnr/1pp1pppp/p2P4/8/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 3"},
                      PositionCase{"UnderPromotion",
                                   {"position fen 4k3/1P6/8/8/8/8/8/4K3 w - - 0 1 moves b7b8n"},
                                   "1N2k3/8/8/8/8/8/8/4K3 b - - 0 1"},
                      PositionCase{"FenWithoutTextChangesNothing",
                                   {"position startpos moves d2d4", "position fen"},
                                   "rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1"},
                      PositionCase{"CapitalisedStartposChangesNothing",
                                   {"position startpos moves d2d4", "position STARTPOS"},
                                   "rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1"}),
    testing::case_name);

// A '*' in the expected text stands for any reason.
bool matches(std::string_view line, std::string_view pattern) {
    const auto star = pattern.find('*');
    if (star == std::string_view::npos) {
        return line == pattern;
    }
    const std::string_view head = pattern.substr(0, star);
    const std::string_view tail = pattern.substr(star + 1);
    return line.size() > head.size() + tail.size() && line.starts_with(head) && line.ends_with(tail);
}

struct RejectedCase {
    const char* name;
    const char* command;
    const char* message;
};

class RejectedPosition : public ::testing::TestWithParam<RejectedCase> {};

void PrintTo(const RejectedCase& c, std::ostream* os) { *os << c.command; }

TEST_P(RejectedPosition, WritesOneLineAndKeepsTheGame) {
    Engine engine;
    engine.send_silently("position startpos moves d2d4 d7d5");
    const std::vector<std::string> before = engine.display();

    engine.process.send(GetParam().command);
    const std::vector<std::string> answer = engine.answer_until_ready();
    ASSERT_EQ(answer.size(), 1U) << GetParam().command;
    EXPECT_TRUE(matches(answer[0], GetParam().message)) << answer[0];

    EXPECT_EQ(engine.display(), before);
    // The moves of the old game are still there to continue from.
    engine.send_silently("position moves c2c4");
    EXPECT_EQ(engine.fen(), "rnbqkbnr/ppp1pppp/8/3p4/2PP4/8/PP2PPPP/RNBQKBNR b KQkq c3 0 2");
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RejectedPosition,
    ::testing::Values(RejectedCase{"BadSide", "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1",
                                   "Allowed sides are 'w' and 'b'."},
                      RejectedCase{"ShortPlacement", "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1",
                                   "info string Invalid FEN: *; position unchanged"},
                      RejectedCase{"MissingKing", "position fen 8/8/8/8/8/8/8/K7 w - - 0 1",
                                   "info string Invalid FEN: *; position unchanged"},
                      RejectedCase{"TooFewFields", "position fen 8/8/8/8/8/8/8/K6k w",
                                   "info string Invalid FEN: *; position unchanged"},
                      RejectedCase{"IllegalMoveAfterValidFen", "position fen 4k3/8/8/8/8/8/8/4K3 w - - 0 1 moves e1e3",
                                   "info string Illegal move e1e3 in the position command; position unchanged"},
                      RejectedCase{"IllegalMoveLateInTheList", "position startpos moves e2e4 e7e5 e1e3",
                                   "info string Illegal move e1e3 in the position command; position unchanged"},
                      RejectedCase{"IllegalMoveContinuingTheGame", "position moves c2c4 c2c4",
                                   "info string Illegal move c2c4 in the position command; position unchanged"},
                      RejectedCase{"SquareOffTheBoard", "position startpos moves i1a3",
                                   "info string Illegal move i1a3 in the position command; position unchanged"},
                      RejectedCase{"PromotionWithoutLetter", "position fen 4k3/1P6/8/8/8/8/8/4K3 w - - 0 1 moves b7b8",
                                   "info string Illegal move b7b8 in the position command; position unchanged"},
                      RejectedCase{"ShortMoveText", "position startpos moves e2e4 e7e",
                                   "Invalid uci move notation: e7e"},
                      RejectedCase{"BadPromotionLetter", "position fen 4k3/1P6/8/8/8/8/8/4K3 w - - 0 1 moves b7b8k",
                                   "Invalid promotion piece in UCI notation: b7b8k"}),
    testing::case_name);

std::vector<std::string> listing(std::string_view moves, std::string_view count) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < moves.size();) {
        const std::size_t space = std::min(moves.find(' ', start), moves.size());
        lines.push_back(std::string(moves.substr(start, space - start)) + ": " + std::string(count));
        start = space + 1;
    }
    lines.emplace_back();  // the listing is followed by an empty line
    return lines;
}

constexpr std::string_view WHITE_FIRST_MOVES =
    "b1a3 b1c3 g1f3 g1h3 a2a3 b2b3 c2c3 d2d3 e2e3 f2f3 g2g3 h2h3 a2a4 b2b4 c2c4 d2d4 e2e4 f2f4 g2g4 h2h4";
constexpr std::string_view BLACK_FIRST_MOVES =
    "b8a6 b8c6 g8f6 g8h6 a7a6 b7b6 c7c6 d7d6 e7e6 f7f6 g7g6 h7h6 a7a5 b7b5 c7c5 d7d5 e7e5 f7f5 g7g5 h7h5";

struct PerftCase {
    const char* name;
    const char* position;
    const char* go;
    std::vector<std::string> answer;
};

class GoPerft : public ::testing::TestWithParam<PerftCase> {};

void PrintTo(const PerftCase& c, std::ostream* os) { *os << c.go; }

TEST_P(GoPerft, Answers) {
    Engine engine;
    engine.send_silently(GetParam().position);
    engine.process.send(GetParam().go);
    EXPECT_EQ(engine.answer_until_ready(), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, GoPerft,
    ::testing::Values(PerftCase{"StartDepthOne", "position startpos", "go perft 1", listing(WHITE_FIRST_MOVES, "1")},
                      PerftCase{"StartDepthTwo", "position startpos", "go perft 2", listing(WHITE_FIRST_MOVES, "20")},
                      PerftCase{"PerftKeywordWinsAnywhere", "position startpos", "go depth 3 perft 2",
                                listing(WHITE_FIRST_MOVES, "20")},
                      PerftCase{"CurrentPositionAfterMoves", "position startpos moves e2e4", "go perft 1",
                                listing(BLACK_FIRST_MOVES, "1")},
                      PerftCase{"Checkmated", "position startpos moves f2f3 e7e5 g2g4 d8h4", "go perft 3", {""}},
                      PerftCase{"Stalemated", "position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "go perft 1", {""}},
                      PerftCase{"PromotionsAndCastling", "position fen 4k3/1P6/8/8/8/8/8/4K2R w K - 0 1", "go perft 1",
                                listing("e1d1 e1f1 e1d2 e1e2 e1f2 e1g1 h1f1 h1g1 h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 h1h8 "
                                        "b7b8q b7b8n b7b8r b7b8b",
                                        "1")},
                      PerftCase{"DepthZero",
                                "position startpos",
                                "go perft 0",
                                {"info string perft depth 0 lists nothing: give a depth of 1 or more"}},
                      PerftCase{"DepthBeyondHistory",
                                "position startpos",
                                "go perft 42",
                                {"info string perft depth 42 is too deep: at most 41 plies can be counted"}},
                      PerftCase{"LargestReadableDepth",
                                "position startpos",
                                "go perft 255",
                                {"info string perft depth 255 is too deep: at most 41 plies can be counted"}}),
    testing::case_name);

TEST(GoPerftCommand, UnreadableDepthMeansSearch) {
    Engine engine;
    engine.process.send("go perft x depth 1");
    const std::vector<std::string> lines = engine.process.read_until("bestmove ");
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].starts_with("info ")) << lines[i];
    }
    EXPECT_EQ(engine.answer_until_ready(), std::vector<std::string>{});
}

}  // namespace
}  // namespace kestrune
