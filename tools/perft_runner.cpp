// Runs a perft suite file ("FEN ; D1 n ; D2 n ; ...", '#' comments) and
// reports, per position, pass or fail and the leaf-node rate.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "fen.h"
#include "perft.h"

namespace {

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: perft_runner SUITE_FILE [MAX_DEPTH]\n";
        return 2;
    }
    const int max_depth = argc > 2 ? std::atoi(argv[2]) : 99;
    std::ifstream suite(argv[1]);
    if (!suite) {
        std::cerr << "cannot open " << argv[1] << "\n";
        return 2;
    }
    int positions = 0;
    int failures = 0;
    std::uint64_t total_nodes = 0;
    double total_seconds = 0;
    std::string line;
    while (std::getline(suite, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::stringstream fields(line);
        std::string fen_text;
        std::getline(fields, fen_text, ';');
        fen_text = trim(fen_text);
        const kestrune::FenResult fen = kestrune::from_fen(fen_text);
        ++positions;
        if (!fen.board) {
            std::cout << "FAIL " << fen_text << " : " << fen.error << "\n";
            ++failures;
            continue;
        }
        std::string field;
        bool passed = true;
        std::uint64_t nodes = 0;
        double seconds = 0;
        int deepest = 0;
        while (std::getline(fields, field, ';')) {
            field = trim(field);
            int depth = 0;
            unsigned long long expected = 0;
            if (std::sscanf(field.c_str(), "D%d %llu", &depth, &expected) != 2 || depth > max_depth) {
                continue;
            }
            const auto start = std::chrono::steady_clock::now();
            const std::uint64_t count = kestrune::perft(*fen.board, depth);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            nodes += count;
            deepest = depth;
            if (count != expected) {
                std::cout << "FAIL " << fen_text << " depth " << depth << ": got " << count << ", expected "
                          << expected << "\n";
                passed = false;
            }
        }
        total_nodes += nodes;
        total_seconds += seconds;
        failures += passed ? 0 : 1;
        std::cout << (passed ? "pass " : "FAIL ") << fen_text << " (to depth " << deepest << ", " << nodes
                  << " leaves, " << static_cast<std::uint64_t>(seconds > 0 ? static_cast<double>(nodes) / seconds : 0) << " leaves/s)\n";
    }
    std::cout << positions - failures << " passed, " << failures << " failed; " << total_nodes << " leaves in "
              << total_seconds << " s, " << static_cast<std::uint64_t>(total_seconds > 0 ? static_cast<double>(total_nodes) / total_seconds : 0)
              << " leaves/s\n";
    return failures == 0 && positions > 0 ? 0 : 1;
}
