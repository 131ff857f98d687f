#include "board_state.h"

#include <cstdlib>

namespace kestrune {

BoardState from_parts(const std::array<Piece, 64>& placement, Color side, Bitboard castle_touched,
                      Bitboard en_passant, std::uint64_t halfmove_clock) {
    BoardState board{};
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

template <bool Record>
BoardState make(const BoardState& board, Move m) {
    BoardState next;
    copy_board(next, board);
    const Square from = m.from();
    const Square to = m.to();
    const Color us = board.side;
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
        next.hash = board.hash ^ ZOBRIST.en_passant_keys[static_cast<std::size_t>(file_of(lowest_square(board.en_passant)))];
        next.en_passant = 0;
    }
    const Square back_rank = us == White ? 0 : 56;
    switch (m.kind()) {
        case Quiet:
            move_piece(next, from, to);
            break;
        case DoublePawnPush: {
            move_piece(next, from, to);
            const auto passed = static_cast<Square>(us == White ? from + 8 : from - 8);
            next.en_passant = square_bb(passed);
            next.hash ^= ZOBRIST.en_passant_keys[static_cast<std::size_t>(file_of(from))];
            break;
        }
        case CastleKingside:
            move_piece(next, static_cast<Square>(back_rank + E1), static_cast<Square>(back_rank + G1));
            move_piece(next, static_cast<Square>(back_rank + H1), static_cast<Square>(back_rank + F1));
            break;
        case CastleQueenside:
            move_piece(next, static_cast<Square>(back_rank + E1), static_cast<Square>(back_rank + C1));
            move_piece(next, static_cast<Square>(back_rank + A1), static_cast<Square>(back_rank + D1));
            break;
        case Capture:
            next.halfmove_clock = 0;
            remove_piece(next, to);
            move_piece(next, from, to);
            break;
        case EnPassant:
            move_piece(next, from, to);
            remove_piece(next, static_cast<Square>(us == White ? to - 8 : to + 8));
            break;
        case PromoteKnight:
        case PromoteBishop:
        case PromoteRook:
        case PromoteQueen:
            remove_piece(next, from);
            put_piece(next, make_piece(us, m.promoted_kind()), to);
            break;
        case CapturePromoteKnight:
        case CapturePromoteBishop:
        case CapturePromoteRook:
        case CapturePromoteQueen:
            remove_piece(next, from);
            remove_piece(next, to);
            put_piece(next, make_piece(us, m.promoted_kind()), to);
            break;
        default:
            // Kinds 6 and 7 are never generated: reaching here is a programming error.
            std::abort();
    }
    next.side = opposite(us);
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

bool has_castling_right(const BoardState& board, Color c, bool kingside) {
    const Square back_rank = c == White ? 0 : 56;
    const Bitboard needed = square_bb(static_cast<Square>(back_rank + E1)) |
                            square_bb(static_cast<Square>(back_rank + (kingside ? H1 : A1)));
    return (board.castle_touched & needed) == 0;
}

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

namespace {

// Promotion kinds in the order they are produced.
constexpr std::array<int, 4> QUIET_PROMOTIONS{PromoteQueen, PromoteKnight, PromoteRook, PromoteBishop};
constexpr std::array<int, 4> CAPTURE_PROMOTIONS{CapturePromoteQueen, CapturePromoteKnight, CapturePromoteRook,
                                                CapturePromoteBishop};
// A pawn capturing a checker on the last rank lists its promotions in this order.
constexpr std::array<int, 4> CHECK_CAPTURE_PROMOTIONS{CapturePromoteQueen, CapturePromoteRook,
                                                      CapturePromoteKnight, CapturePromoteBishop};

class ListSink {
public:
    explicit ListSink(MoveList& list) : list_(list) {}
    void add(Square from, Square to, int kind) { list_.push(Move(from, to, kind)); }
    void add_targets(Square from, Bitboard targets, int kind) {
        while (targets != 0) {
            add(from, pop_lowest(targets), kind);
        }
    }
    // Captures first, then quiet moves.
    void add_piece_moves(Square from, Bitboard captures, Bitboard quiets) {
        add_targets(from, captures, Capture);
        add_targets(from, quiets, Quiet);
    }
    // Pawn moves given by their targets; the origin lies `offset` squares back.
    void add_pawn_moves(Bitboard targets, int offset, int kind) {
        while (targets != 0) {
            const Square to = pop_lowest(targets);
            add(static_cast<Square>(to - offset), to, kind);
        }
    }
    void add_promotions(Square from, Square to, const std::array<int, 4>& kinds) {
        for (const int kind : kinds) {
            add(from, to, kind);
        }
    }
    void add_pawn_promotions(Bitboard targets, int offset, const std::array<int, 4>& kinds) {
        while (targets != 0) {
            const Square to = pop_lowest(targets);
            add_promotions(static_cast<Square>(to - offset), to, kinds);
        }
    }

private:
    MoveList& list_;
};

class CountSink {
public:
    void add(Square, Square, int) { ++count_; }
    void add_targets(Square, Bitboard targets, int) { count_ += static_cast<std::uint64_t>(popcount(targets)); }
    // Capture and quiet targets never overlap: one count serves both.
    void add_piece_moves(Square, Bitboard captures, Bitboard quiets) {
        count_ += static_cast<std::uint64_t>(popcount(captures | quiets));
    }
    void add_pawn_moves(Bitboard targets, int, int) { count_ += static_cast<std::uint64_t>(popcount(targets)); }
    void add_promotions(Square, Square, const std::array<int, 4>&) { count_ += 4; }
    void add_pawn_promotions(Bitboard targets, int, const std::array<int, 4>&) {
        count_ += 4 * static_cast<std::uint64_t>(popcount(targets));
    }
    std::uint64_t count() const { return count_; }

private:
    std::uint64_t count_ = 0;
};

constexpr Bitboard forward(Color c, Bitboard b) { return c == White ? b << 8 : b >> 8; }

// The side to move is a template argument: every colour-dependent shift,
// rank and square folds to a constant.
template <bool CapturesOnly, Color us, typename Sink>
void generate_for(const BoardState& b, Sink& out) {
    constexpr Color them = opposite(us);
    constexpr Bitboard seventh_rank = us == White ? RANK_8 >> 8 : RANK_1 << 8;
    // A pawn's single step that lands here may step again.
    constexpr Bitboard push_start_rank = us == White ? RANK_3 : RANK_6;
    const Bitboard own = b.pieces(us);
    const Bitboard enemy = b.pieces(them);
    const Bitboard all = own | enemy;
    const Square k = b.king_square(us);
    const Bitboard their_pawns = b.pieces(them, Pawn);
    const Bitboard their_knights = b.pieces(them, Knight);
    const Bitboard their_diagonal = b.pieces(them, Bishop) | b.pieces(them, Queen);
    const Bitboard their_orthogonal = b.pieces(them, Rook) | b.pieces(them, Queen);

    // Only the king's steps and the squares it crosses when castling ever ask
    // about danger, so enemy slider lines that miss them are not traced.
    constexpr int back_rank = us == White ? 0 : 56;
    const auto on_back_rank = [](Square s) { return square_bb(static_cast<Square>(back_rank + s)); };
    const Bitboard kingside_path = on_back_rank(F1) | on_back_rank(G1);
    const Bitboard queenside_path = on_back_rank(C1) | on_back_rank(D1);
    const bool kingside_open = !CapturesOnly && (b.castle_touched & (on_back_rank(E1) | on_back_rank(H1))) == 0 &&
                               (all & kingside_path) == 0;
    const bool queenside_open = !CapturesOnly && (b.castle_touched & (on_back_rank(E1) | on_back_rank(A1))) == 0 &&
                                (all & (queenside_path | on_back_rank(1))) == 0;
    const Bitboard danger_zone =
        (king_attacks(k) & ~own) | (kingside_open ? kingside_path : 0) | (queenside_open ? queenside_path : 0);

    // Squares the opponent attacks, seen through our king so that stepping
    // back along a checking line is refused.
    const Bitboard without_king = all ^ square_bb(k);
    Bitboard danger = 0;
    if (danger_zone != 0) {
        danger = pawn_attacks(them, their_pawns) | king_attacks(b.king_square(them));
        for (Bitboard n = their_knights; n != 0;) {
            danger |= knight_attacks(pop_lowest(n));
        }
        const auto add_slider_danger = [&](Bitboard sliders, std::size_t first_direction) {
            while (sliders != 0) {
                const Square s = pop_lowest(sliders);
                for (std::size_t d = first_direction; d < first_direction + 2; ++d) {
                    const LineMasks& masks = line_masks(d, s);
                    if ((masks.full_line & danger_zone) != 0) {
                        danger |= line_attacks(masks, without_king);
                    }
                }
            }
        };
        add_slider_danger(their_orthogonal, 0);
        add_slider_danger(their_diagonal, 2);
    }

    const Bitboard king_targets = king_attacks(k) & ~danger & ~own;
    // The king's quiet steps are produced in the captures-only mode too.
    out.add_targets(k, king_targets & ~all, Quiet);
    out.add_targets(k, king_targets & enemy, Capture);

    Bitboard checkers = (pawn_attackers_of(them, square_bb(k)) & their_pawns) | (their_knights & knight_attacks(k));
    Bitboard pinned = 0;
    // Rays from our king that look through our own pieces to the first enemy piece.
    Bitboard snipers = 0;
    for (std::size_t d = 0; d < DIRECTIONS; ++d) {
        const LineMasks& masks = line_masks(d, k);
        const Bitboard sliders = d < 2 ? their_orthogonal : their_diagonal;
        if ((masks.full_line & sliders) != 0) {
            snipers |= line_attacks(masks, enemy) & sliders;
        }
    }
    while (snipers != 0) {
        const Square s = pop_lowest(snipers);
        const Bitboard blockers = between(k, s) & own;
        if (blockers == 0) {
            checkers |= square_bb(s);
        } else if (!more_than_one(blockers)) {
            pinned |= blockers;
        }
    }
    if (more_than_one(checkers)) {
        return;
    }

    const Bitboard our_pawns = b.pieces(us, Pawn);
    const Bitboard not_pinned = ~pinned;
    const Bitboard last_ranks = RANK_1 | RANK_8;

    // En passant is tested by the position it leaves: with the capturing pawn
    // moved and the captured pawn gone, no slider may reach our king. This also
    // admits a capture along a pin line and a capture that blocks a slider's check.
    auto en_passant = [&]() {
        if (b.en_passant == 0) {
            return;
        }
        const Square target = lowest_square(b.en_passant);
        const auto captured = static_cast<Square>(us == White ? target - 8 : target + 8);
        // A pawn or knight giving check must be the pawn taken.
        if ((checkers & (their_pawns | their_knights) & ~square_bb(captured)) != 0) {
            return;
        }
        for (Bitboard candidates = pawn_attackers_of(us, b.en_passant) & our_pawns; candidates != 0;) {
            const Square from = pop_lowest(candidates);
            const Bitboard after = (all ^ square_bb(from) ^ square_bb(captured)) | b.en_passant;
            if ((rook_attacks(k, after) & their_orthogonal) == 0 && (bishop_attacks(k, after) & their_diagonal) == 0) {
                out.add(from, target, EnPassant);
            }
        }
    };

    Bitboard capture_mask;
    Bitboard quiet_mask;
    if (checkers != 0) {
        const Square checker = lowest_square(checkers);
        const int checker_kind = kind_of(b.squares[checker]);
        en_passant();
        if (checker_kind == Pawn || checker_kind == Knight) {
            // Neither can be blocked: only a capture of the checker helps.
            const bool promotes = (square_bb(checker) & last_ranks) != 0;
            for (Bitboard a = attackers_to(b, checker, all, us) & not_pinned; a != 0;) {
                const Square from = pop_lowest(a);
                if (promotes && kind_of(b.squares[from]) == Pawn) {
                    out.add_promotions(from, checker, CHECK_CAPTURE_PROMOTIONS);
                } else {
                    out.add(from, checker, Capture);
                }
            }
            return;
        }
        capture_mask = checkers;
        quiet_mask = between(k, checker);
    } else {
        capture_mask = enemy;
        quiet_mask = ~all;
        en_passant();

        // The king's own square needs no test: this branch is never in check.
        if (kingside_open && (danger & kingside_path) == 0) {
            out.add(static_cast<Square>(back_rank + E1), static_cast<Square>(back_rank + G1), CastleKingside);
        }
        // The king passes c1 and d1; b1 only has to be empty.
        if (queenside_open && (danger & queenside_path) == 0) {
            out.add(static_cast<Square>(back_rank + E1), static_cast<Square>(back_rank + C1), CastleQueenside);
        }

        // Pinned pieces move only along their pin line; pinned knights never move.
        const Bitboard pinned_sliders = pinned & (b.pieces(us, Bishop) | b.pieces(us, Rook) | b.pieces(us, Queen));
        for (Bitboard p = pinned_sliders; p != 0;) {
            const Square from = pop_lowest(p);
            const Bitboard targets = attacks(kind_of(b.squares[from]), from, all) & line(k, from);
            if constexpr (!CapturesOnly) {
                out.add_targets(from, targets & quiet_mask, Quiet);
            }
            out.add_targets(from, targets & capture_mask, Capture);
        }

        for (Bitboard p = pinned & our_pawns; p != 0;) {
            const Square from = pop_lowest(p);
            const Bitboard pin_line = line(k, from);
            const Bitboard captures = pawn_attacks(us, square_bb(from)) & pin_line & enemy;
            if ((square_bb(from) & seventh_rank) != 0) {
                // A quiet promotion would leave the pin line: only capturing the pinner can be legal.
                for (Bitboard t = captures; t != 0;) {
                    out.add_promotions(from, pop_lowest(t), CAPTURE_PROMOTIONS);
                }
                continue;
            }
            out.add_targets(from, captures, Capture);
            if constexpr (!CapturesOnly) {
                const Bitboard single = forward(us, square_bb(from)) & pin_line & ~all;
                if (single != 0) {
                    out.add(from, lowest_square(single), Quiet);
                    const Bitboard twice = forward(us, single & push_start_rank) & pin_line & ~all;
                    if (twice != 0) {
                        out.add(from, lowest_square(twice), DoublePawnPush);
                    }
                }
            }
        }
    }

    const auto add_piece_moves = [&](Square from, Bitboard targets) {
        if constexpr (CapturesOnly) {
            out.add_targets(from, targets & capture_mask, Capture);
        } else {
            out.add_piece_moves(from, targets & capture_mask, targets & quiet_mask);
        }
    };
    for (Bitboard n = b.pieces(us, Knight) & not_pinned; n != 0;) {
        const Square from = pop_lowest(n);
        add_piece_moves(from, knight_attacks(from));
    }
    const Bitboard queens = b.pieces(us, Queen);
    for (Bitboard d = (b.pieces(us, Bishop) | queens) & not_pinned; d != 0;) {
        const Square from = pop_lowest(d);
        if ((diagonal_neighbours(from) & ~own) != 0) {
            add_piece_moves(from, bishop_attacks(from, all));
        }
    }
    for (Bitboard r = (b.pieces(us, Rook) | queens) & not_pinned; r != 0;) {
        const Square from = pop_lowest(r);
        if ((orthogonal_neighbours(from) & ~own) != 0) {
            add_piece_moves(from, rook_attacks(from, all));
        }
    }

    const Bitboard free_pawns = our_pawns & not_pinned;
    const Bitboard pawns = free_pawns & ~seventh_rank;
    const Bitboard promoting = free_pawns & seventh_rank;
    const int push = us == White ? 8 : -8;
    // The diagonal towards file a for White and towards file h for Black comes first.
    const int first_offset = us == White ? 7 : -7;
    const int second_offset = us == White ? 9 : -9;
    const Bitboard first_from_mask = us == White ? NOT_FILE_A : NOT_FILE_H;
    const Bitboard second_from_mask = us == White ? NOT_FILE_H : NOT_FILE_A;
    auto shift = [](Bitboard bb, int offset) { return offset > 0 ? bb << offset : bb >> -offset; };

    if constexpr (!CapturesOnly) {
        const Bitboard single = forward(us, pawns) & ~all;
        out.add_pawn_moves(single & quiet_mask, push, Quiet);
        // Tested against the quiet mask on its own: a double step may block a check the single step cannot.
        const Bitboard twice = forward(us, single & push_start_rank) & quiet_mask;
        out.add_pawn_moves(twice, 2 * push, DoublePawnPush);
    }
    out.add_pawn_moves(shift(pawns & first_from_mask, first_offset) & capture_mask, first_offset, Capture);
    out.add_pawn_moves(shift(pawns & second_from_mask, second_offset) & capture_mask, second_offset, Capture);

    if (promoting != 0) {
        if constexpr (!CapturesOnly) {
            out.add_pawn_promotions(forward(us, promoting) & quiet_mask, push, QUIET_PROMOTIONS);
        }
        out.add_pawn_promotions(shift(promoting & first_from_mask, first_offset) & capture_mask, first_offset,
                                CAPTURE_PROMOTIONS);
        out.add_pawn_promotions(shift(promoting & second_from_mask, second_offset) & capture_mask, second_offset,
                                CAPTURE_PROMOTIONS);
    }
}

template <bool CapturesOnly, typename Sink>
void generate(const BoardState& b, Sink& out) {
    if (b.side == White) {
        generate_for<CapturesOnly, White>(b, out);
    } else {
        generate_for<CapturesOnly, Black>(b, out);
    }
}

}  // namespace

void generate_moves(const BoardState& board, bool captures_only, MoveList& out) {
    ListSink sink(out);
    if (captures_only) {
        generate<true>(board, sink);
    } else {
        generate<false>(board, sink);
    }
}

MoveList generate_moves(const BoardState& board, bool captures_only) {
    MoveList list;
    generate_moves(board, captures_only, list);
    return list;
}

std::uint64_t count_moves(const BoardState& board) {
    CountSink sink;
    generate<false>(board, sink);
    return sink.count();
}

}  // namespace kestrune
