// The position record with copy-make: its incrementally kept hash key (with
// the keys behind it), piece-square sums and phase (their terms come from
// evaluation.h), and the attack tests the rules and the search ask of it.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "bitboard.h"
#include "evaluation.h"
#include "move.h"
#include "square.h"

namespace kestrune {

inline constexpr int HISTORY_CAPACITY = 40;

// A position, copied whole for every move and never undone.
struct BoardState {
    std::uint64_t history_len;
    std::array<Move, HISTORY_CAPACITY> history;  // moves made with make_move, oldest first
    std::array<Bitboard, 15> bitboards;          // per piece code; 6, 7 and EMPTY stay empty
    std::array<Piece, 64> squares;
    std::uint64_t hash;
    std::uint64_t plies;
    std::uint64_t halfmove_clock;
    // Every square a move has left or entered, plus the rook corner of each
    // castling right absent at set-up: a right lives while its king square
    // and rook corner are both untouched.
    Bitboard castle_touched;
    Bitboard en_passant;    // empty, or the square a double-stepping pawn passed over
    std::int32_t phase;     // 24 minus the phase weights of all pieces
    std::int16_t mg_score;  // White minus Black, 16-bit wrapping
    std::int16_t eg_score;
    Color side;
    // Per game: where castling starts, and whether this is a Chess960 game
    // (castling written as the king taking its own rook). Outside Chess960
    // the origins are always the standard ones.
    CastlingOrigins castling;
    bool chess960;

    Bitboard pieces(Color c, PieceKind k) const { return bitboards[make_piece(c, k)]; }
    Bitboard pieces(Color c) const {
        const auto* b = &bitboards[static_cast<std::size_t>(c) * 8];
        return b[0] | b[1] | b[2] | b[3] | b[4] | b[5];
    }
    Bitboard occupied() const { return pieces(White) | pieces(Black); }
    Square king_square(Color c) const { return lowest_square(pieces(c, King)); }
};

static_assert(std::is_trivially_copyable_v<BoardState>);
static_assert(sizeof(BoardState) <= 328, "the board is copied at every node: keep it small");

BoardState from_parts(const std::array<Piece, 64>& placement, Color side, Bitboard castle_touched, Bitboard en_passant,
                      std::uint64_t halfmove_clock, const CastlingOrigins& castling = STANDARD_CASTLING,
                      bool chess960 = false);

inline Piece piece_at(const BoardState& board, Square s) { return board.squares[s]; }

// The squares a castling rule asks about, derived from its four squares.
struct CastlingSquares {
    CastlingRule rule;
    Bitboard origins;    // a first move from either ends the right
    Bitboard empty;      // all the king and the rook cross or reach, but themselves
    Bitboard king_path;  // what the king crosses or reaches: none may be attacked
};

namespace detail {
// From a to b on one rank, both included.
constexpr Bitboard rank_span(Square a, Square b) {
    const Square low = a < b ? a : b;
    const Square high = a < b ? b : a;
    return (Bitboard{2} << high) - (Bitboard{1} << low);
}
}  // namespace detail

inline CastlingRule castling_rule(const BoardState& board, Color c, CastlingSide side) {
    return castling_rule(board.castling, c, side);
}

constexpr CastlingSquares castling_squares(const CastlingOrigins& game, Color c, CastlingSide side) {
    const CastlingRule r = castling_rule(game, c, side);
    const Bitboard king_span = detail::rank_span(r.king_from, r.king_to);
    const Bitboard origins = square_bb(r.king_from) | square_bb(r.rook_from);
    return {r, origins, (king_span | detail::rank_span(r.rook_from, r.rook_to)) & ~origins,
            king_span & ~square_bb(r.king_from)};
}

// The castling squares of a game (a call, not inlined: the standard case must
// not pay for the general one).
CastlingSquares game_castling_squares(const CastlingOrigins& game, Color c, CastlingSide side);

// Runs `use` on the game's castling squares and returns what it returns.
// Outside Chess960 `use` sees the standard squares as constants: each branch
// has its own copy of the caller's code, so the standard one folds them in.
template <Color c, CastlingSide side, typename Use>
KESTRUNE_FORCE_INLINE auto with_castling_squares(const BoardState& board, Use use) {
    static constexpr CastlingSquares STANDARD = castling_squares(STANDARD_CASTLING, c, side);
    if (board.chess960) [[unlikely]] {
        return use(game_castling_squares(board.castling, c, side));
    }
    return use(STANDARD);
}

// 905 keys: 14 x 64 piece keys, 8 en-passant file keys, the side key.
struct ZobristKeys {
    std::array<std::array<std::uint64_t, 64>, 14> piece_keys;
    std::array<std::uint64_t, 8> en_passant_keys;
    std::uint64_t side_key;
};

namespace detail {
// PCG32 (XSH RR) from a fixed state, so every run has the same keys; each key
// is two outputs, the first one the high half.
constexpr ZobristKeys build_keys() {
    std::uint64_t state = 0xA84F2F9EE9A2F961ULL;
    auto next_output = [&state]() {
        const auto x = static_cast<std::uint32_t>(((state >> 18) ^ state) >> 27);
        // Rotated by hand: std::rotr takes an int count in libstdc++ and an
        // unsigned one in libc++, so either cast warns in one of them.
        const auto r = static_cast<std::uint32_t>(state >> 59);
        state = state * 0x5851F42D4C957F2DULL + 0x14057B7EF767814FULL;
        return static_cast<std::uint32_t>((x >> r) | (x << ((32U - r) & 31U)));
    };
    auto next_key = [&next_output]() {
        const std::uint64_t high = next_output();
        const std::uint64_t low = next_output();
        return (high << 32) | low;
    };
    ZobristKeys keys{};
    for (auto& row : keys.piece_keys) {
        for (auto& key : row) {
            key = next_key();
        }
    }
    for (auto& key : keys.en_passant_keys) {
        key = next_key();
    }
    keys.side_key = next_key();
    return keys;
}
}  // namespace detail

inline constexpr ZobristKeys ZOBRIST = detail::build_keys();

// In-place primitives, each keeping placement, hash, phase and sums in step.

// s must be empty.
KESTRUNE_FORCE_INLINE void put_piece(BoardState& board, Piece p, Square s) {
    board.phase -= PHASE_WEIGHTS[static_cast<std::size_t>(kind_of(p))];
    board.mg_score = detail::wrapping_add(board.mg_score, MG_TABLE[p][s]);
    board.eg_score = detail::wrapping_add(board.eg_score, EG_TABLE[p][s]);
    board.squares[s] = p;
    board.bitboards[p] |= square_bb(s);
    board.hash ^= ZOBRIST.piece_keys[p][s];
}

// s must hold a piece.
KESTRUNE_FORCE_INLINE void remove_piece(BoardState& board, Square s) {
    const Piece p = board.squares[s];
    board.phase += PHASE_WEIGHTS[static_cast<std::size_t>(kind_of(p))];
    board.mg_score = detail::wrapping_add(board.mg_score, -MG_TABLE[p][s]);
    board.eg_score = detail::wrapping_add(board.eg_score, -EG_TABLE[p][s]);
    board.hash ^= ZOBRIST.piece_keys[p][s];
    board.bitboards[p] &= ~square_bb(s);
    board.squares[s] = EMPTY;
}

// from holds a piece, to is empty: a capture removes its victim first.
KESTRUNE_FORCE_INLINE void move_piece(BoardState& board, Square from, Square to) {
    const Piece p = board.squares[from];
    board.mg_score = detail::wrapping_add(board.mg_score, MG_TABLE[p][to] - MG_TABLE[p][from]);
    board.eg_score = detail::wrapping_add(board.eg_score, EG_TABLE[p][to] - EG_TABLE[p][from]);
    board.hash ^= ZOBRIST.piece_keys[p][from] ^ ZOBRIST.piece_keys[p][to];
    board.bitboards[p] ^= square_bb(from) | square_bb(to);
    board.squares[to] = p;
    board.squares[from] = EMPTY;
}

// The evaluation's parts of the position, and of the child a move leaves,
// read without making it: summed the way the in-place primitives sum them
// (the 16-bit sums wrap, so the order of the terms does not matter).
inline ScoreParts score_parts(const BoardState& board) { return {board.phase, board.mg_score, board.eg_score}; }

// Static score for the side to move.
inline std::int16_t evaluate(const BoardState& position) {
    return evaluate_parts(score_parts(position), position.side);
}

KESTRUNE_FORCE_INLINE ScoreParts score_parts_after(const BoardState& board, Move m) {
    const Square from = m.from();
    const Square to = m.to();
    const MoveKind kind = m.kind();
    const Piece p = board.squares[from];
    int phase = 0;
    int mg = 0;
    int eg = 0;
    detail::add_piece_terms(phase, mg, eg, p, from, -1);
    if (kind == EnPassant) {
        const Square victim = en_passant_victim(board.side, to);
        detail::add_piece_terms(phase, mg, eg, board.squares[victim], victim, -1);
    } else if (is_capture(kind)) {
        detail::add_piece_terms(phase, mg, eg, board.squares[to], to, -1);
    }
    const Piece arriving = is_promotion(kind) ? make_piece(board.side, m.promoted_kind()) : p;
    detail::add_piece_terms(phase, mg, eg, arriving, to, 1);
    if (is_castling(kind)) {
        const CastlingRule rule = castling_rule(board, board.side, castling_side(kind));
        const Piece rook = board.squares[rule.rook_from];
        detail::add_piece_terms(phase, mg, eg, rook, rule.rook_from, -1);
        detail::add_piece_terms(phase, mg, eg, rook, rule.rook_to, 1);
    }
    return {board.phase + phase, detail::wrapping_add(board.mg_score, mg), detail::wrapping_add(board.eg_score, eg)};
}

// Whether the move leaves the opponent in check (in_check of the child), read
// from the board before it: our pawns, knights and sliders as the move leaves
// them, seen from the opponent's king through the occupancy after the move.
KESTRUNE_FORCE_INLINE bool leaves_opponent_in_check(const BoardState& board, Move m) {
    const Color us = board.side;
    const Square from = m.from();
    const Square to = m.to();
    const MoveKind kind = m.kind();
    const Bitboard queens = board.pieces(us, Queen);
    std::array<Bitboard, 4> attackers{board.pieces(us, Pawn), board.pieces(us, Knight),
                                      board.pieces(us, Bishop) | queens, board.pieces(us, Rook) | queens};
    Bitboard occupancy = board.occupied() & ~square_bb(from);
    for (Bitboard& set : attackers) {
        set &= ~square_bb(from);
    }
    const PieceKind arriving = is_promotion(kind) ? m.promoted_kind()
                                                  : static_cast<PieceKind>(kind_of(board.squares[from]));
    switch (arriving) {
        case Pawn:
            attackers[0] |= square_bb(to);
            break;
        case Knight:
            attackers[1] |= square_bb(to);
            break;
        case Bishop:
            attackers[2] |= square_bb(to);
            break;
        case Rook:
            attackers[3] |= square_bb(to);
            break;
        case Queen:
            attackers[2] |= square_bb(to);
            attackers[3] |= square_bb(to);
            break;
        default:
            break;
    }
    occupancy |= square_bb(to);
    if (kind == EnPassant) {
        occupancy &= ~square_bb(en_passant_victim(us, to));
    } else if (is_castling(kind)) {
        // In Chess960 the rook may start where the king arrives, or arrive where the king started.
        const CastlingRule rule = castling_rule(board, us, castling_side(kind));
        attackers[3] = (attackers[3] & ~square_bb(rule.rook_from)) | square_bb(rule.rook_to);
        occupancy = (occupancy & ~square_bb(rule.rook_from)) | square_bb(rule.rook_to) | square_bb(to);
    }
    const Square k = board.king_square(opposite(us));
    return (pawn_attackers_of(us, square_bb(k)) & attackers[0]) != 0 || (knight_attacks(k) & attackers[1]) != 0 ||
           (bishop_attacks(k, occupancy) & attackers[2]) != 0 || (rook_attacks(k, occupancy) & attackers[3]) != 0;
}

// The placement changes of one move by `us`, written once for both makes:
// the editor decides what else stays in step (the full make's keeps the hash,
// the sums, the phase and the clock; perft's keeps bitboards alone). Each
// piece is found where it stood before the move.
template <typename Edit>
KESTRUNE_FORCE_INLINE void move_pieces(Edit& edit, const CastlingOrigins& origins, Color us, Square from, Square to,
                                       MoveKind kind) {
    switch (kind) {
        case Quiet:
            edit.relocate(from, to);
            break;
        case DoublePawnPush:
            edit.relocate(from, to);
            edit.set_en_passant(static_cast<Square>(us == White ? from + 8 : from - 8));
            break;
        case CastleKingside:
        case CastleQueenside: {
            // The rook is lifted first: in Chess960 the king may arrive on
            // the rook's origin, the rook on the king's, or either stay.
            const CastlingRule rule = castling_rule(origins, us, castling_side(kind));
            edit.lift(rule.rook_from);
            if (rule.king_from != rule.king_to) {
                edit.relocate(rule.king_from, rule.king_to);
            }
            edit.place(make_piece(us, Rook), rule.rook_to);
            break;
        }
        case Capture:
            edit.capture(to);
            edit.relocate(from, to);
            break;
        case EnPassant:
            edit.relocate(from, to);
            edit.lift(en_passant_victim(us, to));
            break;
        case PromoteKnight:
        case PromoteBishop:
        case PromoteRook:
        case PromoteQueen:
            edit.lift(from);
            edit.place(make_piece(us, promoted_piece(kind)), to);
            break;
        case CapturePromoteKnight:
        case CapturePromoteBishop:
        case CapturePromoteRook:
        case CapturePromoteQueen:
            edit.lift(from);
            edit.lift(to);
            edit.place(make_piece(us, promoted_piece(kind)), to);
            break;
        default:
            // Kinds 6 and 7 are never generated: reaching here is a programming error.
            std::abort();
    }
}

// Perft's make. Below the root, perft reads nothing but the placement and the
// castling and en-passant state, so its child copies only those and skips the
// hash, the piece-square sums, the phase, the clocks and the history; the
// other fields are left unset. The generator reads bitboards only, so a child
// that is only counted, never made from, does without `squares` too
// (WithSquares false): piece codes are read from the parent.
template <bool WithSquares>
class PerftEdit {
public:
    PerftEdit(BoardState& next, const BoardState& board) : next_(next), board_(board) {}
    KESTRUNE_FORCE_INLINE void relocate(Square from, Square to) {
        const Piece p = board_.squares[from];
        next_.bitboards[p] ^= square_bb(from) | square_bb(to);
        if constexpr (WithSquares) {
            next_.squares[to] = p;
            next_.squares[from] = EMPTY;
        }
    }
    KESTRUNE_FORCE_INLINE void lift(Square s) {
        next_.bitboards[board_.squares[s]] &= ~square_bb(s);
        if constexpr (WithSquares) {
            next_.squares[s] = EMPTY;
        }
    }
    KESTRUNE_FORCE_INLINE void capture(Square s) { lift(s); }
    KESTRUNE_FORCE_INLINE void place(Piece p, Square s) {
        next_.bitboards[p] |= square_bb(s);
        if constexpr (WithSquares) {
            next_.squares[s] = p;
        }
    }
    KESTRUNE_FORCE_INLINE void set_en_passant(Square passed) { next_.en_passant = square_bb(passed); }

private:
    BoardState& next_;
    const BoardState& board_;
};

template <Color us, bool WithSquares>
KESTRUNE_FORCE_INLINE void make_for_perft(const BoardState& b, BoardState& n, Square from, Square to, MoveKind kind) {
    std::memcpy(&n.bitboards, &b.bitboards, sizeof b.bitboards);
    if constexpr (WithSquares) {
        std::memcpy(&n.squares, &b.squares, sizeof b.squares);
    }
    n.castle_touched = b.castle_touched | square_bb(from) | square_bb(to);
    n.en_passant = 0;
    n.side = opposite(us);
    n.castling = b.castling;
    n.chess960 = b.chess960;
    PerftEdit<WithSquares> edit(n, b);
    move_pieces(edit, b.castling, us, from, to, kind);
}

// The move must come from generate_moves for this board; make_move also needs
// a free history slot (history_len < 40).
BoardState make_move(const BoardState& board, Move m);
BoardState make_move_unrecorded(const BoardState& board, Move m);
BoardState make_null_move(const BoardState& board);

bool has_castling_right(const BoardState& board, Color c, CastlingSide side);

// The UCI text of a move of this game: castling is the king's move to its
// destination, or in Chess960 the king taking its own rook.
UciText move_text(const BoardState& board, Move m);
std::string move_string(const BoardState& board, Move m);

// Pieces of colour c attacking square t through `occupancy`; kings excluded.
Bitboard attackers_to(const BoardState& board, Square t, Bitboard occupancy, Color c);
bool in_check(const BoardState& board);

}  // namespace kestrune
