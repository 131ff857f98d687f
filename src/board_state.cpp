#include "board_state.h"

namespace kestrune {

BoardState from_parts(const std::array<Piece, 64>& placement, Color side, Bitboard castle_touched, Bitboard en_passant,
                      std::uint64_t halfmove_clock, const CastlingOrigins& castling, bool chess960) {
    BoardState board{};
    board.castling = castling;
    board.chess960 = chess960;
    board.phase = PHASE_TOTAL;
    board.side = side;
    board.castle_touched = castle_touched;
    board.en_passant = en_passant;
    board.halfmove_clock = halfmove_clock;
    board.squares.fill(EMPTY);
    for (int s = 0; s < 64; ++s) {
        const Piece p = placement[static_cast<std::size_t>(s)];
        if (p != EMPTY) {
            put_piece(board, p, static_cast<Square>(s));
        }
    }
    if (side == Black) {
        board.hash ^= ZOBRIST.side_key;
    }
    if (en_passant != 0) {
        board.hash ^= ZOBRIST.en_passant_keys[static_cast<std::size_t>(file_of(lowest_square(en_passant)))];
    }
    return board;
}

namespace {

// The board copy is the price of every move. Left to itself the compiler
// copies this size with "rep movs", whose start-up cost dwarfs the copy;
// fixed 32-byte blocks become a handful of vector loads and stores.
inline void copy_board(BoardState& to, const BoardState& from) {
    constexpr std::size_t BLOCK = 32;
    auto* out = reinterpret_cast<unsigned char*>(&to);
    const auto* in = reinterpret_cast<const unsigned char*>(&from);
    std::size_t offset = 0;
#pragma GCC unroll 16
    for (; offset + BLOCK <= sizeof(BoardState); offset += BLOCK) {
        __builtin_memcpy(out + offset, in + offset, BLOCK);
    }
    for (; offset + 8 <= sizeof(BoardState); offset += 8) {
        __builtin_memcpy(out + offset, in + offset, 8);
    }
    static_assert(sizeof(BoardState) % 8 == 0);
}

// The full make's editor: every change keeps placement, hash, phase and sums
// in step (the in-place primitives), and a capture restarts the clock.
class BoardEdit {
public:
    explicit BoardEdit(BoardState& next) : next_(next) {}
    KESTRUNE_FORCE_INLINE void relocate(Square from, Square to) { move_piece(next_, from, to); }
    KESTRUNE_FORCE_INLINE void lift(Square s) { remove_piece(next_, s); }
    KESTRUNE_FORCE_INLINE void capture(Square s) {
        next_.halfmove_clock = 0;
        remove_piece(next_, s);
    }
    KESTRUNE_FORCE_INLINE void place(Piece p, Square s) { put_piece(next_, p, s); }
    KESTRUNE_FORCE_INLINE void set_en_passant(Square passed) {
        next_.en_passant = square_bb(passed);
        next_.hash ^= ZOBRIST.en_passant_keys[static_cast<std::size_t>(file_of(passed))];
    }

private:
    BoardState& next_;
};

template <bool Record>
BoardState make(const BoardState& board, Move m) {
    BoardState next;
    copy_board(next, board);
    const Square from = m.from();
    const Square to = m.to();
    // Scalars are read from the source, not from the fresh copy: a load that
    // straddles two of the copy's stores cannot be forwarded and stalls.
    if constexpr (Record) {
        // A full history is never handed in; dropping the move keeps the board sound if it were.
        if (board.history_len < HISTORY_CAPACITY) {
            next.history[board.history_len] = m;
            next.history_len = board.history_len + 1;
        }
    }
    next.plies = board.plies + 1;
    next.halfmove_clock = kind_of(board.squares[from]) == Pawn ? 0 : board.halfmove_clock + 1;
    next.castle_touched = board.castle_touched | square_bb(from) | square_bb(to);
    if (board.en_passant != 0) {
        next.hash = board.hash ^
                    ZOBRIST.en_passant_keys[static_cast<std::size_t>(file_of(lowest_square(board.en_passant)))];
        next.en_passant = 0;
    }
    BoardEdit edit(next);
    move_pieces(edit, board.castling, board.side, from, to, m.kind());
    next.side = opposite(board.side);
    next.hash ^= ZOBRIST.side_key;
    return next;
}

}  // namespace

BoardState make_move(const BoardState& board, Move m) { return make<true>(board, m); }
BoardState make_move_unrecorded(const BoardState& board, Move m) { return make<false>(board, m); }

BoardState make_null_move(const BoardState& board) {
    BoardState next;
    copy_board(next, board);
    if (next.en_passant != 0) {
        next.hash ^= ZOBRIST.en_passant_keys[static_cast<std::size_t>(file_of(lowest_square(next.en_passant)))];
        next.en_passant = 0;
    }
    next.hash ^= ZOBRIST.side_key;
    ++next.halfmove_clock;
    next.side = opposite(next.side);
    return next;
}

KESTRUNE_NEVER_INLINE CastlingSquares game_castling_squares(const CastlingOrigins& game, Color c, CastlingSide side) {
    return castling_squares(game, c, side);
}

bool has_castling_right(const BoardState& board, Color c, CastlingSide side) {
    const CastlingRule rule = castling_rule(board, c, side);
    return (board.castle_touched & (square_bb(rule.king_from) | square_bb(rule.rook_from))) == 0;
}

UciText move_text(const BoardState& board, Move m) {
    if (!board.chess960 || !is_castling(m.kind())) {
        return uci_text(m);
    }
    return uci_text(Move(m.from(), castling_rule(board, board.side, castling_side(m.kind())).rook_from, Quiet));
}

std::string move_string(const BoardState& board, Move m) { return std::string(move_text(board, m).view()); }

Bitboard attackers_to(const BoardState& board, Square t, Bitboard occupancy, Color c) {
    const Bitboard queens = board.pieces(c, Queen);
    return (pawn_attackers_of(c, square_bb(t)) & board.pieces(c, Pawn)) |
           (board.pieces(c, Knight) & knight_attacks(t)) |
           ((board.pieces(c, Bishop) | queens) & bishop_attacks(t, occupancy)) |
           ((board.pieces(c, Rook) | queens) & rook_attacks(t, occupancy));
}

bool in_check(const BoardState& board) {
    const Color us = board.side;
    const Color them = opposite(us);
    const Square k = board.king_square(us);
    const Bitboard queens = board.pieces(them, Queen);
    const Bitboard all = board.occupied();
    return (pawn_attackers_of(them, square_bb(k)) & board.pieces(them, Pawn)) != 0 ||
           (board.pieces(them, Knight) & knight_attacks(k)) != 0 ||
           (rook_attacks(k, all) & (board.pieces(them, Rook) | queens)) != 0 ||
           (bishop_attacks(k, all) & (board.pieces(them, Bishop) | queens)) != 0;
}

}  // namespace kestrune
