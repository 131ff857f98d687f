#include "fen.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "board_state.h"
#include "test_support.h"

namespace kestrune {
namespace {

using testing::board_of;
using testing::case_name;
using testing::PrintTo;

struct AcceptedCase {
    const char* name;
    const char* fen;
    const char* written;
};

const AcceptedCase ACCEPTED[] = {
    {"StartPosition", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
     "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
    {"BlackToMoveWithEnPassant", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
     "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"},
    {"WhiteToMoveWithEnPassant", "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
     "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 1"},
    {"Middlegame", "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
     "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"},
    {"PartialRights", "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
     "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1"},
    {"FullmoveIsNotKept", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 30",
     "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
    {"CastlingLettersInAnyOrder", "r3k2r/8/8/8/8/8/8/R3K2R w qkQK - 0 1", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"},
    {"CastlingFieldWithOtherCharacters", "r3k2r/8/8/8/8/8/8/R3K2R w -KQkq-xyz - 0 1",
     "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"},
    {"CastlingWithoutRooksDropped", "4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1", "4k3/8/8/8/8/8/8/4K3 w - - 0 1"},
    {"CastlingWithOneRookMissing", "r3k2r/8/8/8/8/8/8/4K2R w KQkq - 0 1", "r3k2r/8/8/8/8/8/8/4K2R w Kkq - 0 1"},
    {"CastlingWithKingAway", "r3k2r/8/8/8/8/8/8/R2K3R w KQkq - 0 1", "r3k2r/8/8/8/8/8/8/R2K3R w kq - 0 1"},
    {"SideWrittenAsWord", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR white KQkq - 0 1",
     "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
    {"BlackWrittenAsWord", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR black KQkq e3 0 1",
     "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"},
    {"RanksWrittenAsNineAndSeven", "rnbqkbnr/pppppppp/9/7/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
     "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
    {"EmptyRankTextAndZeroDigit", "rnbqkbnr/pppppppp/08/8//8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
     "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
    {"UnknownCharactersAreEmptySquares", "rnbqkbnr/pppppppp/xxxxxxxx/4?3/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
     "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
    {"HalfmoveWithPlusSign", "4k3/8/8/8/8/8/8/4K3 w - - +7 +3", "4k3/8/8/8/8/8/8/4K3 w - - 7 1"},
    {"HalfmoveAtTheTopOfItsRange", "4k3/8/8/8/8/8/8/4K3 w - - 18446744073709551615 1",
     "4k3/8/8/8/8/8/8/4K3 w - - 18446744073709551615 1"},
    {"ExtraFieldsAndTrailingSpaces", "4k3/8/8/8/8/8/8/4K3 b - - 3 9 extra fields   ", "4k3/8/8/8/8/8/8/4K3 b - - 3 1"},
    {"EnPassantFieldReadByItsFirstTwoCharacters", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3x 0 1",
     "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"},
    {"SideToMoveInCheck", "4k3/8/8/8/8/8/8/r3K3 w - - 0 1", "4k3/8/8/8/8/8/8/r3K3 w - - 0 1"},
    {"RunsOfOneAndSeven", "1k6/8/8/8/8/8/8/6K1 w - - 0 1", "1k6/8/8/8/8/8/8/6K1 w - - 0 1"},
};

class FenAccepted : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(FenAccepted, ReadsAndWritesBack) {
    const AcceptedCase& c = GetParam();
    const FenResult result = from_fen(c.fen);
    ASSERT_TRUE(result.board.has_value()) << result.error;
    EXPECT_EQ(to_fen(*result.board), c.written);
}

INSTANTIATE_TEST_SUITE_P(Texts, FenAccepted, ::testing::ValuesIn(ACCEPTED), case_name);

struct RejectedCase {
    const char* name;
    const char* fen;
};

const RejectedCase REJECTED[] = {
    {"EmptyText", ""},
    {"FiveFields", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0"},
    {"LeadingSpace", " rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
    {"SixtyThreeSquares", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1"},
    {"SixtyFiveSquares", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNRR w KQkq - 0 1"},
    {"HalfmoveNegative", "4k3/8/8/8/8/8/8/4K3 w - - -7 1"},
    {"HalfmoveWithLetters", "4k3/8/8/8/8/8/8/4K3 w - - 7a 1"},
    {"HalfmovePlusOnly", "4k3/8/8/8/8/8/8/4K3 w - - + 1"},
    {"HalfmoveBeyondSixtyFourBits", "4k3/8/8/8/8/8/8/4K3 w - - 18446744073709551616 1"},
    {"FullmoveNegative", "4k3/8/8/8/8/8/8/4K3 w - - 0 -1"},
    {"FullmoveText", "4k3/8/8/8/8/8/8/4K3 w - - 0 x"},
    {"EnPassantOneCharacter", "4k3/8/8/8/8/8/8/4K3 w - z 0 1"},
    {"EnPassantFileI", "4k3/8/8/8/8/8/8/4K3 b - i1 0 1"},
    // Read as file index 8, "i2" would alias a3, a valid target here.
    {"EnPassantFileIWouldAliasA3", "4k3/8/8/8/P7/8/8/4K3 b - i2 0 1"},
    {"EnPassantRankNine", "4k3/8/8/8/8/8/8/4K3 w - e9 0 1"},
    {"EnPassantUpperCase", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq E3 0 1"},
    {"EmptyBoard", "8/8/8/8/8/8/8/8 w - - 0 1"},
    {"NoWhiteKing", "4k3/8/8/8/8/8/8/4Q3 w - - 0 1"},
    {"NoBlackKing", "4q3/8/8/8/8/8/8/4K3 b - - 0 1"},
    {"TwoWhiteKings", "4k3/8/8/8/8/8/8/K3K3 w - - 0 1"},
    {"TwoBlackKings", "k3k3/8/8/8/8/8/8/4K3 w - - 0 1"},
    {"SeventeenWhitePieces", "rnbqkbnr/pppppppp/8/8/8/7P/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
    {"SeventeenBlackPieces", "rnbqkbnr/pppppppp/n7/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"},
    {"WhitePawnOnFirstRank", "4k3/8/8/8/8/8/8/P3K3 w - - 0 1"},
    {"WhitePawnOnLastRank", "P3k3/8/8/8/8/8/8/4K3 w - - 0 1"},
    {"BlackPawnOnFirstRank", "4k3/8/8/8/8/8/8/p3K3 b - - 0 1"},
    {"BlackPawnOnLastRank", "p3k3/8/8/8/8/8/8/4K3 b - - 0 1"},
    {"BlackInCheckWhiteToMove", "4k3/8/8/8/8/8/8/4RK2 w - - 0 1"},
    {"WhiteInCheckBlackToMove", "4k3/8/8/8/8/8/8/4K2r b - - 0 1"},
    {"KnightCheckOnSideNotToMove", "4k3/8/3N4/8/8/8/8/4K3 w - - 0 1"},
    {"PawnCheckOnSideNotToMove", "4k3/8/8/8/8/8/3p4/4K3 b - - 0 1"},
    {"KingsSideBySide", "8/8/8/8/8/8/4k3/4K3 w - - 0 1"},
    {"EnPassantOnThirdRankWhiteToMove", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e3 0 1"},
    {"EnPassantOnSixthRankBlackToMove", "rnbqkbnr/ppp1pppp/8/3p4/8/8/PPPPPPPP/RNBQKBNR b KQkq d6 0 1"},
    {"EnPassantOnFifthRank", "4k3/8/8/8/3p4/8/8/4K3 w - d5 0 1"},
    {"EnPassantBehindPawnOnSecondRank", "4k3/8/8/8/8/8/4p3/K7 w - e3 0 1"},
    {"EnPassantBehindPawnOnSeventhRank", "4k3/4P3/8/8/8/8/8/4K3 b - e6 0 1"},
    {"EnPassantSquareOccupied", "4k3/8/3n4/3pP3/8/8/8/4K3 w - d6 0 1"},
    {"EnPassantWithoutPawn", "4k3/8/8/4P3/8/8/8/4K3 w - d6 0 1"},
    {"EnPassantPawnOfWrongColour", "4k3/8/8/3PP3/8/8/8/4K3 w - d6 0 1"},
    {"EnPassantPieceNotPawn", "4k3/8/8/3nP3/8/8/8/4K3 w - d6 0 1"},
    {"EnPassantWithoutPawnBlackToMove", "4k3/8/8/8/4p3/8/8/4K3 b - e3 0 1"},
};

class FenRejected : public ::testing::TestWithParam<RejectedCase> {};

TEST_P(FenRejected, FailsWithReason) {
    const FenResult result = from_fen(GetParam().fen);
    EXPECT_FALSE(result.board.has_value());
    EXPECT_TRUE(result.error.starts_with("Invalid FEN: ")) << result.error;
}

INSTANTIATE_TEST_SUITE_P(Texts, FenRejected, ::testing::ValuesIn(REJECTED), case_name);

TEST(FenSide, OtherFirstCharacterFailsWithTheSideMessage) {
    for (const std::string_view side : {"x", "W", "B", "-", "1"}) {
        const std::string fen = "4k3/8/8/8/8/8/8/4K3 " + std::string(side) + " - - 0 1";
        const FenResult result = from_fen(fen);
        EXPECT_FALSE(result.board.has_value()) << fen;
        EXPECT_EQ(result.error, "Allowed sides are 'w' and 'b'.") << fen;
    }
}

// Fields are cut at every single space: doubling any separator shifts the
// later fields and leaves one empty.
TEST(FenFields, DoubledSeparatorFails) {
    const std::string start(START_FEN);
    std::size_t separators = 0;
    for (std::size_t i = 0; i < start.size(); ++i) {
        if (start[i] != ' ') {
            continue;
        }
        ++separators;
        const std::string fen = start.substr(0, i) + " " + start.substr(i);
        const FenResult result = from_fen(fen);
        EXPECT_FALSE(result.board.has_value()) << '"' << fen << '"';
        EXPECT_TRUE(result.error.starts_with("Invalid FEN: ")) << result.error;
    }
    EXPECT_EQ(separators, 5U);
}

TEST(FenRead, BoardIsFreshlyBuilt) {
    const BoardState b = board_of("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 12 40");
    EXPECT_EQ(b.hash, 0x999E5A9394BD2A84ULL);
    EXPECT_EQ(b.halfmove_clock, 12U);
    EXPECT_EQ(b.plies, 0U);
    EXPECT_EQ(b.history_len, 0U);
    EXPECT_EQ(b.side, White);
    EXPECT_EQ(b.en_passant, 0U);
    EXPECT_EQ(piece_at(b, E1), make_piece(White, King));
    EXPECT_EQ(piece_at(b, 63), make_piece(Black, Rook));

    const BoardState e4 = board_of("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(e4.hash, 0xF1D4BAAAB43F51B7ULL);
    EXPECT_EQ(e4.en_passant, Bitboard{1} << 20);
    EXPECT_EQ(e4.side, Black);
}

struct TouchedCase {
    const char* fen;
    Bitboard castle_touched;
};

// Only the rook corners of absent rights are marked, never the king squares.
constexpr TouchedCase TOUCHED[] = {
    {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", 0},
    {"r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1", 0x8100000000000081ULL},
    {"r3k2r/8/8/8/8/8/8/R3K2R w Kq - 0 1", 0x8000000000000001ULL},
    {"r2k3r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", 0x8100000000000000ULL},
    {"r3k3/8/8/8/8/8/8/4K2R w KQkq - 0 1", 0x8000000000000001ULL},
};

TEST(FenRead, CastleTouchedMarksCornersOfAbsentRights) {
    for (const auto& c : TOUCHED) {
        const FenResult result = from_fen(c.fen);
        ASSERT_TRUE(result.board.has_value()) << c.fen << ": " << result.error;
        EXPECT_EQ(result.board->castle_touched, c.castle_touched) << c.fen;
    }
}

TEST(FenWrite, FullmoveNumberCountsPliesFromSetUp) {
    const BoardState start = board_of("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 30");
    const BoardState e4 = make_move(start, Move(0x131C));
    EXPECT_EQ(to_fen(e4), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    const BoardState e5 = make_move(e4, Move(0x1D24));
    EXPECT_EQ(to_fen(e5), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");
    // A null move counts for the halfmove clock but not for the move number.
    EXPECT_EQ(to_fen(make_null_move(e5)), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 1 2");
}

constexpr std::string_view FRAME = "+---+---+---+---+---+---+---+---+\n";
constexpr std::string_view EMPTY_RANK = "|   |   |   |   |   |   |   |   |\n";

TEST(Diagram, StartPosition) {
    std::string expected;
    expected += FRAME;
    expected += "| r | n | b | q | k | b | n | r |\n";
    expected += FRAME;
    expected += "| p | p | p | p | p | p | p | p |\n";
    expected += FRAME;
    for (int i = 0; i < 4; ++i) {
        expected += EMPTY_RANK;
        expected += FRAME;
    }
    expected += "| P | P | P | P | P | P | P | P |\n";
    expected += FRAME;
    expected += "| R | N | B | Q | K | B | N | R |\n";
    expected += FRAME;
    EXPECT_EQ(diagram(board_of(START_FEN)), expected);
}

TEST(Diagram, EmptyBoard) {
    // No kings: the FEN reader refuses this board, so it is built directly.
    std::array<Piece, 64> squares{};
    squares.fill(EMPTY);
    std::string expected(FRAME);
    for (int i = 0; i < 8; ++i) {
        expected += EMPTY_RANK;
        expected += FRAME;
    }
    EXPECT_EQ(diagram(from_parts(squares, White, 0, 0, 0)), expected);
}

TEST(Diagram, PiecesStandOnTheirSquares) {
    // Rank 8 is the second line, file a the first cell; the bishop is on c4.
    const std::string text = diagram(board_of("7k/8/8/8/2B5/8/8/K7 w - - 0 1"));
    ASSERT_EQ(text.size(), 17U * 34U);
    EXPECT_EQ(text.substr(1 * 34, 34), "|   |   |   |   |   |   |   | k |\n");
    EXPECT_EQ(text.substr(9 * 34, 34), "|   |   | B |   |   |   |   |   |\n");
    EXPECT_EQ(text.substr(15 * 34, 34), "| K |   |   |   |   |   |   |   |\n");
}

}  // namespace
}  // namespace kestrune
