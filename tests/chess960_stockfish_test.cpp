// Chess960 move generation checked against an independent generator: the
// divide listings of stockfish in Chess960 mode, move by move, for the hard
// cases of castling and along random games from random arrays, the two
// sides' arrays drawn apart (double Chess960).
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "board_state.h"
#include "divide_listing.h"
#include "engine_process.h"
#include "fen.h"
#include "move.h"
#include "move_generation.h"
#include "perft.h"
#include "random_games.h"
#include "test_support.h"

namespace kestrune {
namespace {

using testing::STOCKFISH;

using testing::differences;
using testing::listing_counts;

std::map<std::string, std::uint64_t> our_counts(const BoardState& board, int depth) {
    std::vector<std::string> lines;
    std::istringstream listing(divide(board, depth));
    for (std::string line; std::getline(listing, line);) {
        lines.push_back(line);
    }
    return listing_counts(lines);
}

// A random Chess960 back rank: bishops on squares of both colours, the king
// between the rooks.
std::array<char, 8> random_array(std::mt19937& random) {
    std::array<char, 8> rank{};
    const auto free_squares = [&] {
        std::vector<int> free;
        for (int f = 0; f < 8; ++f) {
            if (rank[static_cast<std::size_t>(f)] == 0) free.push_back(f);
        }
        return free;
    };
    const auto pick = [&](const std::vector<int>& from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    };
    rank[static_cast<std::size_t>(pick({0, 2, 4, 6}))] = 'B';
    rank[static_cast<std::size_t>(pick({1, 3, 5, 7}))] = 'B';
    rank[static_cast<std::size_t>(pick(free_squares()))] = 'Q';
    rank[static_cast<std::size_t>(pick(free_squares()))] = 'N';
    rank[static_cast<std::size_t>(pick(free_squares()))] = 'N';
    const std::vector<int> last = free_squares();
    rank[static_cast<std::size_t>(last[0])] = 'R';
    rank[static_cast<std::size_t>(last[1])] = 'K';
    rank[static_cast<std::size_t>(last[2])] = 'R';
    return rank;
}

std::string castling_letters(const std::array<char, 8>& rank, bool white) {
    std::string letters;
    for (int f = 7; f >= 0; --f) {
        if (rank[static_cast<std::size_t>(f)] == 'R') {
            letters += static_cast<char>((white ? 'A' : 'a') + f);
        }
    }
    return letters;
}

std::string start_fen(const std::array<char, 8>& white, const std::array<char, 8>& black) {
    std::string fen;
    for (const char c : black) fen += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fen += "/pppppppp/8/8/8/8/PPPPPPPP/";
    for (const char c : white) fen += c;
    return fen + " w " + castling_letters(white, true) + castling_letters(black, false) + " - 0 1";
}

struct Position960 {
    std::string start;
    std::vector<std::string> moves;
    BoardState board;
};

std::vector<Position960> random_game_positions() {
    std::vector<Position960> all;
    std::mt19937 random(960);
    constexpr int GAMES = 24;
    constexpr int PLIES = 80;
    for (int game = 0; game < GAMES; ++game) {
        const std::array<char, 8> white = random_array(random);
        // Every other game gives Black an array of its own.
        const std::array<char, 8> black = game % 2 == 0 ? white : random_array(random);
        const std::string fen = start_fen(white, black);
        Position960 position{fen, {}, *from_fen(fen, true).board};
        for (int ply = 0; ply <= PLIES; ++ply) {
            all.push_back(position);
            const MoveList moves = generate_moves(position.board, false);
            if (moves.empty()) break;
            const Move m = testing::pick_move(position.board, moves, random);
            position.moves.push_back(move_string(position.board, m));
            position.board = make_move_unrecorded(position.board, m);
        }
    }
    return all;
}

// The hard cases of Chess960 castling, each at depth 4.
constexpr const char* HARD_CASES[] = {
    "4k3/8/8/8/8/8/8/6KR w H - 0 1",
    "6kr/8/8/8/8/8/8/4K3 b h - 0 1",
    "4k3/8/8/8/8/8/8/3RK3 w D - 0 1",
    "4k3/8/8/8/8/8/8/1K5R w H - 0 1",
    "4k3/8/8/8/8/8/8/RK6 w A - 0 1",
    "4k3/8/8/8/8/8/8/5KR1 w G - 0 1",
    "4k3/8/8/8/8/8/8/qR1K4 w B - 0 1",
    "4k3/8/8/8/8/8/8/rR2K3 w B - 0 1",
    "4k3/8/8/8/8/8/8/qNR1K3 w C - 0 1",
    "4kr2/8/8/8/8/8/8/1K5R w H - 0 1",
    "1r2k3/8/8/8/8/8/8/R3K3 w A - 0 1",
    "1r2k3/8/8/8/8/8/8/1K5R w H - 0 1",
    "rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1",
    "1rk3r1/8/8/8/8/8/8/1RK3R1 w GBgb - 0 1",
    "r1k1r3/8/8/8/8/8/8/3RKR1q w FD - 0 1",
    "nrkbbqrn/pppppppp/8/8/8/8/PPPPPPPP/RKNBBQRN w GAgb - 0 1",
    "rr2k1rr/8/8/8/8/8/8/RR1K2RR w KBqg - 0 1",
    "2r1k1r1/8/8/8/8/8/8/RQ3KR1 w GAgc - 0 1",
};

TEST(Chess960Divide, AgreesWithStockfish) {
    if (access(STOCKFISH, X_OK) != 0) {
        GTEST_SKIP() << STOCKFISH << " is not installed: the comparison with an independent generator did not run";
    }
    testing::EngineProcess stockfish({}, STOCKFISH);
    stockfish.send("uci");
    stockfish.read_until("uciok");
    stockfish.send("setoption name Threads value 1");
    stockfish.send("setoption name UCI_Chess960 value true");
    stockfish.send("isready");
    stockfish.read_until("readyok");

    int compared = 0, with_castling = 0, mismatches = 0;
    std::uint64_t leaves = 0;
    const auto compare = [&](const std::string& command, const BoardState& board, int depth) {
        const auto ours = our_counts(board, depth);
        stockfish.send(command);
        stockfish.send("go perft " + std::to_string(depth));
        const auto theirs = listing_counts(stockfish.read_until("Nodes searched"));
        if (ours != theirs) {
            ADD_FAILURE() << "divide " << depth << " differs at " << command << "\n(now " << to_fen(board) << ")\n"
                          << differences(ours, theirs);
            ++mismatches;
        }
        for (const auto& [move, n] : theirs) leaves += n;
        ++compared;
        for (const Move m : generate_moves(board, false)) {
            if (is_castling(m.kind())) {
                ++with_castling;
                break;
            }
        }
    };
    for (const char* fen : HARD_CASES) {
        const FenResult read = from_fen(fen, true);
        ASSERT_TRUE(read.board) << fen;
        compare(std::string("position fen ") + fen, *read.board, 4);
    }
    for (const Position960& p : random_game_positions()) {
        std::string command = "position fen " + p.start;
        if (!p.moves.empty()) {
            command += " moves";
            for (const std::string& m : p.moves) command += " " + m;
        }
        compare(command, p.board, 3);
        if (mismatches >= 5) {
            FAIL() << "stopping after 5 differing positions";
        }
    }
    std::cout << "compared " << compared << " positions (" << with_castling << " with castling), " << leaves
              << " leaves\n";
    EXPECT_GE(compared, 1000);
    EXPECT_GE(with_castling, 100);
}

}  // namespace
}  // namespace kestrune
