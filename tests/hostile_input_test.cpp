// Hostile input through the real binary: the engine must keep answering
// correctly whatever arrives on its standard input. The long games and lines
// of megabytes are in hostile_input_slow_test.cpp.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine_process.h"
#include "engine_session.h"
#include "fen.h"
#include "hostile_input.h"

namespace {

using kestrune::testing::displayed_fen;
using kestrune::testing::EngineProcess;
using kestrune::testing::expect_banner;
using kestrune::testing::expect_clean_quit;
using kestrune::testing::is_legal;

TEST(HostileInput, NulBytesAreOrdinaryCharacters) {
    EngineProcess engine;
    expect_banner(engine);
    const std::string nuls("\0\0\0", 3);
    engine.send(nuls);
    EXPECT_EQ(engine.read_line(), std::optional<std::string>("Unsupported command: " + nuls));
    EXPECT_EQ(engine.read_line(), std::optional<std::string>(""));

    engine.send(std::string("isready\0", 8));
    EXPECT_EQ(engine.read_line(), std::optional<std::string>("Unsupported command: " + std::string("isready\0", 8)));
    EXPECT_EQ(engine.read_line(), std::optional<std::string>(""));

    engine.send(std::string("position startpos moves e2e4\0", 29));
    const auto error = engine.read_line();
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->starts_with("Invalid promotion piece in UCI notation: e2e4")) << *error;
    EXPECT_EQ(displayed_fen(engine), std::string(kestrune::START_FEN));

    // The NUL before the first line end does not end the line or the input.
    engine.send_raw(std::string("\0isready\nisready\n", 17));
    EXPECT_TRUE(engine.read_line()->starts_with("Unsupported command: "));
    EXPECT_EQ(engine.read_line(), std::optional<std::string>(""));
    EXPECT_EQ(engine.read_line(), std::optional<std::string>("readyok"));
    expect_clean_quit(engine);
}

TEST(HostileInput, ThousandsOfCommandsSentWithoutWaitingAreAnsweredInOrder) {
#ifdef KESTRUNE_SANITIZED
    constexpr int ROUNDS = 300;
#else
    constexpr int ROUNDS = 2000;
#endif
    EngineProcess engine;
    expect_banner(engine);
    std::string burst;
    for (int i = 0; i < ROUNDS; ++i) {
        // Alternate sides so that each bestmove can be told apart.
        burst += i % 2 == 0 ? "position startpos moves e2e4\n" : "position startpos\n";
        burst += "go depth 1\nisready\nposition startpos moves e2e5\nisready\n";
    }
    engine.send_raw(burst);
    const std::string after_e4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
    for (int i = 0; i < ROUNDS; ++i) {
        const std::vector<std::string> search_lines = engine.read_until("bestmove ");
        ASSERT_EQ(search_lines.size(), 2U) << "round " << i;
        const std::string fen = i % 2 == 0 ? after_e4 : std::string(kestrune::START_FEN);
        ASSERT_TRUE(is_legal(fen, search_lines.back().substr(9))) << "round " << i << ": " << search_lines.back();
        ASSERT_EQ(engine.read_line(), std::optional<std::string>("readyok")) << "round " << i;
        const auto error = engine.read_line();
        ASSERT_TRUE(error && error->find("e2e5") != std::string::npos) << "round " << i;
        ASSERT_EQ(engine.read_line(), std::optional<std::string>("readyok")) << "round " << i;
    }
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), std::optional<int>(0));
}

// Found by fuzzing: kings on neighbouring squares were accepted, and then a
// king could take the other king, after which move generation read past its
// tables.
TEST(HostileFen, TouchingKingsAreRefused) {
    EXPECT_FALSE(kestrune::from_fen("8/8/8/8/kK6/8/8/8 w - - 0 1").board.has_value());
    EXPECT_FALSE(kestrune::from_fen("8/p/253p4/KP5z-1R4/0k/8/4P1P1/8 w - - 0 1").board.has_value());
    EXPECT_TRUE(kestrune::from_fen("8/8/8/8/k1K5/8/8/8 w - - 0 1").board.has_value());

    EngineProcess engine;
    expect_banner(engine);
    engine.send("position fen 8/8/8/8/kK6/8/8/8 w - - 0 1");
    const auto message = engine.read_line();
    ASSERT_TRUE(message.has_value());
    EXPECT_TRUE(message->starts_with("info string ")) << *message;
    EXPECT_EQ(displayed_fen(engine), std::string(kestrune::START_FEN));
    expect_clean_quit(engine);
}

}  // namespace
