// Squares, colours, piece codes and their text forms: the numbering every
// table of the engine is indexed by.
#pragma once

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune {

// a1 = 0, b1 = 1, ..., h8 = 63: file = index % 8, rank = index / 8.
using Square = std::uint8_t;

enum Color : std::uint8_t { White = 0, Black = 1 };

enum PieceKind : std::uint8_t { Pawn = 0, Knight = 1, Bishop = 2, Rook = 3, Queen = 4, King = 5 };

// Piece code = colour * 8 + kind; white 0-5, black 8-13. Codes 6 and 7 never occur.
using Piece = std::uint8_t;
inline constexpr Piece EMPTY = 14;

inline constexpr Square A1 = 0, C1 = 2, D1 = 3, E1 = 4, F1 = 5, G1 = 6, H1 = 7;
inline constexpr Square A8 = 56, C8 = 58, D8 = 59, E8 = 60, F8 = 61, G8 = 62, H8 = 63;

inline constexpr std::string_view PIECE_LETTERS = "PNBRQK??pnbrqk";

constexpr Color opposite(Color c) { return static_cast<Color>(c ^ 1); }
constexpr int file_of(Square s) { return s & 7; }
constexpr int rank_of(Square s) { return s >> 3; }
constexpr Square make_square(int file, int rank) { return static_cast<Square>(file + 8 * rank); }
// The same file seen from the other side of the board.
constexpr Square mirror(Square s) { return static_cast<Square>(s ^ 56); }

constexpr Piece make_piece(Color c, PieceKind k) { return static_cast<Piece>(c * 8 + k); }
constexpr int kind_of(Piece p) { return p & 7; }
constexpr Color color_of(Piece p) { return static_cast<Color>(p >> 3); }

// Letter of a piece code from a 15-letter alphabet (the last letter is for EMPTY);
// codes beyond it are drawn as '?'.
constexpr char piece_letter(std::string_view alphabet, Piece p) { return p < alphabet.size() ? alphabet[p] : '?'; }

// Two characters, e.g. "e2".
std::string square_name(Square s);

// Reads the first two characters as a file letter a-h and a rank digit 1-8.
// Anything else, including fewer than two characters, is no square.
std::optional<Square> parse_square(std::string_view text);

// An optional "+" then digits, within the type's range: the FEN clocks and
// every number of a command are read this one way.
template <typename T>
std::optional<T> parse_unsigned(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace kestrune
