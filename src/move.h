// The 16-bit move, its kinds, its UCI text, and the fixed-capacity move list.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "square.h"

namespace kestrune {

enum MoveKind : std::uint8_t {
    Quiet = 0,
    DoublePawnPush = 1,
    CastleKingside = 2,
    CastleQueenside = 3,
    Capture = 4,
    EnPassant = 5,
    PromoteKnight = 8,
    PromoteBishop = 9,
    PromoteRook = 10,
    PromoteQueen = 11,
    CapturePromoteKnight = 12,
    CapturePromoteBishop = 13,
    CapturePromoteRook = 14,
    CapturePromoteQueen = 15,
};

//  15  14  13 12 | 11 ... 6 | 5 ... 0
// promo capture  |  origin  | destination
// kind = bits 12-15; in a promotion the low two kind bits are n, b, r, q.
struct Move {
    // Left uninitialised by default so that move lists on the stack cost nothing to create.
    std::uint16_t bits;

    Move() = default;
    constexpr explicit Move(std::uint16_t raw) : bits(raw) {}
    constexpr Move(Square from, Square to, int kind)
        : bits(static_cast<std::uint16_t>(to | (from << 6) | (kind << 12))) {}

    constexpr Square to() const { return static_cast<Square>(bits & 63); }
    constexpr Square from() const { return static_cast<Square>((bits >> 6) & 63); }
    constexpr int kind() const { return bits >> 12; }
    constexpr bool is_promotion() const { return (bits & 0x8000) != 0; }
    constexpr bool is_capture() const { return (bits & 0x4000) != 0; }
    // Knight, bishop, rook or queen, for a promotion.
    constexpr PieceKind promoted_kind() const { return static_cast<PieceKind>((kind() & 3) + 1); }

    friend constexpr bool operator==(Move, Move) = default;
};

inline constexpr Move WHITE_CASTLE_KINGSIDE{0x2106};
inline constexpr Move WHITE_CASTLE_QUEENSIDE{0x3102};
inline constexpr Move BLACK_CASTLE_KINGSIDE{0x2F3E};
inline constexpr Move BLACK_CASTLE_QUEENSIDE{0x3F3A};
// Kind 7, never generated: "no best move yet" inside the search.
inline constexpr Move NO_MOVE{0x7000};

// UCI text of a move, at most five characters, without allocation.
struct UciText {
    std::array<char, 6> chars{};
    std::uint8_t length = 0;
    std::string_view view() const { return {chars.data(), length}; }
    friend bool operator==(const UciText& a, const UciText& b) { return a.view() == b.view(); }
};

UciText uci_text(Move m);
std::string to_uci(Move m);

// A fixed-capacity list in generation order. Legal positions never have more
// than 218 moves; the position reader refuses placements with more than 16
// pieces a side, which keeps every position under 15 * 27 + 8 = 413 moves.
template <typename T, std::size_t Capacity>
class FixedList {
public:
    void push(T value) {
        assert(size_ < Capacity);
        items_[size_++] = value;
    }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) { return items_[i]; }
    const T& operator[](std::size_t i) const { return items_[i]; }
    T* begin() { return items_.data(); }
    T* end() { return items_.data() + size_; }
    const T* begin() const { return items_.data(); }
    const T* end() const { return items_.data() + size_; }

private:
    std::array<T, Capacity> items_;
    std::size_t size_ = 0;
};

inline constexpr std::size_t MAX_MOVES = 512;
using MoveList = FixedList<Move, MAX_MOVES>;

}  // namespace kestrune
