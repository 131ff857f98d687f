#include "perft.h"

#include "move_generation.h"
#include "reply_counter.h"

namespace kestrune {
namespace {

template <Color us, bool Plain>
std::uint64_t perft_for(const BoardState& board, int depth);

// Makes every move the moment the generator finds it and counts its subtree:
// no move list, and each make sees its kind as a constant.
template <Color us, bool Plain>
class PerftSink : public generation::EachMoveSink<PerftSink<us, Plain>> {
public:
    PerftSink(const BoardState& board, int depth) : board_(board), depth_(depth) {}

    KESTRUNE_FORCE_INLINE void add(Square from, Square to, MoveKind kind) {
        BoardState next;
        make_for_perft<us, true>(board_, next, from, to, kind);
        total_ += perft_for<opposite(us), Plain>(next, depth_ - 1);
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

// The last ply is counted, not made: depth >= 2 when counting replies, >= 1
// in plain mode.
template <Color us, bool Plain>
std::uint64_t perft_for(const BoardState& board, int depth) {
    if constexpr (Plain) {
        if (depth == 1) {
            return generation::count_for<us>(board);
        }
    } else if (depth == 2) {
        ReplyCountSink<us> sink(board);
        generation::generate_for<false, us>(board, sink);
        return sink.total();
    }
    PerftSink<us, Plain> sink(board, depth);
    generation::generate_for<false, us>(board, sink);
    return sink.total();
}

template <Color us, bool Plain>
std::uint64_t perft_from(const BoardState& board, int depth) {
    if (depth <= 0) {
        return 1;
    }
    if (depth == 1) {
        return generation::count_for<us>(board);
    }
    return perft_for<us, Plain>(board, depth);
}

// Records the leaves under each root move, counted as PerftSink and
// ReplyCountSink count them inside the tree.
template <Color us, bool Plain>
class DivideSink : public generation::EachMoveSink<DivideSink<us, Plain>> {
public:
    DivideSink(const BoardState& board, int depth, std::vector<MoveCount>& out)
        : board_(board), depth_(depth), counter_(board), out_(out) {}

    void add(Square from, Square to, MoveKind kind) {
        std::uint64_t leaves = 1;
        if (!Plain && depth_ == 2) {
            leaves = counter_.replies(from, to, kind);
        } else if (depth_ >= 2) {
            BoardState next;
            make_for_perft<us, true>(board_, next, from, to, kind);
            leaves = perft_for<opposite(us), Plain>(next, depth_ - 1);
        }
        out_.push_back({Move(from, to, kind), leaves});
    }

private:
    const BoardState& board_;
    int depth_;
    ReplyCounter<us> counter_;
    std::vector<MoveCount>& out_;
};

template <Color us, bool Plain>
std::vector<MoveCount> divide_from(const BoardState& board, int depth) {
    std::vector<MoveCount> counts;
    DivideSink<us, Plain> sink(board, depth, counts);
    generation::generate_for<false, us>(board, sink);
    return counts;
}

}  // namespace

std::uint64_t perft(const BoardState& board, int depth, PerftMode mode) {
    const bool white = board.side == White;
    if (mode == PerftMode::Plain) {
        return white ? perft_from<White, true>(board, depth) : perft_from<Black, true>(board, depth);
    }
    return white ? perft_from<White, false>(board, depth) : perft_from<Black, false>(board, depth);
}

std::vector<MoveCount> perft_divide(const BoardState& board, int depth, PerftMode mode) {
    const bool white = board.side == White;
    if (mode == PerftMode::Plain) {
        return white ? divide_from<White, true>(board, depth) : divide_from<Black, true>(board, depth);
    }
    return white ? divide_from<White, false>(board, depth) : divide_from<Black, false>(board, depth);
}

std::string divide(const BoardState& board, int depth) {
    MoveList moves;
    generate_moves(board, false, moves);
    std::string text;
    for (const Move m : moves) {
        text += move_text(board, m).view();
        text += ": ";
        text += std::to_string(perft(make_move(board, m), depth - 1));
        text += '\n';
    }
    return text;
}

}  // namespace kestrune
