// Perft's last two plies: the number of replies to each move of a node two
// plies above the leaves, mostly counted without making the move.
//
// The invariant. The replies to a move are the replier's legal moves in the
// position the move leaves, so they depend on: the replier's king steps and
// castling (which squares the mover attacks near its king and on its
// castling paths), its checkers and pins (the mover's sliders on lines to its
// king), and the moves of its free knights, sliders and pawns on the board
// after the move. The replier's view of the position before the move is read
// once (as if it were to move) and its counts are kept, part by part:
// - King steps, castling, checks, pins, and the pinned pawns (which move
//   only on their gated pin lines): kept by a move that the gate of its piece
//   kind lets through (build_gates, changes_safety). Such a move leaves and
//   enters no square next to the replier's king, none between a mover's
//   slider and that king or a square the king could step to or cross (nor
//   the piece that would open such a line), no castling square while the
//   right lives, and no square from which its piece would attack the king or
//   one of those squares. A move is always made and counted in full when it
//   moves or removes a second piece (castling, en passant), puts a new piece
//   on lines its pawn may have blocked (promotions), or may offer an
//   en-passant capture (a double step next to a replier's pawn).
// - Knights: a knight's moves are the squares it reaches that hold none of
//   the replier's own pieces, and the mover's move never adds one of those.
//   Only a capture changes them: it frees its square for the knights that
//   reach it, and may take a knight with its moves.
// - Sliders: recounted only when their reach or their square holds one of
//   the move's two squares, within the pin line they had (pins are kept).
// - Pawns: always recounted, by the generator's own pawn stage.
// - En passant never appears: the replier has an en-passant capture only
//   after a double step beside one of its pawns, which is made in full.
// The counter mirrors the out-of-check stages of generation::generate_for (the
// replier is never in check after a move that passes the gates): a change to
// those stages must be mirrored here. The differential test in perft_test
// compares both per root move.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "board_state.h"
#include "move_generation.h"

namespace kestrune {

// `mover` makes the moves whose replies are counted; the board is the
// mover's, before its move.
template <Color mover>
class ReplyCounter {
    static constexpr Color replier = opposite(mover);
    using ReplierSide = generation::Side<replier>;

public:
    explicit ReplyCounter(const BoardState& board)
        : board_(board), replier_(generation::read_position<false, replier>(board)) {
        // The replier in check here means an illegal root position: count everything in full.
        counts_after_move_ = replier_.checkers == 0;
        if (counts_after_move_) {
            count_unchanging_moves();
            count_pieces();
            build_gates();
        }
    }

    KESTRUNE_FORCE_INLINE std::uint64_t replies(Square from, Square to, MoveKind kind) const {
        if (counts_after_move_ && !changes_safety(from, to, kind)) {
            return count_after(from, to, kind);
        }
        BoardState next;
        make_for_perft<mover, false>(board_, next, from, to, kind);
        return generation::count_for<replier>(next);
    }

private:
    struct Slider {
        Square square;
        bool diagonal;
        bool orthogonal;
        Bitboard reach;     // its attacks before the move
        Bitboard pin_line;  // where it may go: all squares unless pinned
        int count;
    };

    static Bitboard slider_attacks(const Slider& s, Bitboard occupancy) {
        return (s.diagonal ? bishop_attacks(s.square, occupancy) : 0) |
               (s.orthogonal ? rook_attacks(s.square, occupancy) : 0);
    }

    Bitboard replier_pieces() const { return replier_.own; }
    Bitboard mover_pieces() const { return replier_.enemy; }

    void count_unchanging_moves();
    void count_pieces();
    Bitboard lines_to_king(Bitboard mover_diagonal, Bitboard mover_orthogonal) const;
    Bitboard lines_through(Square square, Bitboard diagonal, Bitboard orthogonal, Bitboard mover_diagonal,
                           Bitboard mover_orthogonal) const;
    void build_gates();

    // Castling and en passant move or remove a second piece, a promotion puts a
    // new piece on lines its pawn may have blocked, a double step may give the
    // replier an en-passant capture: those are always made.
    KESTRUNE_FORCE_INLINE bool changes_safety(Square from, Square to, MoveKind kind) const {
        if (is_castling(kind) || kind == EnPassant || is_promotion(kind)) {
            return true;
        }
        const Bitboard gate = gates_[static_cast<std::size_t>(kind_of(board_.squares[from]))];
        if ((gate & (square_bb(from) | square_bb(to))) != 0) {
            return true;
        }
        const Bitboard beside = ((square_bb(to) << 1) & NOT_FILE_A) | ((square_bb(to) >> 1) & NOT_FILE_H);
        return kind == DoublePawnPush && (beside & board_.pieces(replier, Pawn)) != 0;
    }

    KESTRUNE_FORCE_INLINE std::uint64_t count_after(Square from, Square to, MoveKind kind) const {
        const Bitboard to_bb = square_bb(to);
        const Bitboard touched = square_bb(from) | to_bb;
        const Bitboard occupied = (replier_.all ^ square_bb(from)) | to_bb;
        const Bitboard movers_after = (mover_pieces() ^ square_bb(from)) | to_bb;
        const Bitboard repliers_after = replier_pieces() & ~to_bb;
        int count = pawn_count_after(to_bb, occupied, movers_after) + knight_count_;
        if (is_capture(kind)) {
            // The replier's knights may now take on the square; a captured knight's moves are gone.
            count += popcount(knight_attacks(to) & free_knights_);
            if (contains(free_knights_, to)) {
                count -= popcount(knight_attacks(to) & ~replier_pieces());
            }
        }
        count += ((slider_reach_ | slider_squares_) & touched) != 0
                     ? slider_count_after(touched, occupied, repliers_after)
                     : slider_count_;
        return unchanging_ + static_cast<std::uint64_t>(count);
    }

    KESTRUNE_FORCE_INLINE int slider_count_after(Bitboard touched, Bitboard occupied, Bitboard repliers_after) const {
        int count = 0;
        for (std::size_t i = 0; i < slider_total_; ++i) {
            const Slider& s = sliders_[i];
            if ((repliers_after & square_bb(s.square)) == 0) {
                continue;  // captured
            }
            count += (s.reach & touched) == 0 ? s.count
                                              : popcount(slider_attacks(s, occupied) & ~repliers_after & s.pin_line);
        }
        return count;
    }

    // The replier's free pawns, counted by the generator against the board after the move.
    KESTRUNE_FORCE_INLINE int pawn_count_after(Bitboard to_bb, Bitboard occupied, Bitboard movers_after) const {
        generation::PositionFacts after = replier_;
        after.all = occupied;
        after.quiet_mask = ~occupied;
        after.capture_mask = movers_after;
        generation::CountSink sink;
        generation::add_free_pawns<false, replier>(board_.pieces(replier, Pawn) & ~replier_.pinned & ~to_bb, after,
                                                   sink);
        return static_cast<int>(sink.count());
    }

    const BoardState& board_;
    generation::PositionFacts replier_;  // the replier's view, as if it were to move now
    bool counts_after_move_;
    std::uint64_t unchanging_ = 0;
    Bitboard free_knights_ = 0;
    int knight_count_ = 0;
    std::array<Slider, 16> sliders_;  // at most 15: 16 pieces a side, one of them the king
    std::size_t slider_total_ = 0;
    Bitboard slider_squares_ = 0;
    Bitboard slider_reach_ = 0;
    int slider_count_ = 0;
    // By the kind of the mover's piece: the squares that piece may not leave
    // or enter without changing the replier's king steps, checks, pins or castling.
    std::array<Bitboard, 6> gates_{};
};

extern template class ReplyCounter<White>;
extern template class ReplyCounter<Black>;

}  // namespace kestrune
