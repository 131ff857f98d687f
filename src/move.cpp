#include "move.h"

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
        text.chars[4] = "?nbrq"[m.promoted_kind()];
        text.length = 5;
    }
    return text;
}

std::string to_uci(Move m) { return std::string(uci_text(m).view()); }

}  // namespace kestrune
