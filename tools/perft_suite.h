// The perft suite format, read one way by the tests and by perft_runner:
// "FEN ; D1 n ; D2 n ; ... [; id NAME]" per line, '#' starts a comment line.
#pragma once

#include <charconv>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fen.h"

namespace kestrune {

struct SuitePosition {
    int line = 0;  // 1-based line number in the file
    std::string fen;
    std::vector<std::pair<int, std::uint64_t>> counts;  // depth, leaf count
};

struct PerftSuiteFile {
    std::vector<SuitePosition> positions;
    int position_lines = 0;           // lines that are neither blank nor comments
    std::vector<std::string> unread;  // lines with a field that does not parse or a rejected FEN
};

namespace detail {

inline std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

template <typename T>
bool read_number(std::string_view text, T& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

}  // namespace detail

// A file that cannot be opened reads as one unread line saying so. With
// `chess960` the FENs' castling fields are read as Chess960 ones.
inline PerftSuiteFile read_perft_suite(const std::string& path, bool chess960 = false) {
    PerftSuiteFile suite;
    std::ifstream file(path);
    if (!file) {
        suite.unread.push_back("cannot open " + path);
        return suite;
    }
    std::string raw;
    for (int number = 1; std::getline(file, raw); ++number) {
        const std::string_view line = detail::trim(raw);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        ++suite.position_lines;
        SuitePosition position{number, {}, {}};
        bool complete = true;
        std::size_t start = 0;
        for (bool first = true;; first = false) {
            const std::size_t semicolon = line.find(';', start);
            const std::string_view field = detail::trim(line.substr(start, semicolon - start));
            int depth = 0;
            std::uint64_t count = 0;
            const std::size_t space = field.find(' ');
            if (first) {
                position.fen = field;
            } else if (field.starts_with("id ")) {
                // A name only.
            } else if (field.starts_with("D") && space != std::string_view::npos &&
                       detail::read_number(field.substr(1, space - 1), depth) &&
                       detail::read_number(field.substr(space + 1), count)) {
                position.counts.emplace_back(depth, count);
            } else {
                complete = false;
            }
            if (semicolon == std::string_view::npos) {
                break;
            }
            start = semicolon + 1;
        }
        if (!complete || position.counts.empty() || !from_fen(position.fen, chess960).board) {
            suite.unread.emplace_back(line);
        } else {
            suite.positions.push_back(std::move(position));
        }
    }
    return suite;
}

}  // namespace kestrune
