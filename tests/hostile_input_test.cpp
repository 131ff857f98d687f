// Long games and hostile input through the real binary: the engine must keep
// answering correctly whatever arrives on its standard input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "board_state.h"
#include "engine_process.h"
#include "fen.h"
#include "move.h"
#include "engine_session.h"
#include "move_generation.h"

namespace {

using kestrune::testing::EngineProcess;
using namespace std::chrono_literals;

using kestrune::testing::expect_banner;
using kestrune::testing::is_legal;

void sync(EngineProcess& engine) {
    const auto lines = kestrune::testing::await_ready(engine);
    ASSERT_TRUE(lines.empty()) << "unexpected output before readyok: " << lines.front();
}

// The "Fen: " line of the display command.
std::string displayed_fen(EngineProcess& engine) {
    engine.send("d");
    const std::string fen_line = engine.read_until("Fen: ").back();
    const auto blank = engine.read_line();
    EXPECT_EQ(blank, std::optional<std::string>(""));
    return fen_line.substr(5);
}

struct SearchAnswer {
    std::string last_info;
    std::string bestmove;
};

SearchAnswer search(EngineProcess& engine, const std::string& go) {
    engine.send(go);
    const std::vector<std::string> lines = engine.read_until("bestmove ");
    SearchAnswer answer;
    answer.bestmove = lines.back().substr(9);
    for (const std::string& line : lines) {
        if (line.starts_with("info depth ")) answer.last_info = line;
    }
    return answer;
}

// The engine is still alive and leaves cleanly; a sanitizer report would
// have ended it with another status.
void expect_clean_quit(EngineProcess& engine) {
    sync(engine);
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), std::optional<int>(0));
}

std::optional<int> centipawns(const std::string& info) {
    const auto at = info.find(" score cp ");
    if (at == std::string::npos) return std::nullopt;
    return std::stoi(info.substr(at + 10));
}

std::string join_moves(const std::vector<std::string>& moves, std::size_t begin, std::size_t end) {
    std::string text;
    for (std::size_t i = begin; i < end; ++i) text += " " + moves[i];
    return text;
}

// White has given up the queen, and both sides then shuffle; after 100 rounds
// of knight moves from the start the game is over 400 plies long.
std::vector<std::string> queen_down_game(int rounds) {
    std::vector<std::string> moves;
    for (int i = 0; i < rounds; ++i) {
        for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8"}) moves.emplace_back(m);
    }
    for (const char* m : {"e2e4", "e7e5", "d1h5", "b8c6", "h5f7", "e8f7", "b1c3", "a7a6", "c3b1", "a6a5", "b1c3",
                          "h7h6", "c3b1", "h6h5"}) {
        moves.emplace_back(m);
    }
    return moves;
}

TEST(HostileLongGame, RepetitionsInAFourHundredPlyLineAreSeen) {
    const std::vector<std::string> moves = queen_down_game(100);
    ASSERT_GT(moves.size(), 400U);
    EngineProcess engine;
    expect_banner(engine);

    // The whole game in one line.
    engine.send("position startpos moves" + join_moves(moves, 0, moves.size()));
    const std::string fen = displayed_fen(engine);
    EXPECT_EQ(fen, "r1bq1bnr/1ppp1kp1/2n5/p3p2p/4P3/8/PPPP1PPP/RNB1KBNR w KQ - 0 208");
    // Every white move but a third g1f3 or b1c3 stays a queen down.
    const SearchAnswer repeated = search(engine, "go depth 5");
    EXPECT_TRUE(repeated.bestmove == "g1f3" || repeated.bestmove == "b1c3") << repeated.bestmove;
    EXPECT_EQ(centipawns(repeated.last_info), std::optional<int>(0)) << repeated.last_info;

    // The same game extended move by move from its first half.
    const std::size_t half = moves.size() / 2;
    engine.send("position startpos moves" + join_moves(moves, 0, half));
    for (std::size_t i = half; i < moves.size(); ++i) engine.send("position moves " + moves[i]);
    EXPECT_EQ(displayed_fen(engine), fen);
    const SearchAnswer extended = search(engine, "go depth 5");
    EXPECT_EQ(centipawns(extended.last_info), std::optional<int>(0)) << extended.last_info;

    // The same position reached without repetitions is lost.
    engine.send("position startpos moves e2e4 e7e5 d1h5 b8c6 h5f7 e8f7 b1c3 a7a6 c3b1 a6a5 g1f3 h7h6 f3g1 h6h5");
    const std::string short_fen = displayed_fen(engine);
    EXPECT_EQ(short_fen.substr(0, short_fen.find(" w ")), fen.substr(0, fen.find(" w ")));
    const SearchAnswer fresh = search(engine, "go depth 5");
    const auto score = centipawns(fresh.last_info);
    ASSERT_TRUE(score.has_value()) << fresh.last_info;
    EXPECT_LT(*score, -500) << fresh.last_info;
    expect_clean_quit(engine);
}

// A random game of `plies` moves (fixed seed) that never mates or stalemates.
std::vector<std::string> random_game(std::uint32_t seed, int plies, std::string& final_fen) {
    std::mt19937 rng(seed);
    kestrune::BoardState board = *kestrune::from_fen(kestrune::START_FEN).board;
    std::vector<std::string> moves;
    for (int ply = 0; ply < plies; ++ply) {
        std::vector<kestrune::Move> playable;
        for (const kestrune::Move m : kestrune::generate_moves(board, false)) {
            if (kestrune::count_moves(kestrune::make_move_unrecorded(board, m)) > 0) playable.push_back(m);
        }
        if (playable.empty()) break;
        const kestrune::Move m = playable[rng() % playable.size()];
        moves.push_back(kestrune::to_uci(m));
        board = kestrune::make_move_unrecorded(board, m);
    }
    final_fen = kestrune::to_fen(board);
    return moves;
}

TEST(HostileLongGame, SixHundredRandomPliesReadWholeOrMoveByMove) {
    std::string expected_fen;
    const std::vector<std::string> moves = random_game(20240606, 600, expected_fen);
    ASSERT_EQ(moves.size(), 600U);
    EngineProcess engine;
    expect_banner(engine);

    engine.send("position startpos moves" + join_moves(moves, 0, moves.size()));
    EXPECT_EQ(displayed_fen(engine), expected_fen);
    const SearchAnswer whole = search(engine, "go depth 4");
    EXPECT_TRUE(is_legal(expected_fen, whole.bestmove)) << whole.bestmove << " in " << expected_fen;

    // Half in one line, the rest one "position moves" command each, sent without waiting.
    engine.send("ucinewgame");
    engine.send("position startpos moves" + join_moves(moves, 0, 300));
    for (std::size_t i = 300; i < moves.size(); ++i) engine.send("position moves " + moves[i]);
    EXPECT_EQ(displayed_fen(engine), expected_fen);
    const SearchAnswer extended = search(engine, "go depth 4");
    EXPECT_TRUE(is_legal(expected_fen, extended.bestmove)) << extended.bestmove << " in " << expected_fen;
    expect_clean_quit(engine);
}

TEST(HostileInput, MultiMegabyteLinesAreAnswered) {
    EngineProcess engine;
    expect_banner(engine);

    // Four megabytes of blanks around one command.
    engine.send(std::string(4 << 20, ' ') + "isready" + std::string(1000, '\t'));
    EXPECT_EQ(engine.read_line(), std::optional<std::string>("readyok"));

    // Two megabytes of an unknown word come back whole.
    const std::string junk(2 << 20, 'x');
    engine.send(junk);
    EXPECT_EQ(engine.read_line(), std::optional<std::string>("Unsupported command: " + junk));
    EXPECT_EQ(engine.read_line(), std::optional<std::string>(""));

    // A position line of three megabytes whose move list goes wrong at the end.
    std::string moves;
    while (moves.size() < (3U << 20)) moves += " g8f6 g1f3 f6g8 f3g1";
    engine.send("position startpos moves e2e4" + moves + " e4e6");
    const auto error = engine.read_line();
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("e4e6"), std::string::npos) << *error;
    EXPECT_EQ(displayed_fen(engine), std::string(kestrune::START_FEN)) << "a failed position must change nothing";

    engine.send("position startpos moves e2e4" + moves);
    EXPECT_EQ(displayed_fen(engine).substr(0, 45), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR");
    const SearchAnswer answer = search(engine, "go depth 3");
    EXPECT_NE(answer.bestmove, "(none)");
    expect_clean_quit(engine);
}

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
