#include "move_generation.h"

namespace kestrune {

void generate_moves(const BoardState& board, bool captures_only, MoveList& out) {
    generation::ListSink sink(out);
    if (captures_only) {
        generation::generate<true>(board, sink);
    } else {
        generation::generate<false>(board, sink);
    }
}

MoveList generate_moves(const BoardState& board, bool captures_only) {
    MoveList list;
    generate_moves(board, captures_only, list);
    return list;
}

std::uint64_t count_moves(const BoardState& board) {
    generation::CountSink sink;
    generation::generate<false>(board, sink);
    return sink.count();
}

}  // namespace kestrune
