#include "reply_counter.h"

namespace kestrune {

// King steps, castling and pinned pawns: kept by every move that passes the gates.
template <Color mover>
void ReplyCounter<mover>::count_unchanging_moves() {
    generation::CountSink sink;
    generation::add_king_steps(replier_, sink);
    generation::add_castling<replier>(board_, replier_, sink);
    generation::add_pinned_pawns<false, replier>(board_, replier_, sink);
    unchanging_ = sink.count();
}

// Free knights, and every slider with its reach; pinned knights have no moves.
template <Color mover>
void ReplyCounter<mover>::count_pieces() {
    free_knights_ = board_.pieces(replier, Knight) & ~replier_.pinned;
    for (Bitboard n = free_knights_; n != 0;) {
        knight_count_ += popcount(knight_attacks(pop_lowest(n)) & ~replier_pieces());
    }
    const Bitboard queens = board_.pieces(replier, Queen);
    const Bitboard diagonal = board_.pieces(replier, Bishop) | queens;
    const Bitboard orthogonal = board_.pieces(replier, Rook) | queens;
    for (Bitboard p = diagonal | orthogonal; p != 0;) {
        const Square s = pop_lowest(p);
        Slider& slider = sliders_[slider_total_++];
        slider.square = s;
        slider.diagonal = contains(diagonal, s);
        slider.orthogonal = contains(orthogonal, s);
        slider.reach = slider_attacks(slider, replier_.all);
        slider.pin_line = contains(replier_.pinned, s) ? line(replier_.king, s) : ~Bitboard{0};
        slider.count = popcount(slider.reach & ~replier_pieces() & slider.pin_line);
        slider_squares_ |= square_bb(s);
        slider_reach_ |= slider.reach;
        slider_count_ += slider.count;
    }
}

// The mover's sliders aimed at the replier's king along its lines. With one
// piece between, that piece is pinned or shields a check: the whole line and
// the slider count. With two, only lifting one of them matters; with three or
// more, no single move changes anything.
template <Color mover>
Bitboard ReplyCounter<mover>::lines_to_king(Bitboard mover_diagonal, Bitboard mover_orthogonal) const {
    const Square king = replier_.king;
    Bitboard gate = 0;
    for (Bitboard s = (mover_diagonal & bishop_attacks(king, 0)) | (mover_orthogonal & rook_attacks(king, 0));
         s != 0;) {
        const Square sniper = pop_lowest(s);
        const Bitboard blockers = between(king, sniper) & replier_.all;
        if (!more_than_one(blockers)) {
            gate |= between(king, sniper) | square_bb(sniper);
        } else if (!more_than_one(blockers & (blockers - 1))) {
            gate |= blockers;
        }
    }
    return gate;
}

// The mover's sliders that attack `square` (with the replier's king off the
// board, which may not step back along a line) and the squares between, and
// the one piece in front of each slider that would attack it if that piece
// moved.
template <Color mover>
Bitboard ReplyCounter<mover>::lines_through(Square square, Bitboard diagonal, Bitboard orthogonal,
                                            Bitboard mover_diagonal, Bitboard mover_orthogonal) const {
    const Bitboard without_king = replier_.all ^ square_bb(replier_.king);
    Bitboard gate = 0;
    for (Bitboard s = (diagonal & mover_diagonal) | (orthogonal & mover_orthogonal); s != 0;) {
        const Square seer = pop_lowest(s);
        gate |= between(square, seer) | square_bb(seer);
    }
    // With the first piece on each line lifted, the attacks reach one piece further.
    for (Bitboard s = (bishop_attacks(square, without_king & ~diagonal) & ~diagonal & mover_diagonal) |
                      (rook_attacks(square, without_king & ~orthogonal) & ~orthogonal & mover_orthogonal);
         s != 0;) {
        gate |= between(square, pop_lowest(s)) & replier_.all;
    }
    return gate;
}

// The gates. For every kind: the replier king's neighbours, the lines to that
// king, the lines through every square it could step to or cross, and the
// castling origins and squares while the right remains. By kind, the squares
// from which that piece would attack the king or one of those squares, or pin
// a piece to the king.
template <Color mover>
void ReplyCounter<mover>::build_gates() {
    const Square king = replier_.king;
    const Bitboard queens = board_.pieces(mover, Queen);
    const Bitboard mover_diagonal = board_.pieces(mover, Bishop) | queens;
    const Bitboard mover_orthogonal = board_.pieces(mover, Rook) | queens;
    Bitboard common = king_attacks(king) | lines_to_king(mover_diagonal, mover_orthogonal);
    const auto king_path = [](const CastlingSquares& castling) { return castling.king_path; };
    const Bitboard zone = (king_attacks(king) & ~replier_pieces()) |
                          (replier_.kingside_open ? with_castling_squares<replier, Kingside>(board_, king_path) : 0) |
                          (replier_.queenside_open ? with_castling_squares<replier, Queenside>(board_, king_path) : 0);
    const Bitboard without_king = replier_.all ^ square_bb(king);
    // A slider arriving on the king's lines checks it, or pins one of its pieces.
    const Bitboard replier_shields = (bishop_attacks(king, replier_.all) | rook_attacks(king, replier_.all)) &
                                     replier_pieces();
    Bitboard diagonal_reach = bishop_attacks(king, replier_.all & ~replier_shields);
    Bitboard orthogonal_reach = rook_attacks(king, replier_.all & ~replier_shields);
    Bitboard knight_reach = knight_attacks(king);
    Bitboard king_reach = 0;
    for (Bitboard z = zone; z != 0;) {
        const Square square = pop_lowest(z);
        const Bitboard diagonal = bishop_attacks(square, without_king);
        const Bitboard orthogonal = rook_attacks(square, without_king);
        diagonal_reach |= diagonal;
        orthogonal_reach |= orthogonal;
        knight_reach |= knight_attacks(square);
        king_reach |= king_attacks(square);
        common |= lines_through(square, diagonal, orthogonal, mover_diagonal, mover_orthogonal);
    }
    const auto castling_gate = [&](const CastlingSquares& castling) -> Bitboard {
        if ((board_.castle_touched & castling.origins) != 0) {
            return 0;
        }
        // A Chess960 rook away from the corner may shield its king's
        // destination from a slider behind it on the back rank.
        const int rook_file = file_of(castling.rule.rook_from);
        const Bitboard behind = rook_file != 0 && rook_file != 7 ? ReplierSide::back_rank : 0;
        return castling.origins | castling.empty | castling.king_path | behind;
    };
    common |= with_castling_squares<replier, Kingside>(board_, castling_gate) |
              with_castling_squares<replier, Queenside>(board_, castling_gate);
    gates_[Pawn] = common | pawn_attackers_of(mover, zone | square_bb(king));
    gates_[Knight] = common | knight_reach;
    gates_[Bishop] = common | diagonal_reach;
    gates_[Rook] = common | orthogonal_reach;
    gates_[Queen] = common | diagonal_reach | orthogonal_reach;
    gates_[King] = common | king_reach;
}

template class ReplyCounter<White>;
template class ReplyCounter<Black>;

}  // namespace kestrune
