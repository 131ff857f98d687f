#include "perft.h"

namespace kestrune {

std::uint64_t perft(const BoardState& board, int depth) {
    if (depth <= 0) {
        return 1;
    }
    // The last ply is counted, not made.
    if (depth == 1) {
        return count_moves(board);
    }
    MoveList moves;
    generate_moves(board, false, moves);
    std::uint64_t total = 0;
    for (const Move m : moves) {
        total += perft(make_move(board, m), depth - 1);
    }
    return total;
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
