// The legal move generator in stages. Each position is first read once into
// `PositionFacts` (checkers, pinned pieces, the squares the king may not
// enter, the target masks); every group of moves then has its own function,
// called in the fixed generation order by `generate_for`.
//
// Moves go to a sink, so one generator serves every caller: a list
// (ListSink), a bare count (CountSink), the search's scored list (ordering's
// ScoredSink), and perft's recursion that makes each move as it is found and
// its reply counting two plies above the leaves (PerftSink, ReplyCountSink).
// The side to move is a template argument: every colour-dependent shift, rank
// and square folds to a constant.
#pragma once

#include <array>
#include <cstdint>

#include "bitboard.h"
#include "board_state.h"

namespace kestrune::generation {

// Promotion kinds in the order they are produced.
using PromotionKinds = std::array<MoveKind, 4>;
inline constexpr PromotionKinds QUIET_PROMOTIONS{PromoteQueen, PromoteKnight, PromoteRook, PromoteBishop};
inline constexpr PromotionKinds CAPTURE_PROMOTIONS{CapturePromoteQueen, CapturePromoteKnight, CapturePromoteRook,
                                                   CapturePromoteBishop};
// A pawn capturing a checker on the last rank lists its promotions in this order.
inline constexpr PromotionKinds CHECK_CAPTURE_PROMOTIONS{CapturePromoteQueen, CapturePromoteRook, CapturePromoteKnight,
                                                         CapturePromoteBishop};

// Colour-dependent constants of the side to move.
template <Color us>
struct Side {
    static constexpr Color them = opposite(us);
    static constexpr Bitboard seventh_rank = us == White ? RANK_8 >> 8 : RANK_1 << 8;
    // A pawn's single step that lands here may step again.
    static constexpr Bitboard push_start_rank = us == White ? RANK_3 : RANK_6;
    static constexpr int push = us == White ? 8 : -8;
    // The capture towards file a for White and towards file h for Black comes first.
    static constexpr int first_capture = us == White ? 7 : -7;
    static constexpr int second_capture = us == White ? 9 : -9;
    static constexpr Bitboard first_capture_from = us == White ? NOT_FILE_A : NOT_FILE_H;
    static constexpr Bitboard second_capture_from = us == White ? NOT_FILE_H : NOT_FILE_A;
    static constexpr Bitboard back_rank = us == White ? RANK_1 : RANK_8;

    static constexpr Bitboard forward(Bitboard b) { return us == White ? b << 8 : b >> 8; }
    template <int Offset>
    static constexpr Bitboard shift(Bitboard b) {
        return Offset > 0 ? b << Offset : b >> -Offset;
    }
};

// What the rules need to know of one position, computed once.
struct PositionFacts {
    Bitboard own;
    Bitboard enemy;
    Bitboard all;
    Square king;
    Bitboard their_pawns;
    Bitboard their_knights;
    Bitboard their_diagonal;    // bishops and queens
    Bitboard their_orthogonal;  // rooks and queens
    // Castling paths that are empty and whose rights remain (never in captures-only mode).
    bool kingside_open;
    bool queenside_open;
    // Squares the opponent attacks, seen through our king: the king may not step there.
    Bitboard king_forbidden;
    Bitboard checkers;
    Bitboard pinned;  // our pieces alone between our king and an enemy slider
    // Where pieces other than the king may capture and may move quietly.
    Bitboard capture_mask;
    Bitboard quiet_mask;
};

// The opponent's attacks, traced only where the king could go: the squares
// next to it and the squares it crosses when castling. Lines that miss them
// are not traced; our king is left out of the occupancy, so stepping back
// along a checking line is refused.
template <Color us>
KESTRUNE_FORCE_INLINE Bitboard king_forbidden_squares(const BoardState& b, const PositionFacts& f) {
    using S = Side<us>;
    const auto king_path = [](const CastlingSquares& castling) { return castling.king_path; };
    const Bitboard zone = (king_attacks(f.king) & ~f.own) |
                          (f.kingside_open ? with_castling_squares<us, Kingside>(b, king_path) : 0) |
                          (f.queenside_open ? with_castling_squares<us, Queenside>(b, king_path) : 0);
    if (zone == 0) {
        return 0;
    }
    const Bitboard without_king = f.all ^ square_bb(f.king);
    Bitboard forbidden = pawn_attacks(S::them, f.their_pawns) | king_attacks(b.king_square(S::them));
    for (Bitboard n = f.their_knights; n != 0;) {
        forbidden |= knight_attacks(pop_lowest(n));
    }
    for (Bitboard s = f.their_orthogonal; s != 0;) {
        forbidden |= rook_attacks_through(pop_lowest(s), without_king, zone);
    }
    for (Bitboard s = f.their_diagonal; s != 0;) {
        forbidden |= bishop_attacks_through(pop_lowest(s), without_king, zone);
    }
    return forbidden;
}

// Checkers and pins in one look from our king: rays that see through our own
// pieces stop at the first enemy piece; an enemy slider there checks when
// nothing of ours stands between and pins when exactly one piece does.
KESTRUNE_FORCE_INLINE void find_checkers_and_pins(PositionFacts& f, Color them) {
    f.checkers = (pawn_attackers_of(them, square_bb(f.king)) & f.their_pawns) |
                 (f.their_knights & knight_attacks(f.king));
    f.pinned = 0;
    Bitboard snipers = (rook_attacks_through(f.king, f.enemy, f.their_orthogonal) & f.their_orthogonal) |
                       (bishop_attacks_through(f.king, f.enemy, f.their_diagonal) & f.their_diagonal);
    while (snipers != 0) {
        const Square s = pop_lowest(snipers);
        const Bitboard blockers = between(f.king, s) & f.own;
        if (blockers == 0) {
            f.checkers |= square_bb(s);
        } else if (!more_than_one(blockers)) {
            f.pinned |= blockers;
        }
    }
}

template <bool CapturesOnly, Color us>
KESTRUNE_FORCE_INLINE PositionFacts read_position(const BoardState& b) {
    using S = Side<us>;
    PositionFacts f;
    f.own = b.pieces(us);
    f.enemy = b.pieces(S::them);
    f.all = f.own | f.enemy;
    f.king = b.king_square(us);
    f.their_pawns = b.pieces(S::them, Pawn);
    f.their_knights = b.pieces(S::them, Knight);
    f.their_diagonal = b.pieces(S::them, Bishop) | b.pieces(S::them, Queen);
    f.their_orthogonal = b.pieces(S::them, Rook) | b.pieces(S::them, Queen);
    if constexpr (CapturesOnly) {
        f.kingside_open = false;
        f.queenside_open = false;
    } else {
        const auto open = [&](const CastlingSquares& castling) {
            return (b.castle_touched & castling.origins) == 0 && (f.all & castling.empty) == 0;
        };
        f.kingside_open = with_castling_squares<us, Kingside>(b, open);
        f.queenside_open = with_castling_squares<us, Queenside>(b, open);
    }
    f.king_forbidden = king_forbidden_squares<us>(b, f);
    find_checkers_and_pins(f, S::them);
    f.capture_mask = f.enemy;
    f.quiet_mask = ~f.all;
    return f;
}

// Quiet steps first, then captures; produced in both modes and in every check state.
template <typename Sink>
KESTRUNE_FORCE_INLINE void add_king_steps(const PositionFacts& f, Sink& out) {
    const Bitboard targets = king_attacks(f.king) & ~f.king_forbidden & ~f.own;
    out.add_targets(f.king, targets & ~f.all, Quiet);
    out.add_targets(f.king, targets & f.enemy, Capture);
}

// En passant is tested by the position it leaves: with the capturing pawn
// moved and the captured pawn gone, no slider may reach our king. This also
// admits a capture along a pin line and a capture that blocks a slider's check.
template <Color us, typename Sink>
KESTRUNE_FORCE_INLINE void add_en_passant(const BoardState& b, const PositionFacts& f, Sink& out) {
    if (b.en_passant == 0) {
        return;
    }
    const Square target = lowest_square(b.en_passant);
    const Square captured = en_passant_victim(us, target);
    // A pawn or knight giving check must be the pawn taken.
    if ((f.checkers & (f.their_pawns | f.their_knights) & ~square_bb(captured)) != 0) {
        return;
    }
    for (Bitboard candidates = pawn_attackers_of(us, b.en_passant) & b.pieces(us, Pawn); candidates != 0;) {
        const Square from = pop_lowest(candidates);
        const Bitboard after = (f.all ^ square_bb(from) ^ square_bb(captured)) | b.en_passant;
        if ((rook_attacks(f.king, after) & f.their_orthogonal) == 0 &&
            (bishop_attacks(f.king, after) & f.their_diagonal) == 0) {
            out.add(from, target, EnPassant);
        }
    }
}

// A checking pawn or knight cannot be blocked: only capturing it helps.
template <Color us, typename Sink>
KESTRUNE_FORCE_INLINE void add_checker_captures(const BoardState& b, const PositionFacts& f, Square checker,
                                                Sink& out) {
    const bool promotes = (square_bb(checker) & (RANK_1 | RANK_8)) != 0;
    const Bitboard our_pawns = b.pieces(us, Pawn);
    for (Bitboard a = attackers_to(b, checker, f.all, us) & ~f.pinned; a != 0;) {
        const Square from = pop_lowest(a);
        if (promotes && contains(our_pawns, from)) {
            out.add_promotions(from, checker, CHECK_CAPTURE_PROMOTIONS);
        } else {
            out.add(from, checker, Capture);
        }
    }
}

// Whether the castling rook, once gone from its origin, lets an enemy rook or
// queen along the back rank reach the king's destination (Chess960 only: a
// rook in the corner has nothing behind it).
template <Color us>
KESTRUNE_FORCE_INLINE bool rook_shields_destination(const PositionFacts& f, const CastlingRule& rule) {
    const Bitboard occupancy = f.all & ~square_bb(f.king) & ~square_bb(rule.rook_from);
    return (rook_attacks(rule.king_to, occupancy) & Side<us>::back_rank & f.their_orthogonal) != 0;
}

// The king's own square needs no test: castling is only tried out of check.
// Only the king's path must be unattacked (c1 and d1 queen-side); the other
// squares between (b1) only have to be empty.
template <Color us, CastlingSide side, MoveKind kind, typename Sink>
KESTRUNE_FORCE_INLINE void add_castling_on(const BoardState& b, const PositionFacts& f, Sink& out) {
    with_castling_squares<us, side>(b, [&](const CastlingSquares& castling) {
        if ((f.king_forbidden & castling.king_path) == 0 &&
            (!b.chess960 || !rook_shields_destination<us>(f, castling.rule))) {
            out.add(castling.rule.king_from, castling.rule.king_to, kind);
        }
    });
}

template <Color us, typename Sink>
KESTRUNE_FORCE_INLINE void add_castling(const BoardState& b, const PositionFacts& f, Sink& out) {
    if (f.kingside_open) {
        add_castling_on<us, Kingside, CastleKingside>(b, f, out);
    }
    if (f.queenside_open) {
        add_castling_on<us, Queenside, CastleQueenside>(b, f, out);
    }
}

// Pinned bishops, rooks and queens move only along their pin line, the pinner
// included; pinned knights never move.
template <bool CapturesOnly, Color us, typename Sink>
KESTRUNE_FORCE_INLINE void add_pinned_sliders(const BoardState& b, const PositionFacts& f, Sink& out) {
    const Bitboard queens = b.pieces(us, Queen);
    const Bitboard diagonal = b.pieces(us, Bishop) | queens;
    const Bitboard orthogonal = b.pieces(us, Rook) | queens;
    for (Bitboard p = f.pinned & (diagonal | orthogonal); p != 0;) {
        const Square from = pop_lowest(p);
        Bitboard reach = 0;
        if (contains(diagonal, from)) {
            reach |= bishop_attacks(from, f.all);
        }
        if (contains(orthogonal, from)) {
            reach |= rook_attacks(from, f.all);
        }
        const Bitboard targets = reach & line(f.king, from);
        if constexpr (!CapturesOnly) {
            out.add_targets(from, targets & f.quiet_mask, Quiet);
        }
        out.add_targets(from, targets & f.capture_mask, Capture);
    }
}

// A pinned pawn keeps to its pin line: it may take the pinner, or step along a file pin.
template <bool CapturesOnly, Color us, typename Sink>
KESTRUNE_FORCE_INLINE void add_pinned_pawns(const BoardState& b, const PositionFacts& f, Sink& out) {
    using S = Side<us>;
    for (Bitboard p = f.pinned & b.pieces(us, Pawn); p != 0;) {
        const Square from = pop_lowest(p);
        const Bitboard pin_line = line(f.king, from);
        const Bitboard captures = pawn_attacks(us, square_bb(from)) & pin_line & f.enemy;
        if ((square_bb(from) & S::seventh_rank) != 0) {
            // A quiet promotion would leave the pin line: only capturing the pinner can be legal.
            for (Bitboard t = captures; t != 0;) {
                out.add_promotions(from, pop_lowest(t), CAPTURE_PROMOTIONS);
            }
            continue;
        }
        out.add_targets(from, captures, Capture);
        if constexpr (!CapturesOnly) {
            const Bitboard single = S::forward(square_bb(from)) & pin_line & ~f.all;
            if (single != 0) {
                out.add(from, lowest_square(single), Quiet);
                const Bitboard twice = S::forward(single & S::push_start_rank) & pin_line & ~f.all;
                if (twice != 0) {
                    out.add(from, lowest_square(twice), DoublePawnPush);
                }
            }
        }
    }
}

template <bool CapturesOnly, typename Sink>
KESTRUNE_FORCE_INLINE void add_masked_moves(const PositionFacts& f, Square from, Bitboard targets, Sink& out) {
    if constexpr (CapturesOnly) {
        out.add_targets(from, targets & f.capture_mask, Capture);
    } else {
        out.add_piece_moves(from, targets & f.capture_mask, targets & f.quiet_mask);
    }
}

// Knights, then bishops and queens on their diagonals, then rooks and queens
// on their lines; a slider boxed in by its own pieces is skipped unseen.
template <bool CapturesOnly, Color us, typename Sink>
KESTRUNE_FORCE_INLINE void add_free_pieces(const BoardState& b, const PositionFacts& f, Sink& out) {
    const Bitboard free = ~f.pinned;
    for (Bitboard n = b.pieces(us, Knight) & free; n != 0;) {
        const Square from = pop_lowest(n);
        add_masked_moves<CapturesOnly>(f, from, knight_attacks(from), out);
    }
    const Bitboard queens = b.pieces(us, Queen);
    for (Bitboard d = (b.pieces(us, Bishop) | queens) & free; d != 0;) {
        const Square from = pop_lowest(d);
        if ((diagonal_neighbours(from) & ~f.own) != 0) {
            add_masked_moves<CapturesOnly>(f, from, bishop_attacks(from, f.all), out);
        }
    }
    for (Bitboard r = (b.pieces(us, Rook) | queens) & free; r != 0;) {
        const Square from = pop_lowest(r);
        if ((orthogonal_neighbours(from) & ~f.own) != 0) {
            add_masked_moves<CapturesOnly>(f, from, rook_attacks(from, f.all), out);
        }
    }
}

// Pawns that are not pinned, as sets: pushes, double pushes, captures on the
// first diagonal and the second, then promotions the same way.
template <bool CapturesOnly, Color us, typename Sink>
KESTRUNE_FORCE_INLINE void add_free_pawns(Bitboard free_pawns, const PositionFacts& f, Sink& out) {
    using S = Side<us>;
    const Bitboard pawns = free_pawns & ~S::seventh_rank;
    const Bitboard promoting = free_pawns & S::seventh_rank;
    constexpr int first = S::first_capture;
    constexpr int second = S::second_capture;
    if constexpr (!CapturesOnly) {
        const Bitboard single = S::forward(pawns) & ~f.all;
        out.add_pawn_moves(single & f.quiet_mask, S::push, Quiet);
        // Tested against the quiet mask on its own: a double step may block a check the single step cannot.
        const Bitboard twice = S::forward(single & S::push_start_rank) & f.quiet_mask;
        out.add_pawn_moves(twice, 2 * S::push, DoublePawnPush);
    }
    out.add_pawn_moves(S::template shift<first>(pawns & S::first_capture_from) & f.capture_mask, first, Capture);
    out.add_pawn_moves(S::template shift<second>(pawns & S::second_capture_from) & f.capture_mask, second, Capture);
    if (promoting == 0) {
        return;
    }
    if constexpr (!CapturesOnly) {
        out.add_pawn_promotions(S::forward(promoting) & f.quiet_mask, S::push, QUIET_PROMOTIONS);
    }
    out.add_pawn_promotions(S::template shift<first>(promoting & S::first_capture_from) & f.capture_mask, first,
                            CAPTURE_PROMOTIONS);
    out.add_pawn_promotions(S::template shift<second>(promoting & S::second_capture_from) & f.capture_mask, second,
                            CAPTURE_PROMOTIONS);
}

// The generation order: king steps; in double check nothing else. In single
// check, en passant and the captures of a checking pawn or knight, or else
// blocks and captures of a checking slider by free pieces. Out of check: en
// passant, castling, pinned sliders, pinned pawns, then the free pieces.
//
// The order is a contract: the search takes the earliest of equally scored
// moves, so reordering moves the bench signature. ReplyCounter
// (reply_counter.h) mirrors the out-of-check stages: a change to them must be
// mirrored there.
template <bool CapturesOnly, Color us, typename Sink>
KESTRUNE_FORCE_INLINE void generate_for(const BoardState& b, Sink& out) {
    PositionFacts f = read_position<CapturesOnly, us>(b);
    add_king_steps(f, out);
    if (more_than_one(f.checkers)) {
        return;
    }
    if (f.checkers != 0) {
        const Square checker = lowest_square(f.checkers);
        add_en_passant<us>(b, f, out);
        if ((f.checkers & (f.their_pawns | f.their_knights)) != 0) {
            add_checker_captures<us>(b, f, checker, out);
            return;
        }
        f.capture_mask = f.checkers;
        f.quiet_mask = between(f.king, checker);
    } else {
        add_en_passant<us>(b, f, out);
        if constexpr (!CapturesOnly) {
            add_castling<us>(b, f, out);
        }
        add_pinned_sliders<CapturesOnly, us>(b, f, out);
        add_pinned_pawns<CapturesOnly, us>(b, f, out);
    }
    add_free_pieces<CapturesOnly, us>(b, f, out);
    add_free_pawns<CapturesOnly, us>(b.pieces(us, Pawn) & ~f.pinned, f, out);
}

// The generator hands over moves in groups (a piece's targets, a pawn
// shift, promotions); a sink that takes moves one at a time derives from
// this and defines only `add(from, to, kind)`.
template <typename Sink>
class EachMoveSink {
public:
    KESTRUNE_FORCE_INLINE void add_targets(Square from, Bitboard targets, MoveKind kind) {
        while (targets != 0) {
            self().add(from, pop_lowest(targets), kind);
        }
    }
    // Captures first, then quiet moves.
    KESTRUNE_FORCE_INLINE void add_piece_moves(Square from, Bitboard captures, Bitboard quiets) {
        add_targets(from, captures, Capture);
        add_targets(from, quiets, Quiet);
    }
    // Pawn moves given by their targets; the origin lies `offset` squares back.
    KESTRUNE_FORCE_INLINE void add_pawn_moves(Bitboard targets, int offset, MoveKind kind) {
        while (targets != 0) {
            const Square to = pop_lowest(targets);
            self().add(static_cast<Square>(to - offset), to, kind);
        }
    }
    KESTRUNE_FORCE_INLINE void add_promotions(Square from, Square to, const PromotionKinds& kinds) {
        for (const MoveKind kind : kinds) {
            self().add(from, to, kind);
        }
    }
    KESTRUNE_FORCE_INLINE void add_pawn_promotions(Bitboard targets, int offset, const PromotionKinds& kinds) {
        while (targets != 0) {
            const Square to = pop_lowest(targets);
            add_promotions(static_cast<Square>(to - offset), to, kinds);
        }
    }

private:
    KESTRUNE_FORCE_INLINE Sink& self() { return static_cast<Sink&>(*this); }
};

// Appends each move to a list.
class ListSink : public EachMoveSink<ListSink> {
public:
    explicit ListSink(MoveList& list) : list_(list) {}
    KESTRUNE_FORCE_INLINE void add(Square from, Square to, MoveKind kind) { list_.push(Move(from, to, kind)); }

private:
    MoveList& list_;
};

// Counts moves without producing them.
class CountSink {
public:
    void add(Square, Square, MoveKind) { ++count_; }
    void add_targets(Square, Bitboard targets, MoveKind) { count_ += static_cast<std::uint64_t>(popcount(targets)); }
    // Capture and quiet targets never overlap: one count serves both.
    void add_piece_moves(Square, Bitboard captures, Bitboard quiets) {
        count_ += static_cast<std::uint64_t>(popcount(captures | quiets));
    }
    void add_pawn_moves(Bitboard targets, int, MoveKind) { count_ += static_cast<std::uint64_t>(popcount(targets)); }
    void add_promotions(Square, Square, const PromotionKinds&) { count_ += 4; }
    void add_pawn_promotions(Bitboard targets, int, const PromotionKinds&) {
        count_ += 4 * static_cast<std::uint64_t>(popcount(targets));
    }
    std::uint64_t count() const { return count_; }

private:
    std::uint64_t count_ = 0;
};

// The number of legal moves of `us`, the side to move.
template <Color us>
std::uint64_t count_for(const BoardState& board) {
    CountSink sink;
    generate_for<false, us>(board, sink);
    return sink.count();
}

// Calls generate_for for the side to move.
template <bool CapturesOnly, typename Sink>
KESTRUNE_FORCE_INLINE void generate(const BoardState& b, Sink& out) {
    if (b.side == White) {
        generate_for<CapturesOnly, White>(b, out);
    } else {
        generate_for<CapturesOnly, Black>(b, out);
    }
}

}  // namespace kestrune::generation

namespace kestrune {

// The legal moves in the engine's fixed generation order. With captures_only,
// quiet moves are left out except the king's own steps.
void generate_moves(const BoardState& board, bool captures_only, MoveList& out);
MoveList generate_moves(const BoardState& board, bool captures_only);
// The number of legal moves (all moves), counted without building the list.
std::uint64_t count_moves(const BoardState& board);

}  // namespace kestrune
