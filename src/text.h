// Pure text helpers for command lines: the tokenizer, the UTF-8 check and
// small operations on tokens. The lowest layer: it knows nothing of chess.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

// The command word is matched with only its ASCII letters lowered.
std::string ascii_lower(std::string_view word);

// Cuts at every Unicode White_Space character and drops empty pieces.
std::vector<std::string_view> split_tokens(std::string_view text);

// Well-formed UTF-8: no overlong forms, surrogates or code points beyond U+10FFFF.
bool is_valid_utf8(std::string_view text);

// The tokens with one space between each two.
std::string join(std::span<const std::string_view> tokens);

bool has_token(std::span<const std::string_view> tokens, std::string_view word);

}  // namespace kestrune
