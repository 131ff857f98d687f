// Iterative deepening with aspiration windows and multi-PV over a fail-hard
// alpha-beta search with null-move pruning, logarithmic late-move reductions,
// a check extension and a stand-pat quiescence search.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board_state.h"
#include "move.h"
#include "output.h"
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
};

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
};

class Searcher {
public:
    explicit Searcher(std::unique_ptr<OutputSink> output);
    ~Searcher();
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;

    TranspositionTable table;
    std::unique_ptr<OutputSink> output;
    SearchStats stats;
    std::uint64_t start_ms;
    std::vector<Move> game_moves;
    SearchLimits limits;
    std::uint32_t node_tick = 0;
    std::uint8_t seldepth = 0;
    bool stop = false;
    // How often each move code occurs in game_moves, for the repetition test.
    std::vector<std::uint32_t> game_move_counts = std::vector<std::uint32_t>(65536);
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
