#include "perft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "board_state.h"
#include "fen.h"
#include "test_support.h"
#include "move.h"
#include "perft_suite.h"
#include "random_games.h"
#include "ordering.h"
#include "move_generation.h"

namespace kestrune {
namespace {

using testing::board_of;
using testing::describe;
using testing::EVERY_GROUP;
using testing::game_positions;
using testing::GamePosition;

std::string texts(const MoveList& moves) {
    std::string text;
    for (const Move m : moves) {
        text += text.empty() ? "" : " ";
        text += to_uci(m);
    }
    return text;
}

// ---------------------------------------------------------------------------
// The published suites: "FEN ; D1 n ; D2 n ; ... [; id NAME]", '#' comments.

constexpr const char* SUITE_FILES[] = {"perftsuite", "standard6", "tricky"};

// A suite position and the name of its test: file stem and line number.
struct NamedPosition : SuitePosition {
    std::string name;
};

PerftSuiteFile read_suite(const std::string& stem) {
    return read_perft_suite(std::string(KESTRUNE_DATA_DIR) + "/perft/" + stem + ".txt");
}

std::vector<NamedPosition> all_suite_positions() {
    std::vector<NamedPosition> all;
    for (const char* stem : SUITE_FILES) {
        for (const SuitePosition& position : read_suite(stem).positions) {
            all.push_back({position, std::string(stem) + "Line" + std::to_string(position.line)});
        }
    }
    return all;
}

TEST(PerftSuite, EveryLineIsRead) {
    for (const char* stem : SUITE_FILES) {
        const PerftSuiteFile suite = read_suite(stem);
        EXPECT_GT(suite.position_lines, 0) << stem;
        EXPECT_EQ(suite.positions.size(), static_cast<std::size_t>(suite.position_lines)) << stem;
        for (const std::string& line : suite.unread) {
            ADD_FAILURE() << stem << ": unread line: " << line;
        }
    }
}

// The two ways perft counts: every test of perft runs both.
struct CountingMode {
    const char* name;
    PerftMode mode;
};
constexpr CountingMode COUNTING_MODES[] = {{"reply counting", PerftMode::ReplyCounting}, {"plain", PerftMode::Plain}};

// Every listed depth up to 4 runs; deeper ones only while cheap, so the
// whole suite stays within seconds. Instrumented builds stop at depth 3.
bool worth_running(int depth, std::uint64_t count) {
#ifdef KESTRUNE_SANITIZED
    (void)count;
    return depth <= 3;
#else
    return depth <= 4 || count <= 20'000'000;
#endif
}

class PerftSuite : public ::testing::TestWithParam<NamedPosition> {};

void PrintTo(const NamedPosition& p, std::ostream* os) { *os << p.fen; }

TEST_P(PerftSuite, MatchesPublishedCounts) {
    const NamedPosition& position = GetParam();
    const BoardState board = board_of(position.fen);
    int ran = 0;
    for (const CountingMode& mode : COUNTING_MODES) {
        for (const auto& [depth, expected] : position.counts) {
            if (worth_running(depth, expected)) {
                EXPECT_EQ(perft(board, depth, mode.mode), expected)
                    << position.fen << " depth " << depth << ", " << mode.name;
                ++ran;
            }
        }
    }
    if (ran == 0) {
        GTEST_SKIP() << "every listed depth of " << position.fen << " is too deep for this build";
    }
}

INSTANTIATE_TEST_SUITE_P(Files, PerftSuite, ::testing::ValuesIn(all_suite_positions()), testing::case_name);

// ---------------------------------------------------------------------------
// Generation order, fixed by our own expectations.

constexpr const char* START_MOVES =
    "b1a3 b1c3 g1f3 g1h3 a2a3 b2b3 c2c3 d2d3 e2e3 f2f3 g2g3 h2h3 a2a4 b2b4 c2c4 d2d4 e2e4 f2f4 g2g4 h2h4";

struct OrderCase {
    const char* name;
    const char* fen;
    bool captures_only;
    const char* expected;
};

class GeneratorOrder : public ::testing::TestWithParam<OrderCase> {};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.fen; }

TEST_P(GeneratorOrder, ListsMovesInOrder) {
    const OrderCase& c = GetParam();
    EXPECT_EQ(texts(generate_moves(board_of(c.fen), c.captures_only)), c.expected) << c.fen;
}

INSTANTIATE_TEST_SUITE_P(
    Positions, GeneratorOrder,
    ::testing::Values(
        OrderCase{"StartPosition", START_FEN.data(), false, START_MOVES},
        OrderCase{"EveryGroup", EVERY_GROUP, false,
                  "e1d1 e1f1 e5d6 e1g1 e1c1 d2c3 d2b4 f2g3 a5b3 a5c4 a5c6 a1b1 a1c1 a1d1 h1h3 h1f1 h1g1 h1h2 "
                  "a2a3 e5e6 a2a4 g2f3 g2h3 b7b8q b7b8n b7b8r b7b8b b7a8q b7a8n b7a8r b7a8b b7c8q b7c8n b7c8r "
                  "b7c8b"},
        OrderCase{"EveryGroupCapturesOnly", EVERY_GROUP, true,
                  "e1d1 e1f1 e5d6 d2b4 f2g3 h1h3 g2f3 g2h3 b7a8q b7a8n b7a8r b7a8b b7c8q b7c8n b7c8r b7c8b"},
        // Black captures towards file h first.
        OrderCase{"BlackPromotions", "k7/8/8/8/8/8/3p4/2R1R2K b - - 0 1", false,
                  "a8a7 a8b7 a8b8 d2d1q d2d1n d2d1r d2d1b d2e1q d2e1n d2e1r d2e1b d2c1q d2c1n d2c1r d2c1b"},
        OrderCase{"WhitePromotions", "3r3k/4P3/8/8/8/8/8/K7 w - - 0 1", false,
                  "a1b1 a1a2 a1b2 e7e8q e7e8n e7e8r e7e8b e7d8q e7d8n e7d8r e7d8b"},
        // Rook on the file and knight on d3: king steps only, quiet before captures.
        OrderCase{"DoubleCheck", "4r1k1/8/8/1B6/8/3n4/2P5/R2nK2R w KQ - 0 1", false, "e1f1 e1d2 e1d1"},
        // The pinned bishop on c3 could block on e5 but must not.
        OrderCase{"SliderCheckWithPinnedBlocker", "R3r3/7k/8/q7/8/2B3N1/8/4K3 w - - 0 1", false,
                  "e1d1 e1f1 e1d2 e1f2 g3e2 g3e4 a8e8"},
        OrderCase{"PawnTakesCheckingKnightOnLastRank", "k3n3/3P2K1/8/8/8/8/8/4R3 w - - 0 1", false,
                  "g7g6 g7h6 g7f7 g7h7 g7f8 g7g8 g7h8 e1e8 d7e8q d7e8r d7e8n d7e8b"},
        OrderCase{"PinnedSeventhRankPawnTakesPinner", "2r1b2k/3P4/8/1K6/8/8/8/8 w - - 0 1", false,
                  "b5a4 b5b4 b5a5 b5a6 b5b6 d7e8q d7e8n d7e8r d7e8b"},
        OrderCase{"PinnedRookAndKnight", "4r2k/8/8/8/1b2R3/8/3N4/4K3 w - - 0 1", false,
                  "e1d1 e1f1 e1e2 e1f2 e4e2 e4e3 e4e5 e4e6 e4e7 e4e8"},
        // The en-passant capture comes before the other captures of the checking pawn.
        OrderCase{"EnPassantTakesCheckingPawn", "8/8/8/3pP3/1NP1K3/8/8/k7 w - d6 0 1", false,
                  "e4d3 e4e3 e4f3 e4d4 e4f4 e4f5 e4d5 e5d6 b4d5 c4d5"},
        OrderCase{"EnPassantBlocksSliderCheck", "4kq2/8/8/3pP3/1K6/8/8/8 w - d6 0 1", false,
                  "b4b3 b4c3 b4a4 b4a5 b4b5 e5d6"},
        OrderCase{"EnPassantIgnoredWhileAnotherPawnChecks",
                  "rnbqk1nr/bb3p1p/1q2r3/2pPp3/3P4/7P/1PP1NpPP/R1BQKBNR w KQkq c6 0 1", false, "e1d2 e1f2"},
        OrderCase{"PinnedPawnTakesEnPassantAlongPin", "4k3/6b1/8/4Pp2/8/8/1K6/8 w - f6 0 1", false,
                  "b2a1 b2b1 b2c1 b2a2 b2c2 b2a3 b2b3 b2c3 e5f6"},
        OrderCase{"PinnedPawnCannotLeavePinByEnPassant", "4k3/6b1/8/3pP3/8/8/1K6/8 w - d6 0 1", false,
                  "b2a1 b2b1 b2c1 b2a2 b2c2 b2a3 b2b3 b2c3"},
        OrderCase{"EnPassantWouldOpenRank", "8/8/8/KPp4r/8/8/8/7k w - c6 0 1", false, "a5a4 a5a6 a5b6 b5b6"},
        OrderCase{"EnPassantWouldOpenDiagonal", "8/8/1k6/8/3Pp3/8/8/4K1B1 b - d3 0 1", false,
                  "b6a5 b6b5 b6a6 b6c6 b6a7 b6b7 b6c7 e4e3"},
        OrderCase{"EnPassantKeepsFileClosed", "3k4/8/8/8/3Pp3/8/8/3RK3 b - d3 0 1", false,
                  "d8c7 d8d7 d8e7 d8c8 d8e8 e4d3 e4e3"},
        OrderCase{"CapturesOnlyQuietPosition", "4k3/8/8/8/8/8/3P4/4K2R w K - 0 1", true, "e1d1 e1f1 e1e2 e1f2"},
        OrderCase{"Checkmate", "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", false, ""},
        OrderCase{"Stalemate", "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", false, ""}),
    testing::case_name);

struct CastlingCase {
    const char* fen;
    bool kingside;
    bool queenside;
};

TEST(Generator, CastlingAsTheKingsTwoSquareStep) {
    const CastlingCase cases[] = {
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", true, true},     {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", true, true},
        {"r3k2r/8/8/8/8/8/8/R3K2R w Qkq - 0 1", false, true},      // king-side right gone
        {"r3k2r/8/8/8/8/8/8/R3K2R w Kkq - 0 1", true, false},      // queen-side right gone
        {"r3kr2/8/8/8/8/8/8/R3K2R w KQq - 0 1", false, true},      // f1 attacked
        {"r3k1r1/8/8/8/8/8/8/R3K2R w KQq - 0 1", false, true},     // g1 attacked
        {"r3k2r/8/8/8/8/8/8/R3KB1R w KQkq - 0 1", false, true},    // f1 occupied
        {"r3k2r/8/8/8/8/8/8/R3K1NR w KQkq - 0 1", false, true},    // g1 occupied
        {"1r2k2r/8/8/8/8/8/8/R3K2R w KQk - 0 1", true, true},      // b1 attacked: allowed
        {"2r1k2r/8/8/8/8/8/8/R3K2R w KQk - 0 1", true, false},     // c1 attacked
        {"3rk2r/8/8/8/8/8/8/R3K2R w KQk - 0 1", true, false},      // d1 attacked
        {"r3k2r/8/8/8/8/8/8/RN2K2R w KQkq - 0 1", true, false},    // b1 occupied
        {"r3k2r/8/8/8/8/8/8/R1B1K2R w KQkq - 0 1", true, false},   // c1 occupied
        {"r3k2r/8/8/8/4q3/8/8/R3K2R w KQkq - 0 1", false, false},  // in check
        {"r3k2r/8/8/8/8/8/8/1R2K2R b Kkq - 0 1", true, true},      // b8 attacked: allowed
        {"r3k2r/8/8/8/8/8/8/2R1K2R b Kkq - 0 1", true, false},     // c8 attacked
        {"r3k2r/8/8/8/8/8/8/R3KR2 b Qkq - 0 1", false, true},      // f8 attacked
    };
    for (const CastlingCase& c : cases) {
        const BoardState board = board_of(c.fen);
        const MoveList moves = generate_moves(board, false);
        const bool white = board.side == White;
        const auto has = [&](Move m) { return std::find(moves.begin(), moves.end(), m) != moves.end(); };
        EXPECT_EQ(has(white ? WHITE_CASTLE_KINGSIDE : BLACK_CASTLE_KINGSIDE), c.kingside) << c.fen;
        EXPECT_EQ(has(white ? WHITE_CASTLE_QUEENSIDE : BLACK_CASTLE_QUEENSIDE), c.queenside) << c.fen;
        // Only the castling kinds may move the king two files.
        for (const Move m : moves) {
            const bool two_files = m.from() == board.king_square(board.side) &&
                                   std::abs(file_of(m.from()) - file_of(m.to())) == 2;
            EXPECT_EQ(two_files, m.kind() == CastleKingside || m.kind() == CastleQueenside) << to_uci(m);
        }
    }
}

TEST(Divide, StartPositionListings) {
    const BoardState start = board_of(START_FEN);
    std::string depth1;
    std::string depth2;
    std::istringstream names(START_MOVES);
    for (std::string name; names >> name;) {
        depth1 += name + ": 1\n";
        depth2 += name + ": 20\n";
    }
    EXPECT_EQ(divide(start, 1), depth1);
    EXPECT_EQ(divide(start, 2), depth2);
    // Depth 3 counts add up to the perft total.
    std::istringstream lines(divide(start, 3));
    std::uint64_t total = 0;
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        total += std::stoull(line.substr(line.find(": ") + 2));
    }
    EXPECT_EQ(count, 20);
    EXPECT_EQ(total, 8902U);
}

TEST(Divide, EdgeDepthsAndPositionsWithoutMoves) {
    const BoardState start = board_of(START_FEN);
    const BoardState mated = board_of("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");
    EXPECT_EQ(perft(start, 0), 1U);
    EXPECT_EQ(perft(mated, 0), 1U);
    EXPECT_EQ(perft(mated, 1), 0U);
    EXPECT_EQ(perft(mated, 3), 0U);
    EXPECT_EQ(divide(mated, 2), "");
    // Promotions are listed as four lines each, castling as the king's step.
    EXPECT_EQ(divide(board_of("4k3/1P6/8/8/8/8/8/4K2R w K - 0 1"), 1),
              "e1d1: 1\ne1f1: 1\ne1d2: 1\ne1e2: 1\ne1f2: 1\ne1g1: 1\nh1f1: 1\nh1g1: 1\nh1h2: 1\nh1h3: 1\n"
              "h1h4: 1\nh1h5: 1\nh1h6: 1\nh1h7: 1\nh1h8: 1\nb7b8q: 1\nb7b8n: 1\nb7b8r: 1\nb7b8b: 1\n");
}

// ---------------------------------------------------------------------------
// Random games: consistency of our own operations (the comparison with
// stockfish along the same games is in perft_stockfish_test.cpp).

TEST(Generator, ConsistentAlongRandomGames) {
    for (const GamePosition& p : game_positions()) {
        const MoveList all = generate_moves(p.board, false);
        const MoveList captures = generate_moves(p.board, true);
        ASSERT_EQ(count_moves(p.board), all.size()) << describe(p);
        // The captures-only list is the full list without the non-king quiet moves, in the same order.
        std::string expected_captures;
        std::set<std::string> seen;
        for (const Move m : all) {
            const std::string text = to_uci(m);
            ASSERT_TRUE(seen.insert(text).second) << "listed twice: " << text << " in " << describe(p);
            if (m.is_capture() || (m.kind() == Quiet && m.from() == p.board.king_square(p.board.side))) {
                expected_captures += (expected_captures.empty() ? "" : " ") + text;
            }
            // The mover's king is never left attacked.
            ASSERT_FALSE(in_check(make_null_move(make_move_unrecorded(p.board, m))))
                << text << " leaves the king attacked in " << describe(p);
        }
        ASSERT_EQ(texts(captures), expected_captures) << describe(p);
        // The search's scored generation: the same moves in the same order, with score_moves' scores.
        for (const MoveList* list : {&all, &captures}) {
            ScoredMoveList expected;
            score_moves(*list, p.board, expected);
            ScoredMoveList scored;
            generate_scored_moves(p.board, list == &captures, scored);
            ASSERT_EQ(scored.size(), expected.size()) << describe(p);
            for (std::size_t i = 0; i < scored.size(); ++i) {
                ASSERT_EQ(scored[i].move, expected[i].move) << describe(p);
                ASSERT_EQ(scored[i].score, expected[i].score) << to_uci(scored[i].move) << " in " << describe(p);
            }
        }
    }
}

// Perft counts the replies two plies above the leaves mostly without making
// the move; per root move, both modes must give the totals of the search's
// generator and full make, so a failure names the move whose count is wrong.
TEST(Perft, LastTwoPliesAgreeWithMakingEveryMove) {
    for (const GamePosition& p : game_positions()) {
        const MoveList moves = generate_moves(p.board, false);
        for (const CountingMode& mode : COUNTING_MODES) {
            const std::vector<MoveCount> two_plies = perft_divide(p.board, 2, mode.mode);
            const std::vector<MoveCount> three_plies = perft_divide(p.board, 3, mode.mode);
            ASSERT_EQ(two_plies.size(), moves.size()) << mode.name << " in " << describe(p);
            ASSERT_EQ(three_plies.size(), moves.size()) << mode.name << " in " << describe(p);
            std::uint64_t expected_two_total = 0;
            std::uint64_t expected_three_total = 0;
            for (std::size_t i = 0; i < moves.size(); ++i) {
                const Move m = moves[i];
                const BoardState child = make_move_unrecorded(p.board, m);
                std::uint64_t expected_three = 0;
                for (const Move reply : generate_moves(child, false)) {
                    expected_three += count_moves(make_move_unrecorded(child, reply));
                }
                const std::string where = to_uci(m) + ", " + mode.name + ", in " + describe(p);
                ASSERT_EQ(two_plies[i].move, m) << where;
                ASSERT_EQ(three_plies[i].move, m) << where;
                ASSERT_EQ(two_plies[i].leaves, count_moves(child)) << "depth 2 under " << where;
                ASSERT_EQ(three_plies[i].leaves, expected_three) << "depth 3 under " << where;
                ASSERT_EQ(perft(child, 2, mode.mode), expected_three) << "perft 2 after " << where;
                expected_two_total += two_plies[i].leaves;
                expected_three_total += three_plies[i].leaves;
            }
            ASSERT_EQ(perft(p.board, 2, mode.mode), expected_two_total) << mode.name << " in " << describe(p);
            ASSERT_EQ(perft(p.board, 3, mode.mode), expected_three_total) << mode.name << " in " << describe(p);
        }
    }
}

}  // namespace
}  // namespace kestrune
