// Long games and lines of megabytes through the real binary: the engine must
// keep answering correctly whatever arrives on its standard input.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "board_state.h"
#include "engine_process.h"
#include "engine_session.h"
#include "fen.h"
#include "hostile_input.h"
#include "move.h"
#include "move_generation.h"

namespace {

using kestrune::testing::displayed_fen;
using kestrune::testing::EngineProcess;
using kestrune::testing::expect_banner;
using kestrune::testing::expect_clean_quit;
using kestrune::testing::is_legal;
using kestrune::testing::search;
using kestrune::testing::SearchAnswer;

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

// White gives up the queen, then both sides shuffle their knights. After 100
// rounds of knight moves from the start the game is over 400 plies long; its
// end sets up, twice, the position after e8f7 and then g1f3.
std::vector<std::string> queen_down_game(int rounds) {
    std::vector<std::string> moves;
    for (int i = 0; i < rounds; ++i) {
        for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8"}) moves.emplace_back(m);
    }
    for (const char* m : {"e2e4", "e7e5", "d1h5", "b8c6", "h5f7", "e8f7"}) moves.emplace_back(m);
    for (int i = 0; i < 2; ++i) {
        for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8"}) moves.emplace_back(m);
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
    EXPECT_EQ(fen, "r1bq1bnr/pppp1kpp/2n5/4p3/4P3/8/PPPP1PPP/RNB1KBNR w KQ - 8 208");
    // Every white move but a third g1f3 stays a queen down.
    const SearchAnswer repeated = search(engine, "go depth 5");
    EXPECT_EQ(repeated.bestmove, "g1f3");
    EXPECT_EQ(centipawns(repeated.last_info), std::optional<int>(0)) << repeated.last_info;

    // The same game extended move by move from its first half.
    const std::size_t half = moves.size() / 2;
    engine.send("position startpos moves" + join_moves(moves, 0, half));
    for (std::size_t i = half; i < moves.size(); ++i) engine.send("position moves " + moves[i]);
    EXPECT_EQ(displayed_fen(engine), fen);
    const SearchAnswer extended = search(engine, "go depth 5");
    EXPECT_EQ(centipawns(extended.last_info), std::optional<int>(0)) << extended.last_info;

    // The same position reached without repetitions is lost.
    engine.send("position startpos moves e2e4 e7e5 d1h5 b8c6 h5f7 e8f7");
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

}  // namespace
