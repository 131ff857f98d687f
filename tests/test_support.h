// Helpers shared by the tests: boards and moves from text, names for table
// rows, a recording output writer, reading answer lines, and files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "fen.h"
#include "move.h"
#include "output.h"

namespace kestrune::testing {

// Debian's stockfish, the independent referee of move generation.
inline constexpr const char* STOCKFISH = "/usr/games/stockfish";

// The board of a FEN the test relies on; a rejected FEN fails the test and
// yields the start position so that the test can go on to report more.
inline BoardState board_of(std::string_view fen) {
    const FenResult result = from_fen(fen);
    if (!result.board) {
        ADD_FAILURE() << "test FEN rejected: " << fen << ": " << result.error;
        return *from_fen(START_FEN).board;
    }
    return *result.board;
}

// The legal move `uci` in `board`; a move the test got wrong is an error.
inline Move move_of(const BoardState& board, std::string_view uci) {
    const ParsedMove parsed = parse_uci(uci, board);
    if (!parsed.move) {
        throw std::invalid_argument("not a legal move in the test position: " + std::string(uci));
    }
    return *parsed.move;
}

// Whether `uci` reads as a legal move in the position of `fen`.
inline bool is_legal(std::string_view fen, std::string_view uci) {
    const FenResult board = from_fen(fen);
    return board.board && parse_uci(uci, *board.board).move.has_value();
}

// Table rows named by their `name` field: pass `case_name` as the name generator.
struct CaseName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return info.param.name;
    }
};
inline constexpr CaseName case_name{};

// Turns a printed value into a test name: letters and digits kept, each word
// capitalised, the signs and points of numbers spelt out; e.g. "depth -3, white"
// gives "DepthMinus3White".
inline std::string identifier_of(std::string_view text) {
    std::string name;
    bool word_start = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (std::isalnum(c) != 0) {
            name += word_start ? static_cast<char>(std::toupper(c)) : static_cast<char>(c);
            word_start = false;
        } else {
            // Signs and decimal points of numbers stay visible, so that "-5",
            // "--5" and "5" name different rows.
            const char next = i + 1 < text.size() ? text[i + 1] : ' ';
            const bool number_follows = std::isdigit(static_cast<unsigned char>(next)) != 0;
            if (c == '-' && (number_follows || next == '-' || next == '+')) {
                name += "Minus";
            } else if (c == '+' && number_follows) {
                name += "Plus";
            } else if (c == '.' && number_follows && !name.empty() &&
                       std::isdigit(static_cast<unsigned char>(name.back())) != 0) {
                name += "Point";
            }
            word_start = true;
        }
    }
    return name.empty() ? "Empty" : name;
}

// Table rows without a name field, named by what their PrintTo writes.
struct PrintedName {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return identifier_of(::testing::PrintToString(info.param));
    }
};
inline constexpr PrintedName printed_name{};

// Cases with a `name` print as it, so failure reports stay readable. A test
// file makes it visible to GoogleTest with `using testing::PrintTo;`.
template <typename Case>
requires requires(const Case& c) { std::string_view(c.name); }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// An output writer that keeps every line and answers the stop flag it is given.
class RecordingSink : public OutputSink {
public:
    void write_line(std::string_view text) override { lines.emplace_back(text); }

    std::vector<std::string> lines;
};

// "cp 12" or "mate -1" from a progress line; "" when it has no score.
inline std::string score_of(std::string_view line) {
    const auto at = line.find(" score ");
    if (at == std::string_view::npos) {
        return {};
    }
    const auto kind_end = line.find(' ', at + 7);
    const auto value_end = kind_end == std::string_view::npos ? kind_end : line.find(' ', kind_end + 1);
    return std::string(line.substr(at + 7, value_end == std::string_view::npos ? value_end : value_end - at - 7));
}

// The move text of a "bestmove " line, "" for any other line.
inline std::string bestmove_of(std::string_view line) {
    if (!line.starts_with("bestmove ")) {
        return {};
    }
    const std::string_view rest = line.substr(9);
    return std::string(rest.substr(0, rest.find(' ')));
}

// The whole content of a file, or "" when it cannot be read.
inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    // Chunked reads: gcc 12 sees a null dereference in istreambuf_iterator
    // once the sanitizers' instrumentation is inlined.
    std::array<char, 4096> chunk{};
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
        text.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    }
    return text;
}

// The space-separated words of a setting.
inline std::vector<std::string> space_separated_words(std::string_view text) {
    std::vector<std::string> words;
    while (!text.empty()) {
        const std::size_t start = text.find_first_not_of(' ');
        if (start == std::string_view::npos) break;
        text.remove_prefix(start);
        const std::size_t end = std::min(text.find(' '), text.size());
        words.emplace_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return words;
}

// Words put before every test's own arguments to the engine, from the
// environment: KESTRUNE_TEST_ENGINE_ARGS=--extended runs the tests that
// drive the engine in its extended profile.
inline std::vector<std::string> profile_words() {
    const char* text = std::getenv("KESTRUNE_TEST_ENGINE_ARGS");
    return space_separated_words(text == nullptr ? "" : text);
}

inline bool extended_profile() {
    const std::vector<std::string> words = profile_words();
    return std::find(words.begin(), words.end(), "--extended") != words.end();
}

}  // namespace kestrune::testing
