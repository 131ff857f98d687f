#include "square.h"

namespace kestrune {

std::string square_name(Square s) { return {static_cast<char>('a' + file_of(s)), static_cast<char>('1' + rank_of(s))}; }

std::optional<Square> parse_square(std::string_view text) {
    if (text.size() < 2) {
        return std::nullopt;
    }
    const char file = text[0];
    const char rank = text[1];
    if (file < 'a' || file > 'h' || rank < '1' || rank > '8') {
        return std::nullopt;
    }
    return make_square(file - 'a', rank - '1');
}

}  // namespace kestrune
