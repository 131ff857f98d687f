// The 16-bit move, its kinds and what they do to squares besides the origin and
// destination (castling rules, the en-passant victim), its UCI text, and the
// fixed-capacity move list.
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

// Kind bit 3 marks a promotion, bit 2 a capture (en passant included); in a
// promotion the low two bits are n, b, r, q.
constexpr bool is_promotion(MoveKind k) { return (k & 8) != 0; }
constexpr bool is_capture(MoveKind k) { return (k & Capture) != 0; }
constexpr bool is_castling(MoveKind k) { return k == CastleKingside || k == CastleQueenside; }
// Knight, bishop, rook or queen, for a promotion.
constexpr PieceKind promoted_piece(MoveKind k) { return static_cast<PieceKind>((k & 3) + 1); }

// The square of the pawn an en-passant capture by `mover` to `target` removes.
constexpr Square en_passant_victim(Color mover, Square target) {
    return static_cast<Square>(mover == White ? target - 8 : target + 8);
}

enum CastlingSide : std::uint8_t { Kingside = 0, Queenside = 1 };

constexpr CastlingSide castling_side(MoveKind k) { return k == CastleKingside ? Kingside : Queenside; }

// Where castling takes the king and the rook. Make, generation, perft and FEN
// read these squares from here and nowhere else (the squares castling must
// find empty and unattacked are derived from them). The destinations are the
// same in every game (g and f king-side, c and d queen-side); the origins are
// per game: the standard ones, or a Chess960 array's, kept by the position.
struct CastlingRule {
    Square king_from;
    Square king_to;
    Square rook_from;
    Square rook_to;
};

// A game's castling origins: the king's square by colour, the rook's by colour
// then side. A right absent from the start has a rook origin off the back
// rank, which the set-up marks as touched.
struct CastlingOrigins {
    std::array<Square, 2> king;
    std::array<std::array<Square, 2>, 2> rook;
    friend constexpr bool operator==(const CastlingOrigins&, const CastlingOrigins&) = default;
};

inline constexpr CastlingOrigins STANDARD_CASTLING{{E1, E8}, {{{H1, A1}, {H8, A8}}}};

constexpr CastlingRule castling_rule(const CastlingOrigins& origins, Color c, CastlingSide side) {
    const int rank = c == White ? 0 : 7;
    return {origins.king[c], make_square(side == Kingside ? 6 : 2, rank), origins.rook[c][side],
            make_square(side == Kingside ? 5 : 3, rank)};
}

//  15  14  13 12 | 11 ... 6 | 5 ... 0
// promo capture  |  origin  | destination
// kind = bits 12-15.
struct Move {
    // Left uninitialised by default so that move lists on the stack cost nothing to create.
    std::uint16_t bits;

    Move() = default;
    constexpr explicit Move(std::uint16_t raw) : bits(raw) {}
    constexpr Move(Square from, Square to, MoveKind kind)
        : bits(static_cast<std::uint16_t>(to | (from << 6) | (kind << 12))) {}

    constexpr Square to() const { return static_cast<Square>(bits & 63); }
    constexpr Square from() const { return static_cast<Square>((bits >> 6) & 63); }
    constexpr MoveKind kind() const { return static_cast<MoveKind>(bits >> 12); }
    constexpr bool is_promotion() const { return kestrune::is_promotion(kind()); }
    constexpr bool is_capture() const { return kestrune::is_capture(kind()); }
    constexpr PieceKind promoted_kind() const { return promoted_piece(kind()); }

    friend constexpr bool operator==(Move, Move) = default;
};

constexpr Move castling_move(Color c, CastlingSide side) {
    const CastlingRule r = castling_rule(STANDARD_CASTLING, c, side);
    return Move(r.king_from, r.king_to, side == Kingside ? CastleKingside : CastleQueenside);
}
inline constexpr Move WHITE_CASTLE_KINGSIDE = castling_move(White, Kingside);
inline constexpr Move WHITE_CASTLE_QUEENSIDE = castling_move(White, Queenside);
inline constexpr Move BLACK_CASTLE_KINGSIDE = castling_move(Black, Kingside);
inline constexpr Move BLACK_CASTLE_QUEENSIDE = castling_move(Black, Queenside);
// Kind 7, never generated: "no best move yet" inside the search.
inline constexpr Move NO_MOVE{0x7000};
static_assert(WHITE_CASTLE_KINGSIDE.bits == 0x2106 && BLACK_CASTLE_QUEENSIDE.bits == 0x3F3A);

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
