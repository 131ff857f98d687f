#include "square.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

namespace kestrune {
namespace {

struct NamedSquare {
    Square square;
    std::string_view name;
};

constexpr NamedSquare NAMED_SQUARES[] = {
    {0, "a1"}, {7, "h1"}, {12, "e2"}, {20, "e3"}, {35, "d5"}, {56, "a8"}, {63, "h8"},
};

TEST(SquareText, NamesFileLetterThenRankDigit) {
    for (const auto& [square, name] : NAMED_SQUARES) {
        EXPECT_EQ(square_name(square), name) << int{square};
        EXPECT_EQ(parse_square(name), std::optional<Square>(square)) << name;
    }
}

TEST(SquareText, EveryNameReadsBackToItsSquare) {
    for (int s = 0; s < 64; ++s) {
        const auto square = static_cast<Square>(s);
        EXPECT_EQ(parse_square(square_name(square)), std::optional<Square>(square)) << s;
    }
}

TEST(SquareText, ReadsOnlyTheFirstTwoCharacters) {
    EXPECT_EQ(parse_square("e3x"), std::optional<Square>(20));
    EXPECT_EQ(parse_square("h8 and more"), std::optional<Square>(63));
}

// Text outside a-h / 1-8 must never alias a real square.
TEST(SquareText, RejectsTextThatNamesNoSquare) {
    for (const std::string_view text : {"", "e", "z", "i1", "e9", "e0", "a9", "h0", "E2", "`1", "1e", " e2"}) {
        EXPECT_EQ(parse_square(text), std::nullopt) << '"' << text << '"';
    }
}

TEST(SquareNumbering, NamedSquaresAndMirror) {
    EXPECT_EQ(A1, 0);
    EXPECT_EQ(E1, 4);
    EXPECT_EQ(H1, 7);
    EXPECT_EQ(A8, 56);
    EXPECT_EQ(E8, 60);
    EXPECT_EQ(H8, 63);
    EXPECT_EQ(file_of(35), 3);
    EXPECT_EQ(rank_of(35), 4);
    EXPECT_EQ(make_square(4, 1), 12);
    EXPECT_EQ(mirror(12), 52);  // e2 <-> e7
    EXPECT_EQ(mirror(56), 0);
}

struct PieceCase {
    Color color;
    PieceKind kind;
    Piece code;
    char letter;
};

constexpr PieceCase PIECES[] = {
    {White, Pawn, 0, 'P'},    {White, Knight, 1, 'N'}, {White, King, 5, 'K'},   {Black, Pawn, 8, 'p'},
    {Black, Bishop, 10, 'b'}, {Black, Rook, 11, 'r'},  {Black, Queen, 12, 'q'}, {Black, King, 13, 'k'},
};

TEST(PieceCode, ColourTimesEightPlusKind) {
    for (const auto& c : PIECES) {
        EXPECT_EQ(make_piece(c.color, c.kind), c.code);
        EXPECT_EQ(kind_of(c.code), c.kind);
        EXPECT_EQ(color_of(c.code), c.color);
        EXPECT_EQ(PIECE_LETTERS[c.code], c.letter);
    }
    EXPECT_EQ(opposite(White), Black);
    EXPECT_EQ(opposite(Black), White);
}

TEST(PieceCode, EmptyIsNoPawn) {
    EXPECT_EQ(EMPTY, 14);
    // The pawn test (code & 7) == 0 is applied to any square, empty ones included.
    EXPECT_NE(kind_of(EMPTY), Pawn);
}

TEST(PieceCode, LettersBeyondTheAlphabetAreQuestionMarks) {
    constexpr std::string_view alphabet = "PNBRQK??pnbrqk1";
    EXPECT_EQ(piece_letter(alphabet, 4), 'Q');
    EXPECT_EQ(piece_letter(alphabet, 6), '?');
    EXPECT_EQ(piece_letter(alphabet, EMPTY), '1');
    EXPECT_EQ(piece_letter(alphabet, 15), '?');
    EXPECT_EQ(piece_letter(alphabet, 255), '?');
}

}  // namespace
}  // namespace kestrune
