#include "perft.h"

#include <array>
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
KESTRUNE_FORCE_INLINE void make_for_perft(const BoardState& b, BoardState& n, Square from, Square to, MoveKind kind) {
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
            relocate<WithSquares>(n, b, S::kingside.rule.king_from, S::kingside.rule.king_to);
            relocate<WithSquares>(n, b, S::kingside.rule.rook_from, S::kingside.rule.rook_to);
            break;
        case CastleQueenside:
            relocate<WithSquares>(n, b, S::queenside.rule.king_from, S::queenside.rule.king_to);
            relocate<WithSquares>(n, b, S::queenside.rule.rook_from, S::queenside.rule.rook_to);
            break;
        case Capture:
            lift<WithSquares>(n, b, to);
            relocate<WithSquares>(n, b, from, to);
            break;
        case EnPassant:
            relocate<WithSquares>(n, b, from, to);
            lift<WithSquares>(n, b, en_passant_victim(us, to));
            break;
        default: {
            // Promotions, with or without a capture.
            lift<WithSquares>(n, b, from);
            if (is_capture(kind)) {
                lift<WithSquares>(n, b, to);
            }
            const Piece promoted = make_piece(us, promoted_piece(kind));
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

// The replies to each move of a node two plies above the leaves, mostly
// counted without making the move. Our move changes the opponent's moves only
// through the squares it empties and fills: the opponent's position with it to
// move is read once, and a move that stays clear of everything that decides
// the opponent's king safety, pins and castling (the gates below) keeps those
// counts; only sliders that see the move's squares, knights near a capture and
// the pawns are counted again. Any other move is made and counted in full.
template <Color us>
class ReplyCounter {
    static constexpr Color them = opposite(us);
    using Them = generation::Side<them>;

public:
    explicit ReplyCounter(const BoardState& board)
        : board_(board), facts_(generation::read_position<false, them>(board)) {
        // The opponent in check here means an illegal root position: count everything in full.
        counts_after_move_ = facts_.checkers == 0;
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
        make_for_perft<us, false>(board_, next, from, to, kind);
        return count_for<them>(next);
    }

private:
    struct Slider {
        Square square;
        bool diagonal;
        bool orthogonal;
        Bitboard reach;     // its attacks before our move
        Bitboard pin_line;  // where it may go: all squares unless pinned
        int count;
    };

    static Bitboard slider_attacks(const Slider& s, Bitboard occupancy) {
        return (s.diagonal ? bishop_attacks(s.square, occupancy) : 0) |
               (s.orthogonal ? rook_attacks(s.square, occupancy) : 0);
    }

    // King steps, castling and pinned pawns: kept by every move that passes the gates.
    void count_unchanging_moves() {
        generation::CountSink sink;
        generation::add_king_steps(facts_, sink);
        generation::add_castling<them>(facts_, sink);
        generation::add_pinned_pawns<false, them>(board_, facts_, sink);
        unchanging_ = sink.count();
    }

    // Free knights, and every slider with its reach; pinned knights have no moves.
    void count_pieces() {
        free_knights_ = board_.pieces(them, Knight) & ~facts_.pinned;
        for (Bitboard n = free_knights_; n != 0;) {
            knight_count_ += popcount(knight_attacks(pop_lowest(n)) & ~facts_.own);
        }
        const Bitboard queens = board_.pieces(them, Queen);
        const Bitboard diagonal = board_.pieces(them, Bishop) | queens;
        const Bitboard orthogonal = board_.pieces(them, Rook) | queens;
        for (Bitboard p = diagonal | orthogonal; p != 0;) {
            const Square s = pop_lowest(p);
            Slider& slider = sliders_[slider_total_++];
            slider.square = s;
            slider.diagonal = contains(diagonal, s);
            slider.orthogonal = contains(orthogonal, s);
            slider.reach = slider_attacks(slider, facts_.all);
            slider.pin_line = contains(facts_.pinned, s) ? line(facts_.king, s) : ~Bitboard{0};
            slider.count = popcount(slider.reach & ~facts_.own & slider.pin_line);
            slider_squares_ |= square_bb(s);
            slider_reach_ |= slider.reach;
            slider_count_ += slider.count;
        }
    }

    Bitboard lines_to_king(Bitboard our_diagonal, Bitboard our_orthogonal) const;
    Bitboard lines_through(Square square, Bitboard diagonal, Bitboard orthogonal, Bitboard our_diagonal,
                           Bitboard our_orthogonal) const;
    void build_gates();
    bool changes_safety(Square from, Square to, MoveKind kind) const;
    std::uint64_t count_after(Square from, Square to, MoveKind kind) const;
    int pawn_count_after(Bitboard to_bb, Bitboard occupied, Bitboard ours) const;
    int slider_count_after(Bitboard touched, Bitboard occupied, Bitboard their_own) const;

    const BoardState& board_;
    generation::PositionFacts facts_;  // the opponent's view, as if it were to move now
    bool counts_after_move_;
    std::uint64_t unchanging_ = 0;
    Bitboard free_knights_ = 0;
    int knight_count_ = 0;
    std::array<Slider, 16> sliders_;  // at most 15: 16 pieces a side, one of them the king
    std::size_t slider_total_ = 0;
    Bitboard slider_squares_ = 0;
    Bitboard slider_reach_ = 0;
    int slider_count_ = 0;
    // By the kind of our piece: the squares that piece may not leave or enter
    // without changing the opponent's king steps, checks, pins or castling.
    std::array<Bitboard, 6> gates_{};
};

// Our sliders aimed at the opponent's king along its lines. With one piece
// between, that piece is pinned or shields a check: the whole line and the
// slider count. With two, only lifting one of them matters; with three or
// more, no single move changes anything.
template <Color us>
Bitboard ReplyCounter<us>::lines_to_king(Bitboard our_diagonal, Bitboard our_orthogonal) const {
    const Square king = facts_.king;
    Bitboard gate = 0;
    for (Bitboard s = (our_diagonal & bishop_attacks(king, 0)) | (our_orthogonal & rook_attacks(king, 0)); s != 0;) {
        const Square sniper = pop_lowest(s);
        const Bitboard blockers = between(king, sniper) & facts_.all;
        if (!more_than_one(blockers)) {
            gate |= between(king, sniper) | square_bb(sniper);
        } else if (!more_than_one(blockers & (blockers - 1))) {
            gate |= blockers;
        }
    }
    return gate;
}

// Our sliders that attack `square` (with the opponent's king off the board,
// which may not step back along a line) and the squares between, and the one
// piece in front of each slider that would attack it if that piece moved.
template <Color us>
Bitboard ReplyCounter<us>::lines_through(Square square, Bitboard diagonal, Bitboard orthogonal, Bitboard our_diagonal,
                                         Bitboard our_orthogonal) const {
    const Bitboard without_king = facts_.all ^ square_bb(facts_.king);
    Bitboard gate = 0;
    for (Bitboard s = (diagonal & our_diagonal) | (orthogonal & our_orthogonal); s != 0;) {
        const Square seer = pop_lowest(s);
        gate |= between(square, seer) | square_bb(seer);
    }
    // With the first piece on each line lifted, the attacks reach one piece further.
    for (Bitboard s = (bishop_attacks(square, without_king & ~diagonal) & ~diagonal & our_diagonal) |
                      (rook_attacks(square, without_king & ~orthogonal) & ~orthogonal & our_orthogonal);
         s != 0;) {
        gate |= between(square, pop_lowest(s)) & facts_.all;
    }
    return gate;
}

// The gates. For every kind: the king's neighbours, the lines to the king,
// the lines through every square the king could step to or cross, and the
// castling corners and paths while the right remains. By kind, the squares
// from which that piece would attack the king or one of those squares, or
// pin a piece to the king.
template <Color us>
void ReplyCounter<us>::build_gates() {
    const Square king = facts_.king;
    const Bitboard queens = board_.pieces(us, Queen);
    const Bitboard our_diagonal = board_.pieces(us, Bishop) | queens;
    const Bitboard our_orthogonal = board_.pieces(us, Rook) | queens;
    Bitboard common = king_attacks(king) | lines_to_king(our_diagonal, our_orthogonal);
    const Bitboard zone = (king_attacks(king) & ~facts_.own) | (facts_.kingside_open ? Them::kingside.king_path : 0) |
                          (facts_.queenside_open ? Them::queenside.king_path : 0);
    const Bitboard without_king = facts_.all ^ square_bb(king);
    // A slider arriving on the king's lines checks it, or pins one of its pieces.
    const Bitboard their_shields = (bishop_attacks(king, facts_.all) | rook_attacks(king, facts_.all)) & facts_.own;
    Bitboard diagonal_reach = bishop_attacks(king, facts_.all & ~their_shields);
    Bitboard orthogonal_reach = rook_attacks(king, facts_.all & ~their_shields);
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
        common |= lines_through(square, diagonal, orthogonal, our_diagonal, our_orthogonal);
    }
    for (const CastlingSquares& castling : {Them::kingside, Them::queenside}) {
        if ((board_.castle_touched & castling.origins) == 0) {
            common |= castling.origins | castling.empty | castling.king_path;
        }
    }
    gates_[Pawn] = common | pawn_attackers_of(us, zone | square_bb(king));
    gates_[Knight] = common | knight_reach;
    gates_[Bishop] = common | diagonal_reach;
    gates_[Rook] = common | orthogonal_reach;
    gates_[Queen] = common | diagonal_reach | orthogonal_reach;
    gates_[King] = common | king_reach;
}

// Castling and en passant move or remove a second piece, a promotion puts a
// new piece on lines its pawn may have blocked, a double step may give the
// opponent an en-passant capture: those are always made.
template <Color us>
KESTRUNE_FORCE_INLINE bool ReplyCounter<us>::changes_safety(Square from, Square to, MoveKind kind) const {
    if (is_castling(kind) || kind == EnPassant || is_promotion(kind)) {
        return true;
    }
    const Bitboard gate = gates_[static_cast<std::size_t>(kind_of(board_.squares[from]))];
    if ((gate & (square_bb(from) | square_bb(to))) != 0) {
        return true;
    }
    const Bitboard beside = ((square_bb(to) << 1) & NOT_FILE_A) | ((square_bb(to) >> 1) & NOT_FILE_H);
    return kind == DoublePawnPush && (beside & board_.pieces(them, Pawn)) != 0;
}

template <Color us>
KESTRUNE_FORCE_INLINE std::uint64_t ReplyCounter<us>::count_after(Square from, Square to, MoveKind kind) const {
    const Bitboard to_bb = square_bb(to);
    const Bitboard touched = square_bb(from) | to_bb;
    const Bitboard occupied = (facts_.all ^ square_bb(from)) | to_bb;
    const Bitboard ours = (facts_.enemy ^ square_bb(from)) | to_bb;
    const Bitboard their_own = facts_.own & ~to_bb;
    int count = pawn_count_after(to_bb, occupied, ours) + knight_count_;
    if (is_capture(kind)) {
        // Their knights may now take on the square; a captured knight's moves are gone.
        count += popcount(knight_attacks(to) & free_knights_);
        if (contains(free_knights_, to)) {
            count -= popcount(knight_attacks(to) & ~facts_.own);
        }
    }
    count += ((slider_reach_ | slider_squares_) & touched) != 0 ? slider_count_after(touched, occupied, their_own)
                                                                : slider_count_;
    return unchanging_ + static_cast<std::uint64_t>(count);
}

template <Color us>
KESTRUNE_FORCE_INLINE int ReplyCounter<us>::slider_count_after(Bitboard touched, Bitboard occupied,
                                                               Bitboard their_own) const {
    int count = 0;
    for (std::size_t i = 0; i < slider_total_; ++i) {
        const Slider& s = sliders_[i];
        if ((their_own & square_bb(s.square)) == 0) {
            continue;  // captured
        }
        count += (s.reach & touched) == 0 ? s.count : popcount(slider_attacks(s, occupied) & ~their_own & s.pin_line);
    }
    return count;
}

// The opponent's free pawns, counted by the generator against the board after our move.
template <Color us>
KESTRUNE_FORCE_INLINE int ReplyCounter<us>::pawn_count_after(Bitboard to_bb, Bitboard occupied, Bitboard ours) const {
    generation::PositionFacts after = facts_;
    after.all = occupied;
    after.quiet_mask = ~occupied;
    after.capture_mask = ours;
    generation::CountSink sink;
    generation::add_free_pawns<false, them>(board_.pieces(them, Pawn) & ~facts_.pinned & ~to_bb, after, sink);
    return static_cast<int>(sink.count());
}

// Makes every move the moment the generator finds it and counts its subtree:
// no move list, and each make sees its kind as a constant.
template <Color us>
class PerftSink : public generation::EachMoveSink<PerftSink<us>> {
public:
    PerftSink(const BoardState& board, int depth) : board_(board), depth_(depth) {}

    KESTRUNE_FORCE_INLINE void add(Square from, Square to, MoveKind kind) {
        BoardState next;
        make_for_perft<us, true>(board_, next, from, to, kind);
        total_ += perft_for<opposite(us)>(next, depth_ - 1);
    }
    std::uint64_t total() const { return total_; }

private:
    const BoardState& board_;
    int depth_;
    std::uint64_t total_ = 0;
};

// Two plies above the leaves: each move's replies are counted, not generated.
template <Color us>
class ReplyCountSink : public generation::EachMoveSink<ReplyCountSink<us>> {
public:
    explicit ReplyCountSink(const BoardState& board) : counter_(board) {}
    KESTRUNE_FORCE_INLINE void add(Square from, Square to, MoveKind kind) {
        total_ += counter_.replies(from, to, kind);
    }
    std::uint64_t total() const { return total_; }

private:
    ReplyCounter<us> counter_;
    std::uint64_t total_ = 0;
};

// depth >= 2; the last ply is counted, not made.
template <Color us>
std::uint64_t perft_for(const BoardState& board, int depth) {
    if (depth == 2) {
        ReplyCountSink<us> sink(board);
        generation::generate_for<false, us>(board, sink);
        return sink.total();
    }
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
