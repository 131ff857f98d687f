// Search benchmark: a fixed set of positions, each searched to a fixed depth
// with an empty table. The total node count is a signature of the search's
// behaviour: any change to ordering, pruning, extensions or evaluation moves
// it. A test pins it, so such changes are never unintended.
//
// Usage: bench [--threads N] [--hash MIB] [--expect FILE]
//   With --expect, the signature is compared with the number held in FILE and
//   the tool exits 1 when they differ. The signature holds for one thread and
//   16 MiB; with more threads the total counts every thread's nodes and varies
//   from run to run.

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "engine.h"
#include "fen.h"
#include "search.h"
#include "search_pool.h"

namespace {

using namespace kestrune;

constexpr std::uint8_t BENCH_DEPTH = 10;

// Openings, middlegames with tactics (several from the Win At Chess suite),
// endgames, mates, a stalemate and a position with a single legal move.
constexpr std::array<std::string_view, 32> POSITIONS{{
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq c6 0 2",
    "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3",
    "rnbqkb1r/ppp2ppp/4pn2/3p4/2PP4/2N5/PP2PPPP/R1BQKBNR w KQkq - 2 4",
    "rnbq1rk1/ppp1ppbp/3p1np1/8/2PPP3/2N2N2/PP3PPP/R1BQKB1R w KQ - 1 6",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
    "5rk1/1ppb3p/p1pb4/6q1/3P1p1r/2P1R2P/PP1BQ1P1/5RKN w - - 0 1",
    "r1bq2rk/pp3pbp/2p1p1pQ/7P/3P4/2PB1N2/PP3PPR/2KR4 w - - 0 1",
    "r4q1k/p2bR1rp/2p2Q1N/5p2/5p2/2P5/PP3PPP/R5K1 w - - 0 1",
    "3q1rk1/p4pp1/2pb3p/3p4/6Pr/1PNQ4/P1PB1PP1/4RRK1 b - - 0 1",
    "r1b1kb1r/3q1ppp/pBp1pn2/8/Np3P2/5B2/PPP3PP/R2Q1RK1 w kq - 0 1",
    "4k1r1/2p3r1/1pR1p3/3pP2p/3P2qP/P4N2/1PQ4P/5R1K b - - 0 1",
    "r4rk1/ppp2ppp/2n5/2bqp3/8/P2PB3/1PP1NPPP/R2Q1RK1 w - - 0 1",
    "r1b2rk1/ppbn1ppp/4p3/1QP4q/3P4/N4N2/5PPP/R1B2RK1 w - - 0 1",
    "8/7p/5k2/5p2/p1p2P2/Pr1pPK2/1P1R3P/8 b - - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "7k/p7/1R5K/6r1/6p1/6P1/8/8 w - - 0 1",
    "R7/P4k2/8/8/8/8/r7/6K1 w - - 0 1",
    "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1",
    "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1",
    "8/8/8/4k3/8/8/4P3/4K3 w - - 0 1",
    "8/8/8/4k3/8/8/8/R3K3 w - - 0 1",
    "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1",
    "k7/7p/1K6/8/8/8/8/6R1 b - - 0 1",
    "k7/8/1K6/8/8/8/8/7R b - - 0 1",
    "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1",
    "7k/8/6QK/8/8/8/8/8 b - - 0 1",
    "2r5/2rk2pp/1pn1pb2/pN1p4/P2P4/1N2B3/nPR1KPPP/3R4 b - - 0 1",
}};

class DiscardingSink final : public OutputSink {
public:
    void write_line(std::string_view) override {}
};

// One table and one set of helper threads for the whole run; the table is
// emptied before every position, so each search starts as on a fresh table.
struct Bench {
    Bench(std::size_t hash_mib, std::size_t threads) : table(hash_mib), pool(table, signals) {
        if (pool.resize(threads - 1) != threads - 1) {
            std::fprintf(stderr, "bench: cannot start %zu threads\n", threads);
            std::exit(2);
        }
    }

    std::uint64_t search_position(std::string_view fen) {
        const FenResult parsed = from_fen(fen);
        if (!parsed.board) {
            std::fprintf(stderr, "bench: unreadable position '%.*s': %s\n", static_cast<int>(fen.size()), fen.data(),
                         parsed.error.c_str());
            std::exit(2);
        }
        table.clear();
        DiscardingSink sink;
        const auto searcher = std::make_unique<Searcher>(table, sink, signals);
        Game game;
        game.board = *parsed.board;
        game.position_keys = {repetition_key(game.board)};
        SearchLimits limits;
        limits.max_depth = BENCH_DEPTH;
        pool.start(game, limits);
        const std::uint64_t nodes = run_search(*searcher, game, limits).nodes;
        return nodes + pool.finish();
    }

    TranspositionTable table;
    const SearchSignals signals;
    SearchPool pool;
};

std::uint64_t read_reference(const char* path) {
    std::ifstream in(path);
    std::uint64_t value = 0;
    if (!(in >> value)) {
        std::fprintf(stderr, "bench: cannot read a signature from %s\n", path);
        std::exit(2);
    }
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    const char* expect_path = nullptr;
    std::size_t threads = 1;
    std::size_t hash_mib = TranspositionTable::DEFAULT_MIB;
    const auto number = [&](int& i, std::size_t low, std::size_t high) {
        const auto value = i + 1 < argc ? parse_unsigned<std::size_t>(argv[++i]) : std::nullopt;
        if (!value || *value < low || *value > high) {
            std::fprintf(stderr, "bench: %s takes a number from %zu to %zu\n", argv[i - 1], low, high);
            std::exit(2);
        }
        return *value;
    };
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--expect") == 0 && i + 1 < argc) {
            expect_path = argv[++i];
        } else if (std::strcmp(argv[i], "--threads") == 0) {
            threads = number(i, 1, MAX_THREADS);
        } else if (std::strcmp(argv[i], "--hash") == 0) {
            hash_mib = number(i, 1, TranspositionTable::MAX_MIB);
        } else {
            std::fprintf(stderr, "usage: bench [--threads N] [--hash MIB] [--expect FILE]\n");
            return 2;
        }
    }
    Bench bench(hash_mib, threads);

    std::uint64_t nodes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < POSITIONS.size(); ++i) {
        const std::uint64_t n = bench.search_position(POSITIONS[i]);
        std::printf("position %2zu  nodes %10llu  %.*s\n", i + 1, static_cast<unsigned long long>(n),
                    static_cast<int>(POSITIONS[i].size()), POSITIONS[i].data());
        nodes += n;
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    const auto ms = static_cast<unsigned long long>(elapsed > 0 ? elapsed : 1);

    std::printf("===========================\n");
    std::printf("Depth           : %u\n", unsigned{BENCH_DEPTH});
    std::printf("Threads         : %zu\n", threads);
    std::printf("Hash (MiB)      : %zu\n", hash_mib);
    std::printf("Total time (ms) : %llu\n", static_cast<unsigned long long>(elapsed));
    std::printf("Nodes searched  : %llu\n", static_cast<unsigned long long>(nodes));
    std::printf("Nodes/second    : %llu\n", static_cast<unsigned long long>(nodes) * 1000ULL / ms);

    if (expect_path != nullptr) {
        const std::uint64_t reference = read_reference(expect_path);
        if (reference != nodes) {
            std::printf("Signature %llu differs from the reference %llu in %s\n",
                        static_cast<unsigned long long>(nodes), static_cast<unsigned long long>(reference),
                        expect_path);
            return 1;
        }
        std::printf("Signature matches the reference\n");
    }
    return 0;
}
