// Move generation checked against an independent generator: the divide
// listings of stockfish along random games.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "board_state.h"
#include "divide_listing.h"
#include "engine_process.h"
#include "move.h"
#include "perft.h"
#include "random_games.h"
#include "test_support.h"

namespace kestrune {
namespace {

using testing::describe;
using testing::game_positions;
using testing::GamePosition;

using testing::differences;
using testing::listing_counts;

using testing::STOCKFISH;

TEST(Divide, AgreesWithStockfishAlongRandomGames) {
    if (access(STOCKFISH, X_OK) != 0) {
        GTEST_SKIP() << STOCKFISH << " is not installed: the comparison with an independent generator did not run";
    }
    testing::EngineProcess stockfish({}, STOCKFISH);
    stockfish.send("uci");
    stockfish.read_until("uciok");
    stockfish.send("setoption name Threads value 1");
    stockfish.send("isready");
    stockfish.read_until("readyok");

    int compared = 0, checks = 0, double_checks = 0, castling = 0, en_passant = 0, promotions = 0, pins = 0;
    int mismatches = 0;
    for (const GamePosition& p : game_positions()) {
        const BoardState& board = p.board;
        const MoveList moves = generate_moves(board, false);
        std::vector<std::string> ours_lines;
        std::istringstream listing(divide(board, 3));
        for (std::string line; std::getline(listing, line);) {
            ours_lines.push_back(line);
        }
        const auto ours = listing_counts(ours_lines);
        ASSERT_EQ(ours.size(), moves.size());

        std::string command = "position fen " + p.start_fen;
        if (!p.moves.empty()) {
            command += " moves";
            for (const std::string& m : p.moves) {
                command += " " + m;
            }
        }
        stockfish.send(command);
        stockfish.send("go perft 3");
        const auto theirs = listing_counts(stockfish.read_until("Nodes searched"));
        if (ours != theirs) {
            ADD_FAILURE() << "divide 3 differs at " << describe(p) << "\n" << differences(ours, theirs);
            if (++mismatches == 5) {
                FAIL() << "stopping after 5 differing positions";
            }
        }
        ++compared;

        // What the sample covers.
        const Square k = board.king_square(board.side);
        const int checkers = popcount(attackers_to(board, k, board.occupied(), opposite(board.side)));
        checks += checkers > 0;
        double_checks += checkers > 1;
        bool has_castling = false, has_en_passant = false, has_promotion = false;
        for (const Move m : moves) {
            has_castling |= m.kind() == CastleKingside || m.kind() == CastleQueenside;
            has_en_passant |= m.kind() == EnPassant;
            has_promotion |= m.is_promotion();
        }
        castling += has_castling;
        en_passant += has_en_passant;
        promotions += has_promotion;
        // A pin: taking away one of our pieces would expose our king.
        if (checkers == 0) {
            for (Bitboard own = board.pieces(board.side) & ~square_bb(k); own != 0;) {
                BoardState without = board;
                remove_piece(without, pop_lowest(own));
                if (in_check(without)) {
                    ++pins;
                    break;
                }
            }
        }
    }
    std::cout << "compared " << compared << " positions: " << checks << " in check (" << double_checks << " double), "
              << castling << " with castling, " << en_passant << " with en passant, " << promotions
              << " with promotions, " << pins << " with a pin\n";
    // Roughly half of what the seeds give today, so the floor survives changes of the games.
    EXPECT_GE(compared, 2000);
    EXPECT_GE(checks, 150);
    EXPECT_GE(double_checks, 1);
    EXPECT_GE(castling, 60);
    EXPECT_GE(en_passant, 10);
    EXPECT_GE(promotions, 25);
    EXPECT_GE(pins, 100);
}

}  // namespace
}  // namespace kestrune
