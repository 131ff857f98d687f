// Runs a perft suite file ("FEN ; D1 n ; D2 n ; ...", '#' comments) and
// reports, per position, pass or fail and the leaf-node rate. A line that
// does not read fails the run, as it fails the tests. With --plain every
// move is made down to the last ply (perft's reference mode); with --chess960
// the castling fields are read as Chess960 ones (Shredder-FEN or X-FEN).
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "perft.h"
#include "perft_suite.h"

int main(int argc, char** argv) {
    bool plain = false;
    bool chess960 = false;
    int first = 1;
    for (; first < argc; ++first) {
        const std::string_view flag(argv[first]);
        if (flag == "--plain") {
            plain = true;
        } else if (flag == "--chess960") {
            chess960 = true;
        } else {
            break;
        }
    }
    if (argc < first + 1) {
        std::cerr << "usage: perft_runner [--plain] [--chess960] SUITE_FILE [MAX_DEPTH]\n";
        return 2;
    }
    const int max_depth = argc > first + 1 ? std::atoi(argv[first + 1]) : 99;
    const kestrune::PerftMode mode = plain ? kestrune::PerftMode::Plain : kestrune::PerftMode::ReplyCounting;
    const kestrune::PerftSuiteFile suite = kestrune::read_perft_suite(argv[first], chess960);
    if (suite.position_lines == 0 && !suite.unread.empty()) {
        std::cerr << suite.unread.front() << "\n";
        return 2;
    }
    int failures = 0;
    for (const std::string& line : suite.unread) {
        std::cout << "FAIL unread line: " << line << "\n";
        ++failures;
    }
    std::uint64_t total_nodes = 0;
    double total_seconds = 0;
    for (const kestrune::SuitePosition& position : suite.positions) {
        const kestrune::BoardState board = *kestrune::from_fen(position.fen, chess960).board;
        bool passed = true;
        std::uint64_t nodes = 0;
        double seconds = 0;
        int deepest = 0;
        for (const auto& [depth, expected] : position.counts) {
            if (depth > max_depth) {
                continue;
            }
            const auto start = std::chrono::steady_clock::now();
            const std::uint64_t count = kestrune::perft(board, depth, mode);
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            nodes += count;
            deepest = depth;
            if (count != expected) {
                std::cout << "FAIL " << position.fen << " depth " << depth << ": got " << count << ", expected "
                          << expected << "\n";
                passed = false;
            }
        }
        total_nodes += nodes;
        total_seconds += seconds;
        failures += passed ? 0 : 1;
        std::cout << (passed ? "pass " : "FAIL ") << position.fen << " (to depth " << deepest << ", " << nodes
                  << " leaves, " << static_cast<std::uint64_t>(seconds > 0 ? static_cast<double>(nodes) / seconds : 0)
                  << " leaves/s)\n";
    }
    const int positions = suite.position_lines;
    std::cout << positions - failures << " passed, " << failures << " failed; " << total_nodes << " leaves in "
              << total_seconds << " s, "
              << static_cast<std::uint64_t>(total_seconds > 0 ? static_cast<double>(total_nodes) / total_seconds : 0)
              << " leaves/s\n";
    return failures == 0 && positions > 0 ? 0 : 1;
}
