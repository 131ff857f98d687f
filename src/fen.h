// Forsyth-Edwards Notation: reading positions and writing them back, and the
// board diagram of the display command.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "board_state.h"

namespace kestrune {

inline constexpr std::string_view START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
inline constexpr std::string_view SIDE_ERROR = "Allowed sides are 'w' and 'b'.";

// On failure `board` is empty and `error` says why; a bad side field gives
// exactly SIDE_ERROR.
struct FenResult {
    std::optional<BoardState> board;
    std::string error;
};

FenResult from_fen(std::string_view text);
std::string to_fen(const BoardState& board);
// 17 lines, each ending in "\n".
std::string diagram(const BoardState& board);

}  // namespace kestrune
