#include "perft.h"

#include <cstring>

#include "move_generation.h"

namespace kestrune {
namespace {

// Below the root, perft reads nothing but the placement and the castling and
// en-passant state. Its own make copies only those and skips the hash, the
// piece-square sums, the phase, the clocks and the history, which the full
// make keeps for the search. The other fields of a perft child are left unset.
// The generator reads bitboards only, so a child that is only counted, never
// made from, does without `squares` too (WithSquares false): piece codes are
// read from the parent.
template <bool WithSquares>
KESTRUNE_FORCE_INLINE void relocate(BoardState& n, const BoardState& b, Square from, Square to) {
    const Piece p = b.squares[from];
    n.bitboards[p] ^= square_bb(from) | square_bb(to);
    if constexpr (WithSquares) {
        n.squares[to] = p;
        n.squares[from] = EMPTY;
    }
}

template <bool WithSquares>
KESTRUNE_FORCE_INLINE void lift(BoardState& n, const BoardState& b, Square s) {
    n.bitboards[b.squares[s]] &= ~square_bb(s);
    if constexpr (WithSquares) {
        n.squares[s] = EMPTY;
    }
}

template <Color us, bool WithSquares>
KESTRUNE_FORCE_INLINE void make_for_perft(const BoardState& b, BoardState& n, Square from, Square to, int kind) {
    using S = generation::Side<us>;
    std::memcpy(&n.bitboards, &b.bitboards, sizeof b.bitboards);
    if constexpr (WithSquares) {
        std::memcpy(&n.squares, &b.squares, sizeof b.squares);
    }
    n.castle_touched = b.castle_touched | square_bb(from) | square_bb(to);
    n.en_passant = 0;
    n.side = S::them;
    switch (kind) {
        case Quiet:
            relocate<WithSquares>(n, b, from, to);
            break;
        case DoublePawnPush:
            relocate<WithSquares>(n, b, from, to);
            n.en_passant = square_bb(static_cast<Square>(from + S::push));
            break;
        case CastleKingside:
            relocate<WithSquares>(n, b, S::on_back_rank(E1), S::on_back_rank(G1));
            relocate<WithSquares>(n, b, S::on_back_rank(H1), S::on_back_rank(F1));
            break;
        case CastleQueenside:
            relocate<WithSquares>(n, b, S::on_back_rank(E1), S::on_back_rank(C1));
            relocate<WithSquares>(n, b, S::on_back_rank(A1), S::on_back_rank(D1));
            break;
        case Capture:
            lift<WithSquares>(n, b, to);
            relocate<WithSquares>(n, b, from, to);
            break;
        case EnPassant:
            relocate<WithSquares>(n, b, from, to);
            lift<WithSquares>(n, b, static_cast<Square>(to - S::push));
            break;
        default: {
            // Promotions, with or without a capture.
            lift<WithSquares>(n, b, from);
            if ((kind & Capture) != 0) {
                lift<WithSquares>(n, b, to);
            }
            const Piece promoted = make_piece(us, static_cast<PieceKind>((kind & 3) + 1));
            n.bitboards[promoted] |= square_bb(to);
            if constexpr (WithSquares) {
                n.squares[to] = promoted;
            }
            break;
        }
    }
}

template <Color us>
std::uint64_t perft_for(const BoardState& board, int depth);

template <Color us>
std::uint64_t count_for(const BoardState& board) {
    generation::CountSink sink;
    generation::generate_for<false, us>(board, sink);
    return sink.count();
}

// Makes every move the moment the generator finds it and counts its subtree:
// no move list, and each make sees its kind as a constant.
template <Color us>
class PerftSink : public generation::EachMoveSink<PerftSink<us>> {
public:
    PerftSink(const BoardState& board, int depth) : board_(board), depth_(depth) {}

    KESTRUNE_FORCE_INLINE void add(Square from, Square to, int kind) {
        BoardState next;
        if (depth_ == 2) {
            make_for_perft<us, false>(board_, next, from, to, kind);
            total_ += count_for<opposite(us)>(next);
        } else {
            make_for_perft<us, true>(board_, next, from, to, kind);
            total_ += perft_for<opposite(us)>(next, depth_ - 1);
        }
    }
    std::uint64_t total() const { return total_; }

private:
    const BoardState& board_;
    int depth_;
    std::uint64_t total_ = 0;
};

// depth >= 2; the last ply is counted, not made.
template <Color us>
std::uint64_t perft_for(const BoardState& board, int depth) {
    PerftSink<us> sink(board, depth);
    generation::generate_for<false, us>(board, sink);
    return sink.total();
}

}  // namespace

std::uint64_t perft(const BoardState& board, int depth) {
    if (depth <= 0) {
        return 1;
    }
    if (depth == 1) {
        return count_moves(board);
    }
    return board.side == White ? perft_for<White>(board, depth) : perft_for<Black>(board, depth);
}

std::string divide(const BoardState& board, int depth) {
    MoveList moves;
    generate_moves(board, false, moves);
    std::string text;
    for (const Move m : moves) {
        text += uci_text(m).view();
        text += ": ";
        text += std::to_string(perft(make_move(board, m), depth - 1));
        text += '\n';
    }
    return text;
}

}  // namespace kestrune
