#include "ordering.h"

#include <cstdlib>

#include "evaluation.h"
#include "move_generation.h"

namespace kestrune {
namespace {

// How much a move raises the mover's middle-game piece-square sum, before
// the preferred-move bonus: the ordering score of the search. Castling counts
// the king's step only, en passant leaves out the captured pawn.
KESTRUNE_FORCE_INLINE std::int16_t ordering_delta(const BoardState& board, Square from, Square to, MoveKind kind) {
    const auto& t = MG_TABLE;
    const Piece p = board.squares[from];
    const Piece moved = is_promotion(kind) ? make_piece(board.side, promoted_piece(kind)) : p;
    int delta = t[moved][to] - t[p][from];
    if (is_capture(kind) && kind != EnPassant) {
        delta -= t[board.squares[to]][to];
    }
    if (board.side == Black) {
        delta = -delta;
    }
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(delta));
}

// Appends each move with its ordering score.
class ScoredSink : public generation::EachMoveSink<ScoredSink> {
public:
    ScoredSink(const BoardState& board, ScoredMoveList& list) : board_(board), list_(list) {}
    KESTRUNE_FORCE_INLINE void add(Square from, Square to, MoveKind kind) {
        list_.push({Move(from, to, kind), ordering_delta(board_, from, to, kind)});
    }

private:
    const BoardState& board_;
    ScoredMoveList& list_;
};

}  // namespace

void score_moves(const MoveList& moves, const BoardState& board, ScoredMoveList& out) {
    for (const Move m : moves) {
        if (m.kind() == 6 || m.kind() == 7) {
            // Kinds 6 and 7 are never generated: reaching here is a programming error.
            std::abort();
        }
        out.push({m, ordering_delta(board, m.from(), m.to(), m.kind())});
    }
}

void generate_scored_moves(const BoardState& board, bool captures_only, ScoredMoveList& out) {
    ScoredSink sink(board, out);
    if (captures_only) {
        generation::generate<true>(board, sink);
    } else {
        generation::generate<false>(board, sink);
    }
}

void prefer_move(ScoredMoveList& scored, Move preferred) {
    for (ScoredMove& entry : scored) {
        if (entry.move == preferred) {
            entry.score = static_cast<std::int16_t>(static_cast<std::uint16_t>(entry.score + PREFERRED_MOVE_BONUS));
            return;
        }
    }
}

}  // namespace kestrune
