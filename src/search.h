// Iterative deepening with aspiration windows and multi-PV over a fail-hard
// alpha-beta search with null-move pruning, logarithmic late-move reductions,
// a check extension and a stand-pat quiescence search.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board_state.h"
#include "move.h"
#include "output.h"
#include "repetition.h"
#include "signals.h"
#include "time.h"
#include "transposition.h"

namespace kestrune {

inline constexpr std::int16_t MATE_SCORE = 29999;
inline constexpr std::int16_t ASPIRATION_MARGIN = 25;
// Scores beyond this many centipawns are mates and print as "mate n".
inline constexpr std::int16_t MATE_THRESHOLD = 29898;

// The current position and the moves the "position" command played into it.
struct Game {
    std::vector<Move> moves;
    BoardState board;
    // The hash key of the position set up, then of the position after each
    // move: the board's own key is the last.
    std::vector<std::uint64_t> position_keys;
};

// Counted per reported line: zeroed after every progress line, so the info
// line's nodes are the line's own and "go nodes N" limits each line.
struct SearchStats {
    std::uint32_t leaf_returns = 0;
    std::uint32_t stand_pat_cutoffs = 0;
    std::uint32_t beta_cutoffs = 0;
    std::uint32_t q_beta_cutoffs = 0;
    std::uint32_t tt_hits = 0;
    std::uint32_t nodes = 0;
};

struct SearchResult {
    bool found = false;
    Move best_move{};
    std::int16_t score = 0;
    bool single_reply = false;
    // Every node of the search (all its lines); set by run_search.
    std::uint64_t nodes = 0;
};

// A completed root line: its first move and score.
struct RootLine {
    Move move{};
    std::int16_t score = 0;
};
using RootLines = FixedList<RootLine, 256>;

// One search's state. The table, the writer and the signals are lent by the
// engine, which may lend the same table to several searchers.
class Searcher {
public:
    Searcher(TranspositionTable& table, OutputSink& output, const SearchSignals& signals);
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;

    TranspositionTable& table;
    OutputSink& output;
    const SearchSignals& signals;
    SearchStats stats;
    // The nodes of the lines reported so far in this search.
    std::uint64_t reported_nodes = 0;
    std::uint64_t start_ms;
    // Where the time limit counts from: the start, or a ponder search's "ponderhit".
    std::uint64_t clock_start_ms = 0;
    bool pondering = false;
    // With helper threads, the main searcher adds their work to its progress
    // lines: the leaves they counted since the last call.
    std::function<std::uint64_t()> helper_work;
    // A helper thread's searcher stops when `halt` is raised, never reads the
    // clock, and publishes its leaves so far in `published_leaves`.
    const std::atomic<bool>* halt = nullptr;
    std::atomic<std::uint64_t>* published_leaves = nullptr;
    std::uint64_t reported_leaves = 0;
    // Every line of the deepest depth whose lines all completed, best first.
    RootLines completed_lines;
    RepetitionHistory repetitions;
    SearchLimits limits;
    // Count main-search and quiescence nodes towards the next look at the
    // clock and the stop signal; both carry over from one search to the next.
    std::uint32_t node_tick = 0;
    std::uint32_t quiescence_tick = 0;
    std::uint8_t seldepth = 0;
    bool stop = false;
};

using ExcludedMoves = FixedList<UciText, 256>;

// The last completed first line; when none completed, the move the root
// would search first. Holds no move only when the root has no legal move.
SearchResult run_search(Searcher& searcher, const Game& game, const SearchLimits& limits);
SearchResult search_root(Searcher& searcher, const BoardState& position, std::uint8_t depth, std::int16_t alpha,
                         std::int16_t beta, const ExcludedMoves& excluded);
std::int16_t alpha_beta(Searcher& searcher, const BoardState& position, std::uint8_t depth, int ply, std::int16_t alpha,
                        std::int16_t beta, bool null_allowed);
std::int16_t quiescence(Searcher& searcher, const BoardState& position, int ply, std::int16_t alpha, std::int16_t beta);
void report_line(Searcher& searcher, const BoardState& position, const SearchResult& result, std::uint8_t depth,
                 std::uint8_t line);
// Table moves from the position on, each followed by a space; a stored move
// that is not legal where it is found ends the walk.
std::string principal_variation(Searcher& searcher, const BoardState& position, std::uint8_t remaining);

// A helper thread's search of the root: iterative deepening from
// `first_depth` without progress lines, until the limits or `halt`. Returns
// its node count.
std::uint64_t run_helper_search(Searcher& searcher, const Game& game, const SearchLimits& limits, int first_depth);

// The table's move in reply to `move`, when it is legal there: the move to ponder on.
std::optional<Move> expected_reply(const Searcher& searcher, const BoardState& position, Move move);

// The move the root would search first: the table's move when it is legal,
// else the best ordering score. Empty when there is no legal move.
std::optional<Move> first_root_move(const Searcher& searcher, const BoardState& position);

// R[d][m] = floor(ln d * ln m / 2.25 + 0.75) in single precision; 0 when d or m is 0.
std::uint8_t reduction(int depth, int move_index);

// "cp n" or "mate n".
std::string score_text(std::int16_t score);
// Nodes per second in single precision, saturated into 32 bits.
std::uint32_t nodes_per_second(std::uint32_t nodes, std::uint32_t elapsed_ms);

}  // namespace kestrune
