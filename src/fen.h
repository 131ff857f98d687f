// The text forms the protocol reads and writes against a position:
// Forsyth-Edwards Notation (read and written back), UCI move text read as one
// of the position's legal moves, and the board diagram of the display command.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "board_state.h"
#include "move.h"

namespace kestrune {

inline constexpr std::string_view START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
inline constexpr std::string_view SIDE_ERROR = "Allowed sides are 'w' and 'b'.";

// On failure `board` is empty and `error` says why; a bad side field gives
// exactly SIDE_ERROR.
struct FenResult {
    std::optional<BoardState> board;
    std::string error;
};

// With `chess960` the castling field is read as Shredder-FEN or X-FEN, and the
// board writes castling as the king taking its rook, and its FEN in
// Shredder-FEN.
FenResult from_fen(std::string_view text, bool chess960 = false);
std::string to_fen(const BoardState& board);
// 17 lines, each ending in "\n".
std::string diagram(const BoardState& board);

// Either a move of the board or a failure; `message` is empty for text that
// names no legal move, which has no message text of its own.
struct ParsedMove {
    std::optional<Move> move;
    std::string message;
};

ParsedMove parse_uci(std::string_view text, const BoardState& board);

}  // namespace kestrune
