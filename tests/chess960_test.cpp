// Chess960: the castling fields of FEN in both forms, castling moves as the
// king taking its own rook, the hard cases of castling's legality, and the
// published Chess960 perft counts to depth 4 (deeper in chess960_slow_test).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "board_state.h"
#include "fen.h"
#include "move.h"
#include "move_generation.h"
#include "perft.h"
#include "perft_suite.h"
#include "test_support.h"

namespace kestrune {
namespace {

using testing::case_name;

BoardState board_960(const std::string& fen) {
    const FenResult result = from_fen(fen, true);
    if (!result.board) {
        ADD_FAILURE() << "test FEN rejected: " << fen << ": " << result.error;
        return *from_fen(START_FEN, true).board;
    }
    return *result.board;
}

std::vector<std::string> move_texts(const BoardState& board) {
    std::vector<std::string> texts;
    for (const Move m : generate_moves(board, false)) {
        texts.push_back(move_string(board, m));
    }
    return texts;
}

bool has_text(const BoardState& board, const std::string& text) {
    const std::vector<std::string> texts = move_texts(board);
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// Every right the board claims has its king and rook on their origins, the
// rook on that side of the king on the back rank; the FEN it writes reads
// back to the same FEN; both ways of counting perft agree.
void expect_sound(const BoardState& board, const std::string& context) {
    for (const Color c : {White, Black}) {
        for (const CastlingSide side : {Kingside, Queenside}) {
            if (!has_castling_right(board, c, side)) {
                continue;
            }
            const CastlingRule rule = castling_rule(board, c, side);
            const int rank = c == White ? 0 : 7;
            EXPECT_EQ(board.squares[rule.king_from], make_piece(c, King)) << context;
            EXPECT_EQ(board.squares[rule.rook_from], make_piece(c, Rook)) << context;
            EXPECT_EQ(rank_of(rule.king_from), rank) << context;
            EXPECT_EQ(rank_of(rule.rook_from), rank) << context;
            EXPECT_EQ(side == Kingside, file_of(rule.rook_from) > file_of(rule.king_from)) << context;
        }
    }
    const std::string fen = to_fen(board);
    const FenResult again = from_fen(fen, true);
    ASSERT_TRUE(again.board) << context << ": " << fen;
    EXPECT_EQ(to_fen(*again.board), fen) << context;
    EXPECT_EQ(perft(board, 3, PerftMode::ReplyCounting), perft(board, 3, PerftMode::Plain)) << context;
}

// ---------------------------------------------------------------- FEN

std::string castling_field(const std::string& fen) {
    const std::size_t start = fen.find(' ', fen.find(' ') + 1) + 1;
    return fen.substr(start, fen.find(' ', start) - start);
}

struct FenCase {
    std::string name;
    std::string fen;
    std::string castling_written;  // the Shredder-FEN field the board writes
};

class Chess960Fen : public ::testing::TestWithParam<FenCase> {};

TEST_P(Chess960Fen, ReadsBothFormsAndWritesShredderFen) {
    const FenCase& c = GetParam();
    const BoardState board = board_960(c.fen);
    const std::string written = to_fen(board);
    EXPECT_EQ(castling_field(written), c.castling_written) << written;
    expect_sound(board, c.fen);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, Chess960Fen,
    ::testing::Values(
        FenCase{"StandardArrayXFen", std::string(START_FEN), "HAha"},
        FenCase{"StandardArrayShredder", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha - 0 1", "HAha"},
        FenCase{"ShredderFromTheSuite", "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9", "HFhf"},
        FenCase{"NothingNamedStands", "2r1k1r1/8/8/8/8/8/8/1R1K3R w Dbd - 0 1", "-"},
        FenCase{"XFenOutermostRooks", "4k3/8/8/8/8/8/8/RR1K2RR w KQ - 0 1", "HA"},
        FenCase{"XFenInnerRookByItsFile", "4k3/8/8/8/8/8/8/RR1K2RR w GB - 0 1", "GB"},
        FenCase{"XFenMixed", "rr2k1rr/8/8/8/8/8/8/RR1K2RR w KBqg - 0 1", "HBga"},
        FenCase{"DifferentArrays", "nrkbbqrn/pppppppp/8/8/8/8/PPPPPPPP/RKNBBQRN w GAgb - 0 1", "GAgb"},
        FenCase{"RookMissingDropsTheRight", "4k3/8/8/8/8/8/8/R2K3R w HC - 0 1", "H"},
        FenCase{"KingOffTheBackRankDropsAll", "4k3/8/8/8/8/8/3K4/R6R w HA - 0 1", "-"},
        FenCase{"RookNextToTheKing", "4k3/8/8/8/8/8/8/3RK3 w D - 0 1", "D"}),
    case_name);

// The king's own file names no rook; each side keeps the rooks that stand.
TEST(Chess960Fen, OneSideEachKeepsOnlyRooksThatStand) {
    const BoardState board = board_960("2r1k1r1/8/8/8/8/8/8/1R1K3R w BDc - 0 1");
    EXPECT_TRUE(has_castling_right(board, White, Queenside));
    EXPECT_FALSE(has_castling_right(board, White, Kingside));
    EXPECT_TRUE(has_castling_right(board, Black, Queenside));
    EXPECT_FALSE(has_castling_right(board, Black, Kingside));
    const std::string fen = to_fen(board);
    EXPECT_NE(fen.find(" w Bc - "), std::string::npos) << fen;
}

struct MalformedCase {
    std::string name;
    std::string field;
};

class Chess960MalformedCastling : public ::testing::TestWithParam<MalformedCase> {};

// Nonsense in the castling field never crashes and never grants a right
// whose king and rook do not stand where it says.
TEST_P(Chess960MalformedCastling, KeepsASoundPosition) {
    const MalformedCase& c = GetParam();
    for (const std::string placement : {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", "1r2k1r1/8/8/8/8/8/8/R3K2R",
                                        "4k3/8/8/8/8/8/8/4K3", "r6k/8/8/8/8/8/8/K6R"}) {
        const std::string fen = placement + " w " + c.field + " - 0 1";
        const FenResult result = from_fen(fen, true);
        if (result.board) {
            expect_sound(*result.board, fen);
        } else {
            EXPECT_FALSE(result.error.empty()) << fen;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, Chess960MalformedCastling,
    ::testing::Values(MalformedCase{"Empty", ""}, MalformedCase{"Dash", "-"}, MalformedCase{"Repeated", "KQkqKQkqHAha"},
                      MalformedCase{"FilesBeyondH", "IJij"}, MalformedCase{"Digits", "1234"},
                      MalformedCase{"Signs", "K-Q+k*q"}, MalformedCase{"KingFile", "Ee"},
                      MalformedCase{"SameSideTwice", "HGFhgf"}, MalformedCase{"WrongColourCase", "hH"},
                      MalformedCase{"HighBytes", "\xC3\xA9\xFF"}, MalformedCase{"Long", std::string(200, 'K')}),
    case_name);

// Without UCI_Chess960 the field is read as always: file letters grant nothing.
TEST(Chess960Fen, StandardReadingIgnoresFileLetters) {
    const FenResult result = from_fen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha - 0 1");
    ASSERT_TRUE(result.board);
    EXPECT_EQ(to_fen(*result.board), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1");
}

// ---------------------------------------------------------------- castling

struct CastlingCase {
    std::string name;
    std::string fen;
    std::string move;   // king takes rook
    std::string after;  // empty: the move must be absent
};

class Chess960Castling : public ::testing::TestWithParam<CastlingCase> {};

TEST_P(Chess960Castling, IsLegalExactlyWhenItShouldBeAndEndsOnTheRightSquares) {
    const CastlingCase& c = GetParam();
    const BoardState board = board_960(c.fen);
    EXPECT_EQ(has_text(board, c.move), !c.after.empty()) << c.fen;
    const ParsedMove parsed = parse_uci(c.move, board);
    EXPECT_EQ(parsed.move.has_value(), !c.after.empty()) << c.fen;
    if (parsed.move) {
        EXPECT_TRUE(is_castling(parsed.move->kind()));
        const BoardState next = make_move(board, *parsed.move);
        EXPECT_EQ(to_fen(next), c.after);
        // The incremental key and sums equal a fresh reading of the result.
        const BoardState fresh = board_960(c.after);
        EXPECT_EQ(next.hash, fresh.hash);
        EXPECT_EQ(next.mg_score, fresh.mg_score);
        EXPECT_EQ(next.eg_score, fresh.eg_score);
        EXPECT_EQ(next.phase, fresh.phase);
        EXPECT_EQ(score_parts_after(board, *parsed.move).mg_score, next.mg_score);
        EXPECT_EQ(leaves_opponent_in_check(board, *parsed.move), in_check(next));
    }
    expect_sound(board, c.fen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Chess960Castling,
    ::testing::Values(
        CastlingCase{"StandardArrayKingside", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1h1",
                     "r3k2r/8/8/8/8/8/8/R4RK1 b ha - 1 1"},
        CastlingCase{"StandardArrayQueenside", "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8a8",
                     "2kr3r/8/8/8/8/8/8/R3K2R w HA - 1 1"},
        CastlingCase{"KingDoesNotMove", "4k3/8/8/8/8/8/8/6KR w H - 0 1", "g1h1", "4k3/8/8/8/8/8/8/5RK1 b - - 1 1"},
        CastlingCase{"BlackKingDoesNotMove", "6kr/8/8/8/8/8/8/4K3 b h - 0 1", "g8h8", "5rk1/8/8/8/8/8/8/4K3 w - - 1 1"},
        CastlingCase{"RookDoesNotMove", "4k3/8/8/8/8/8/8/3RK3 w D - 0 1", "e1d1", "4k3/8/8/8/8/8/8/2KR4 b - - 1 1"},
        CastlingCase{"RookPassesTheKingsDestination", "4k3/8/8/8/8/8/8/1K5R w H - 0 1", "b1h1",
                     "4k3/8/8/8/8/8/8/5RK1 b - - 1 1"},
        CastlingCase{"KingFromTheBFile", "4k3/8/8/8/8/8/8/RK6 w A - 0 1", "b1a1", "4k3/8/8/8/8/8/8/2KR4 b - - 1 1"},
        CastlingCase{"KingAndRookSwap", "4k3/8/8/8/8/8/8/5KR1 w G - 0 1", "f1g1", "4k3/8/8/8/8/8/8/5RK1 b - - 1 1"},
        CastlingCase{"RookShieldsTheDestination", "4k3/8/8/8/8/8/8/qR1K4 w B - 0 1", "d1b1", ""},
        CastlingCase{"RookShieldsFromARook", "4k3/8/8/8/8/8/8/rR2K3 w B - 0 1", "e1b1", ""},
        CastlingCase{"ShieldBlockedByAnotherPiece", "4k3/8/8/8/8/8/8/qNR1K3 w C - 0 1", "e1c1",
                     "4k3/8/8/8/8/8/8/qNKR4 b - - 1 1"},
        CastlingCase{"PathBlocked", "4k3/8/8/8/8/8/8/1K2N2R w H - 0 1", "b1h1", ""},
        CastlingCase{"CrossedSquareAttacked", "4kr2/8/8/8/8/8/8/1K5R w H - 0 1", "b1h1", ""},
        CastlingCase{"SquareOnlyTheRookCrossesMayBeAttacked", "1r2k3/8/8/8/8/8/8/R3K3 w A - 0 1", "e1a1",
                     "1r2k3/8/8/8/8/8/8/2KR4 b - - 1 1"},
        CastlingCase{"KingInCheck", "1r2k3/8/8/8/8/8/8/1K5R w H - 0 1", "b1h1", ""}),
    case_name);

// Outside Chess960 castling keeps its standard text; king-takes-rook is no move.
TEST(Chess960Castling, StandardTextWithoutTheOption) {
    const BoardState board = *from_fen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1").board;
    EXPECT_TRUE(has_text(board, "e1g1"));
    EXPECT_FALSE(has_text(board, "e1h1"));
    EXPECT_FALSE(parse_uci("e1h1", board).move);
    // The same position in Chess960 has the same moves, castling written the other way.
    const BoardState same = board_960("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    EXPECT_EQ(generate_moves(same, false).size(), generate_moves(board, false).size());
    EXPECT_FALSE(parse_uci("e1g1", same).move);
    EXPECT_EQ(divide(same, 2).size(), divide(board, 2).size());
    EXPECT_NE(divide(same, 2).find("e1h1: "), std::string::npos);
}

// A rook moving or taken on its origin ends that right, and only that one.
TEST(Chess960Castling, RightsEndWithTheirRookOrKing) {
    const BoardState board = board_960("1r2k1r1/8/8/8/8/8/8/1R2K1R1 w GBgb - 0 1");
    const BoardState rook_moved = make_move(board, testing::move_of(board, "g1g4"));
    EXPECT_FALSE(has_castling_right(rook_moved, White, Kingside));
    EXPECT_TRUE(has_castling_right(rook_moved, White, Queenside));
    const BoardState taken = make_move(board, testing::move_of(board, "b1b8"));
    EXPECT_FALSE(has_castling_right(taken, Black, Queenside));
    EXPECT_TRUE(has_castling_right(taken, Black, Kingside));
    EXPECT_FALSE(has_castling_right(taken, White, Queenside));
    const BoardState king_moved = make_move(board, testing::move_of(board, "e1e2"));
    EXPECT_FALSE(has_castling_right(king_moved, White, Kingside));
    EXPECT_FALSE(has_castling_right(king_moved, White, Queenside));
    EXPECT_EQ(to_fen(king_moved), "1r2k1r1/8/8/8/8/8/4K3/1R4R1 b gb - 1 1");
}

// ---------------------------------------------------------------- perft

PerftSuiteFile fischer_suite() {
    return read_perft_suite(std::string(KESTRUNE_DATA_DIR) + "/perft/fischer960.txt", true);
}

TEST(Chess960Perft, EveryArrayMatchesItsCountsToDepth4) {
    const PerftSuiteFile suite = fischer_suite();
    ASSERT_EQ(suite.position_lines, 960);
    ASSERT_EQ(suite.positions.size(), 960U);
#ifdef KESTRUNE_SANITIZED
    constexpr int DEEPEST = 3;
#else
    constexpr int DEEPEST = 4;
#endif
    int failures = 0;
    for (const SuitePosition& position : suite.positions) {
        const BoardState board = board_960(position.fen);
        for (const auto& [depth, expected] : position.counts) {
            if (depth > DEEPEST) {
                continue;
            }
            for (const PerftMode mode : {PerftMode::ReplyCounting, PerftMode::Plain}) {
                const std::uint64_t got = perft(board, depth, mode);
                if (got != expected) {
                    ADD_FAILURE() << position.fen << " depth " << depth << ": " << got << ", expected " << expected;
                    ASSERT_LT(++failures, 5) << "stopping after 5 differences";
                }
            }
        }
    }
}

}  // namespace
}  // namespace kestrune
