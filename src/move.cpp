#include "move.h"

#include <cstdlib>

#include "board_state.h"
#include "move_generation.h"

namespace kestrune {

UciText uci_text(Move m) {
    UciText text;
    const Square from = m.from();
    const Square to = m.to();
    text.chars[0] = static_cast<char>('a' + file_of(from));
    text.chars[1] = static_cast<char>('1' + rank_of(from));
    text.chars[2] = static_cast<char>('a' + file_of(to));
    text.chars[3] = static_cast<char>('1' + rank_of(to));
    text.length = 4;
    if (m.is_promotion()) {
        text.chars[4] = "nbrq"[m.kind() & 3];
        text.length = 5;
    }
    return text;
}

std::string to_uci(Move m) { return std::string(uci_text(m).view()); }

ParsedMove parse_uci(std::string_view text, const BoardState& board) {
    if (text.size() < 4) {
        return {std::nullopt, "Invalid uci move notation: " + std::string(text)};
    }
    int kind = Quiet;
    if (text.size() == 5) {
        switch (text[4]) {
            case 'n':
                kind = PromoteKnight;
                break;
            case 'b':
                kind = PromoteBishop;
                break;
            case 'r':
                kind = PromoteRook;
                break;
            case 'q':
                kind = PromoteQueen;
                break;
            default:
                return {std::nullopt, "Invalid promotion piece in UCI notation: " + std::string(text)};
        }
    }
    // Square names off the board name no move: they must never alias another square.
    const auto from = parse_square(text.substr(0, 2));
    const auto to = parse_square(text.substr(2, 2));
    if (!from || !to) {
        return {std::nullopt, {}};
    }
    const UciText wanted = uci_text(Move(*from, *to, kind));
    for (const Move m : generate_moves(board, false)) {
        if (uci_text(m) == wanted) {
            return {m, {}};
        }
    }
    return {std::nullopt, {}};
}

void score_moves(const MoveList& moves, const BoardState& board, ScoredMoveList& out) {
    for (const Move m : moves) {
        if (m.kind() == 6 || m.kind() == 7) {
            // Kinds 6 and 7 are never generated: reaching here is a programming error.
            std::abort();
        }
        out.push({m, generation::ordering_delta(board, m.from(), m.to(), m.kind())});
    }
}

void prefer_move(ScoredMoveList& scored, Move preferred) {
    for (ScoredMove& entry : scored) {
        if (entry.move == preferred) {
            entry.score = static_cast<std::int16_t>(static_cast<std::uint16_t>(entry.score + PREFERRED_MOVE_BONUS));
            return;
        }
    }
}

}  // namespace kestrune
