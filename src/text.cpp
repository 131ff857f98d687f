#include "text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace kestrune {

namespace {

// Length of the White_Space character starting at text[i], or 0.
std::size_t white_space_length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return (lead >= 0x09 && lead <= 0x0D) || lead == 0x20 ? 1 : 0;
    }
    if (lead == 0xC2 && i + 1 < text.size()) {
        const unsigned char next = byte(i + 1);
        return next == 0x85 || next == 0xA0 ? 2 : 0;  // U+0085, U+00A0
    }
    if (i + 2 >= text.size()) {
        return 0;
    }
    const unsigned code = (unsigned{lead} << 16) | (unsigned{byte(i + 1)} << 8) | byte(i + 2);
    const bool space = code == 0xE19A80                           // U+1680
                       || (code >= 0xE28080 && code <= 0xE2808A)  // U+2000..U+200A
                       || code == 0xE280A8 || code == 0xE280A9    // U+2028, U+2029
                       || code == 0xE280AF || code == 0xE2819F    // U+202F, U+205F
                       || code == 0xE38080;                       // U+3000
    return space ? 3 : 0;
}

}  // namespace

std::string join(std::span<const std::string_view> tokens) {
    std::string text;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += tokens[i];
    }
    return text;
}

bool has_token(std::span<const std::string_view> tokens, std::string_view word) {
    return std::find(tokens.begin(), tokens.end(), word) != tokens.end();
}

std::string ascii_lower(std::string_view word) {
    std::string lower(word);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::vector<std::string_view> split_tokens(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t space = white_space_length(text, i);
        if (space == 0) {
            ++i;
            continue;
        }
        if (i > start) {
            tokens.push_back(text.substr(start, i - start));
        }
        i += space;
        start = i;
    }
    if (text.size() > start) {
        tokens.push_back(text.substr(start));
    }
    return tokens;
}

bool is_valid_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length;
        std::uint32_t code;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1FU;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0FU;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07U;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0U) != 0x80U) {
                return false;
            }
            code = (code << 6) | (next & 0x3FU);
        }
        const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

}  // namespace kestrune
