// A client nobody on the project wrote: Debian's polyglot adapter speaks UCI
// to the engine and xboard to us. A few moves of a game through it must come
// back legal and in time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>

#include "board_state.h"
#include "engine_process.h"
#include "fen.h"
#include "move.h"
#include "move_generation.h"

namespace {

using kestrune::testing::EngineProcess;
using namespace std::chrono_literals;

constexpr const char* POLYGLOT = "/usr/games/polyglot";

// The next "move ..." reply; lines polyglot writes to report trouble fail the test.
std::optional<std::string> read_move(EngineProcess& polyglot) {
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto line = polyglot.read_line(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()));
        if (!line) break;
        EXPECT_FALSE(line->starts_with("Illegal") || line->starts_with("Error") || line->starts_with("tellusererror") ||
                     line->starts_with("resign"))
            << *line;
        if (line->starts_with("move ")) return line->substr(5);
    }
    return std::nullopt;
}

// Our replies come from a short list of quiet developing moves, else at random
// (fixed seed), always among those that do not allow mate at once, so the
// game lasts.
kestrune::MoveList moves_without_mate_in_one(const kestrune::BoardState& board) {
    kestrune::MoveList safe;
    for (const kestrune::Move m : kestrune::generate_moves(board, false)) {
        const kestrune::BoardState after = kestrune::make_move_unrecorded(board, m);
        bool allows_mate = false;
        for (const kestrune::Move reply : kestrune::generate_moves(after, false)) {
            const kestrune::BoardState next = kestrune::make_move_unrecorded(after, reply);
            allows_mate = allows_mate || (kestrune::in_check(next) && kestrune::count_moves(next) == 0);
        }
        if (!allows_mate) safe.push(m);
    }
    return safe;
}

TEST(Polyglot, PlaysLegalMovesThroughTheXboardAdapter) {
    if (access(POLYGLOT, X_OK) != 0) {
        GTEST_SKIP() << POLYGLOT << " is not installed (Debian package polyglot): no game through a real client";
    }
    EngineProcess polyglot({"-noini", "-ec", KESTRUNE_BINARY}, POLYGLOT);
    polyglot.send("xboard");
    polyglot.send("protover 2");
    // "done=1" comes once the engine has answered "uciok".
    polyglot.read_until("feature done=1", 15s);
    polyglot.send("new");
    polyglot.send("st 1");
    polyglot.send("go");

    kestrune::BoardState board = *kestrune::from_fen(kestrune::START_FEN).board;
    std::mt19937 rng(7);
    for (int round = 0; round < 6; ++round) {
        const auto reply = read_move(polyglot);
        ASSERT_TRUE(reply.has_value()) << "no move from the engine in round " << round;
        const auto engine_move = kestrune::parse_uci(*reply, board).move;
        ASSERT_TRUE(engine_move.has_value()) << "illegal " << *reply << " in " << kestrune::to_fen(board);
        board = kestrune::make_move_unrecorded(board, *engine_move);

        const kestrune::MoveList safe = moves_without_mate_in_one(board);
        ASSERT_FALSE(safe.empty()) << "the game ended early in " << kestrune::to_fen(board);
        kestrune::Move ours = safe[rng() % safe.size()];
        for (const char* wanted : {"e7e5", "b8c6", "g8f6", "f8e7", "e8g8", "d7d6", "h7h6", "a7a6"}) {
            const auto m = kestrune::parse_uci(wanted, board).move;
            if (m && std::find(safe.begin(), safe.end(), *m) != safe.end()) {
                ours = *m;
                break;
            }
        }
        polyglot.send("usermove " + kestrune::to_uci(ours));
        board = kestrune::make_move_unrecorded(board, ours);
    }

    polyglot.send("quit");
    EXPECT_EQ(polyglot.wait_exit(10s), std::optional<int>(0));
}

}  // namespace
