#include "search.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "move_generation.h"
#include "ordering.h"

namespace kestrune {
namespace {

// Deeper than any search gets in practice; a bound keeps the recursion's
// stack use and the one-byte seldepth safe on pathological lines.
constexpr int MAX_PLY = 250;
constexpr int CLOCK_CHECK_INTERVAL = 1000;
// Every main-search frame enters the line once, and a null-move child shares
// its parent's ply.
static_assert(2 * MAX_PLY <= RepetitionHistory::LINE_CAPACITY);

struct ReductionTable {
    std::array<std::array<std::uint8_t, 64>, 64> r{};
};

const ReductionTable REDUCTIONS = [] {
    ReductionTable table;
    for (int d = 1; d < 64; ++d) {
        for (int m = 1; m < 64; ++m) {
            const float value = std::log(static_cast<float>(d)) * std::log(static_cast<float>(m)) / 2.25F + 0.75F;
            table.r[static_cast<std::size_t>(d)][static_cast<std::size_t>(m)] = static_cast<std::uint8_t>(
                std::floor(value));
        }
    }
    return table;
}();

std::int16_t to_score(int value) { return static_cast<std::int16_t>(value); }

void check_clock(Searcher& s) {
    if (s.halt != nullptr) {
        s.published_leaves->store(s.reported_leaves + s.stats.leaf_returns + s.stats.stand_pat_cutoffs,
                                  std::memory_order_relaxed);
        if (s.halt->load(std::memory_order_relaxed) || s.signals.raised(Signal::Stop)) {
            s.stop = true;
        }
        return;
    }
    if (s.pondering && s.signals.raised(Signal::PonderHit)) {
        s.pondering = false;
        s.clock_start_ms = now_ms();
    }
    const auto elapsed = static_cast<std::uint32_t>(now_ms() - s.clock_start_ms);
    if ((!s.pondering && elapsed >= s.limits.time_limit_ms) || s.signals.raised(Signal::Stop)) {
        s.stop = true;
    }
}

// Runs at the entry of every main-search node.
void check_limits(Searcher& s) {
    if (s.stats.nodes >= s.limits.max_nodes) {
        s.stop = true;
    }
    if (++s.node_tick >= CLOCK_CHECK_INTERVAL) {
        s.node_tick = 0;
        check_clock(s);
    }
}

bool has_pieces(const BoardState& pos) {
    const Color c = pos.side;
    return (pos.pieces(c, Knight) | pos.pieces(c, Bishop) | pos.pieces(c, Rook) | pos.pieces(c, Queen)) != 0;
}

bool is_under_promotion(Move m) {
    switch (m.kind()) {
        case PromoteKnight:
        case PromoteBishop:
        case PromoteRook:
        case CapturePromoteKnight:
        case CapturePromoteBishop:
        case CapturePromoteRook:
            return true;
        default:
            return false;
    }
}

std::optional<Move> table_move(const Searcher& s, const BoardState& pos) {
    const TtData entry = s.table.probe(pos.hash);
    return entry.empty() ? std::nullopt : std::optional<Move>(entry.move());
}

// The table's move first. The probe is nearly always a cache miss, so it
// comes after the generation and scoring work, and a single move needs no
// order at all.
void order_moves(const Searcher& s, const BoardState& pos, ScoredMoveList& scored) {
    if (scored.size() < 2) {
        return;
    }
    if (const auto preferred = table_move(s, pos)) {
        prefer_move(scored, *preferred);
    }
}

bool contains(const MoveList& moves, Move m) { return std::find(moves.begin(), moves.end(), m) != moves.end(); }

}  // namespace

Searcher::Searcher(TranspositionTable& lent_table, OutputSink& lent_output, const SearchSignals& lent_signals)
    : table(lent_table), output(lent_output), signals(lent_signals), start_ms(now_ms()) {}

std::uint8_t reduction(int depth, int move_index) {
    if (depth <= 0 || move_index <= 0 || depth > 63 || move_index > 63) {
        return 0;
    }
    return REDUCTIONS.r[static_cast<std::size_t>(depth)][static_cast<std::size_t>(move_index)];
}

namespace {

// The counts of a quiescence node: made by quiescence itself, or for a child
// that stands pat and is settled without making its move.
KESTRUNE_FORCE_INLINE void count_quiescence_node(Searcher& s, int ply, bool stands_pat) {
    s.seldepth = static_cast<std::uint8_t>(std::max<int>(s.seldepth, ply));
    ++s.stats.nodes;
    if (stands_pat) {
        ++s.stats.stand_pat_cutoffs;
    }
}

// A quiescence child whose stand-pat score already reaches its beta returns
// at once. Its evaluation is known from the move alone, so such a child is
// settled here, with the same bookkeeping, without making the move.
KESTRUNE_FORCE_INLINE bool child_stands_pat(Searcher& s, const BoardState& position, Move m, int child_ply,
                                            std::int16_t child_beta) {
    if (evaluate_parts(score_parts_after(position, m), opposite(position.side)) < child_beta) {
        return false;
    }
    count_quiescence_node(s, child_ply, true);
    return true;
}

// A child at depth 0 that is not in check goes straight to quiescence, and
// most of them stand pat there. When the move alone shows that it will, the
// child is settled here with the bookkeeping it would do (the limit check of
// alpha_beta, then the stand-pat count of quiescence), without making the
// move. False when the child must be searched.
KESTRUNE_FORCE_INLINE bool frontier_child_stands_pat(Searcher& s, const BoardState& position, Move m, int child_ply,
                                                     std::int16_t child_alpha, std::int16_t child_beta) {
    if (child_alpha >= child_beta ||
        evaluate_parts(score_parts_after(position, m), opposite(position.side)) < child_beta ||
        leaves_opponent_in_check(position, m)) {
        return false;
    }
    check_limits(s);
    if (s.stop) {
        return true;
    }
    count_quiescence_node(s, child_ply, true);
    return true;
}

}  // namespace

std::int16_t quiescence(Searcher& s, const BoardState& position, int ply, std::int16_t alpha_in, std::int16_t beta_in) {
    // Captures can abound (a board full of queens): a quiescence search must
    // hear the clock and the stop signal too.
    if (++s.quiescence_tick >= CLOCK_CHECK_INTERVAL) {
        s.quiescence_tick = 0;
        check_clock(s);
    }
    if (s.stop) {
        return 0;
    }
    const int beta = beta_in;
    const int stand = evaluate(position);
    count_quiescence_node(s, ply, stand >= beta);
    if (stand >= beta) {
        return beta_in;
    }
    int alpha = std::max<int>(alpha_in, stand);
    if (ply >= MAX_PLY) {
        return to_score(alpha);
    }
    ScoredMoveList scored;
    generate_scored_moves(position, true, scored);
    order_moves(s, position, scored);
    for (std::size_t i = 0; i < scored.size(); ++i) {
        const Move m = select_move(scored, i);
        if (is_under_promotion(m)) {
            continue;
        }
        const std::int16_t child_beta = to_score(-alpha);
        int score = -child_beta;
        if (!child_stands_pat(s, position, m, ply + 1, child_beta)) {
            const BoardState child = make_move_unrecorded(position, m);
            s.table.prefetch(child.hash);
            score = -quiescence(s, child, ply + 1, to_score(-beta), child_beta);
            if (s.stop) {
                return 0;
            }
        }
        if (score > alpha) {
            alpha = score;
            if (score >= beta) {
                ++s.stats.q_beta_cutoffs;
                return beta_in;
            }
        }
    }
    return to_score(alpha);
}

namespace {

// A table entry at least as deep as the node answers it outright, or narrows
// its window (alpha and beta are changed in place).
std::optional<std::int16_t> table_cutoff(Searcher& s, const BoardState& position, std::uint8_t depth, int& alpha,
                                         int& beta) {
    const TtData entry = s.table.probe(position.hash);
    if (entry.empty() || entry.depth() < depth) {
        return std::nullopt;
    }
    ++s.stats.tt_hits;
    switch (entry.kind()) {
        case Bound::Exact:
            ++s.stats.leaf_returns;
            return entry.score();
        case Bound::Lower:
            alpha = std::max<int>(alpha, entry.score());
            break;
        case Bound::Upper:
            beta = std::min<int>(beta, entry.score());
            break;
        case Bound::Empty:
            break;
    }
    if (alpha >= beta) {
        ++s.stats.leaf_returns;
        return entry.score();
    }
    return std::nullopt;
}

// Null-move pruning: when passing still holds beta, with a side that has more
// than king and pawns, the node fails high.
bool null_move_cuts(Searcher& s, const BoardState& position, std::uint8_t depth, int ply, int beta) {
    if (!has_pieces(position) || evaluate(position) < beta) {
        return false;
    }
    const BoardState child = make_null_move(position);
    s.table.prefetch(child.hash);
    const int child_depth = depth < 7 ? std::max(depth - 3, 0) : depth - 4;
    const int score = -alpha_beta(s, child, static_cast<std::uint8_t>(child_depth), ply, to_score(-beta),
                                  to_score(-beta + 1), false);
    if (score < beta) {
        return false;
    }
    ++s.stats.beta_cutoffs;
    return true;
}

}  // namespace

std::int16_t alpha_beta(Searcher& s, const BoardState& position, std::uint8_t depth, int ply, std::int16_t alpha_in,
                        std::int16_t beta_in, bool null_allowed) {
    check_limits(s);
    if (s.stop) {
        return 0;
    }
    int alpha = alpha_in;
    int beta = beta_in;
    if (alpha >= beta) {
        ++s.stats.leaf_returns;
        return alpha_in;
    }
    const bool checked = in_check(position);
    if (depth == 0 && !checked) {
        return quiescence(s, position, ply, alpha_in, beta_in);
    }
    if (ply >= MAX_PLY) {
        return evaluate(position);
    }
    ++s.stats.nodes;

    // Only the null-move search passes null_allowed false.
    const bool reached_by_null = !null_allowed;
    const std::uint64_t key = repetition_key(position);
    if (s.repetitions.is_third_occurrence(key, position.halfmove_clock, reached_by_null)) {
        ++s.stats.leaf_returns;
        return 0;
    }
    if (position.halfmove_clock >= 100) {
        ++s.stats.leaf_returns;
        // A mate given by the move that completes the fifty moves still wins.
        return checked && count_moves(position) == 0 ? to_score(ply - MATE_SCORE) : 0;
    }

    if (const auto answer = table_cutoff(s, position, depth, alpha, beta)) {
        return *answer;
    }
    const LineEntry on_line(s.repetitions, key, reached_by_null);
    if (depth >= 2 && null_allowed && !checked && null_move_cuts(s, position, depth, ply, beta)) {
        return to_score(beta);
    }

    ScoredMoveList scored;
    generate_scored_moves(position, false, scored);
    // Probed again: the null-move search may have replaced the slot.
    order_moves(s, position, scored);
    Move best = NO_MOVE;
    for (std::size_t i = 0; i < scored.size(); ++i) {
        const Move m = select_move(scored, i);
        int d = depth;
        if (depth >= 3 && i >= 2 && m.kind() == Quiet) {
            d = depth - reduction(std::min<int>(depth, 63), std::min<int>(static_cast<int>(i), 63));
        }
        const int child_depth = checked ? d : d - 1;
        const std::int16_t child_alpha = to_score(-beta);
        const std::int16_t child_beta = to_score(-alpha);
        int score = -child_beta;
        if (child_depth != 0 || !frontier_child_stands_pat(s, position, m, ply + 1, child_alpha, child_beta)) {
            const BoardState child = make_move_unrecorded(position, m);
            s.table.prefetch(child.hash);
            score = -alpha_beta(s, child, static_cast<std::uint8_t>(child_depth), ply + 1, child_alpha, child_beta,
                                true);
        }
        if (s.stop) {
            return 0;
        }
        if (score > alpha) {
            if (score >= beta) {
                ++s.stats.beta_cutoffs;
                s.table.store(position.hash, Bound::Lower, depth, m, to_score(beta));
                return to_score(beta);
            }
            alpha = score;
            best = m;
        }
    }
    const int result = scored.empty() ? (checked ? ply - MATE_SCORE : 0) : alpha;
    if (best != NO_MOVE) {
        s.table.store(position.hash, Bound::Exact, depth, best, to_score(result));
    }
    return to_score(result);
}

SearchResult search_root(Searcher& s, const BoardState& position, std::uint8_t depth, std::int16_t alpha_in,
                         std::int16_t beta_in, const ExcludedMoves& excluded) {
    int alpha = alpha_in;
    const int beta = beta_in;
    ScoredMoveList scored;
    generate_scored_moves(position, false, scored);
    if (scored.empty()) {
        return {false, Move{}, alpha_in, true};
    }
    order_moves(s, position, scored);
    SearchResult result;
    for (std::size_t i = 0; i < scored.size(); ++i) {
        const Move m = select_move(scored, i);
        const UciText text = uci_text(m);
        if (std::find(excluded.begin(), excluded.end(), text) != excluded.end()) {
            continue;
        }
        const BoardState child = make_move_unrecorded(position, m);
        const int score = -alpha_beta(s, child, static_cast<std::uint8_t>(depth - 1), 1, to_score(-beta),
                                      to_score(-alpha), true);
        if (s.stop) {
            break;
        }
        if (score > alpha) {
            if (score >= beta) {
                s.table.store(position.hash, Bound::Lower, depth, m, to_score(beta));
                return {true, m, to_score(beta), false};
            }
            s.table.store(position.hash, Bound::Upper, depth, m, to_score(score));
            alpha = score;
            result.best_move = m;
            result.found = true;
        }
    }
    result.score = to_score(alpha);
    result.single_reply = scored.size() < 2;
    return result;
}

namespace {

// Fresh per-search state: the limits, the game's positions for the
// repetition test, the clock and the counters.
void begin_search(Searcher& s, const Game& game, const SearchLimits& limits) {
    s.limits = limits;
    s.repetitions.start(game.position_keys);
    s.start_ms = now_ms();
    s.clock_start_ms = s.start_ms;
    s.pondering = limits.ponder;
    s.seldepth = 0;
    s.stop = false;
    s.stats = SearchStats{};
    s.reported_nodes = 0;
    s.reported_leaves = 0;
    s.completed_lines = RootLines{};
}

// Where iterative deepening stands: the depth, which of its lines is next
// (multi-PV), the root moves earlier lines of this depth took, and the
// aspiration window.
struct Deepening {
    int depth = 1;
    std::size_t line = 1;
    ExcludedMoves excluded;
    int alpha = -MATE_SCORE;
    int beta = MATE_SCORE;

    // A score on or outside the window opens that side fully; the same line
    // is then searched again.
    bool widened_after(const SearchResult& r) {
        if (r.score <= alpha) {
            alpha = -MATE_SCORE;
            return true;
        }
        if (r.score >= beta) {
            beta = MATE_SCORE;
            return true;
        }
        return false;
    }

    // After a completed line: the next line of this depth, or the first line
    // of the next depth, in a window around the score just found.
    void advance_after(const SearchResult& r, std::size_t lines_per_depth) {
        excluded.push(uci_text(r.best_move));
        if (line < lines_per_depth) {
            ++line;
        } else {
            excluded = ExcludedMoves{};
            ++depth;
            line = 1;
        }
        alpha = r.score - ASPIRATION_MARGIN;
        beta = r.score + ASPIRATION_MARGIN;
    }
};

}  // namespace

SearchResult run_search(Searcher& s, const Game& game, const SearchLimits& limits) {
    begin_search(s, game, limits);
    const BoardState& root = game.board;
    SearchResult result;
    const std::size_t legal_moves = generate_moves(root, false).size();
    if (legal_moves == 0) {
        return result;
    }
    // A depth cannot report more lines than there are root moves: once every
    // move is excluded no line could complete.
    const std::size_t lines_per_depth = std::min<std::size_t>(std::max<std::uint8_t>(limits.multipv, 1), legal_moves);

    Deepening d;
    RootLines depth_lines;
    while (d.depth <= limits.max_depth && !s.stop) {
        if (limits.node_budget != NO_NODE_BUDGET && d.depth > 1) {
            // Each line's own counter starts at zero: it gets what is left.
            if (s.reported_nodes + s.stats.nodes >= limits.node_budget) {
                break;
            }
            s.limits.max_nodes = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(limits.max_nodes, limits.node_budget - s.reported_nodes));
        }
        const auto depth = static_cast<std::uint8_t>(d.depth);
        const SearchResult r = search_root(s, root, depth, to_score(d.alpha), to_score(d.beta), d.excluded);
        if (s.stop) {
            break;
        }
        if (d.widened_after(r)) {
            continue;
        }
        report_line(s, root, r, depth, static_cast<std::uint8_t>(d.line));
        if (d.line == 1) {
            result = r;
            depth_lines = RootLines{};
        }
        depth_lines.push({r.best_move, r.score});
        if (d.line == lines_per_depth) {
            s.completed_lines = depth_lines;
        }
        d.advance_after(r, lines_per_depth);
        s.reported_nodes += s.stats.nodes;
        s.stats = SearchStats{};
        if (r.single_reply) {
            break;
        }
    }
    if (!result.found) {
        // No line completed (a limit met inside depth 1, or depth 0): a legal
        // move still beats "(none)", which an interface takes as a forfeit.
        result.best_move = *first_root_move(s, root);
        result.found = true;
    }
    result.nodes = s.reported_nodes + s.stats.nodes;
    return result;
}

std::uint64_t run_helper_search(Searcher& s, const Game& game, const SearchLimits& limits, int first_depth) {
    begin_search(s, game, limits);
    const BoardState& root = game.board;
    if (generate_moves(root, false).empty()) {
        return 0;
    }
    Deepening d;
    d.depth = first_depth;
    while (d.depth <= limits.max_depth && !s.stop) {
        const SearchResult r = search_root(s, root, static_cast<std::uint8_t>(d.depth), to_score(d.alpha),
                                           to_score(d.beta), d.excluded);
        if (s.stop) {
            break;
        }
        if (d.widened_after(r)) {
            continue;
        }
        d.advance_after(r, 1);
        s.reported_nodes += s.stats.nodes;
        s.reported_leaves += s.stats.leaf_returns + s.stats.stand_pat_cutoffs;
        s.stats = SearchStats{};
        if (r.single_reply) {
            break;
        }
    }
    s.published_leaves->store(s.reported_leaves + s.stats.leaf_returns + s.stats.stand_pat_cutoffs,
                              std::memory_order_relaxed);
    return s.reported_nodes + s.stats.nodes;
}

std::optional<Move> expected_reply(const Searcher& s, const BoardState& position, Move move) {
    const BoardState after = make_move_unrecorded(position, move);
    const auto reply = table_move(s, after);
    if (reply && contains(generate_moves(after, false), *reply)) {
        return reply;
    }
    return std::nullopt;
}

std::string score_text(std::int16_t score) {
    if (score < -MATE_THRESHOLD) {
        return "mate " + std::to_string((-30000 - score) / 2);
    }
    if (score > MATE_THRESHOLD) {
        return "mate " + std::to_string((30000 - score) / 2);
    }
    return "cp " + std::to_string(score);
}

std::uint32_t nodes_per_second(std::uint32_t nodes, std::uint32_t elapsed_ms) {
    const float rate = static_cast<float>(nodes) / static_cast<float>(elapsed_ms) * 1000.0F;
    if (std::isnan(rate) || rate < 0.0F) {
        return 0;
    }
    if (rate > 4294967040.0F) {
        return 0xFFFFFFFF;
    }
    return static_cast<std::uint32_t>(rate);
}

void report_line(Searcher& s, const BoardState& position, const SearchResult& result, std::uint8_t depth,
                 std::uint8_t line) {
    // Wraps like the counters it adds up.
    const auto helpers = static_cast<std::uint32_t>(s.helper_work ? s.helper_work() : 0);
    const std::uint32_t nodes = s.stats.leaf_returns + s.stats.stand_pat_cutoffs + helpers;
    const auto elapsed = static_cast<std::uint32_t>(now_ms() - s.start_ms);
    std::string text = "info depth " + std::to_string(depth);
    text += " seldepth " + std::to_string(s.seldepth);
    text += " multipv " + std::to_string(line);
    text += " score " + score_text(result.score);
    text += " nodes " + std::to_string(nodes);
    text += " nps " + std::to_string(nodes_per_second(nodes, elapsed));
    text += " time " + std::to_string(elapsed);
    text += " pv " + principal_variation(s, position, depth);
    s.output.write_line(text);
}

std::string principal_variation(Searcher& s, const BoardState& position, std::uint8_t remaining) {
    std::string pv;
    BoardState board = position;
    for (int left = remaining; left > 0; --left) {
        const auto m = table_move(s, board);
        if (!m || !contains(generate_moves(board, false), *m)) {
            break;
        }
        pv += move_text(board, *m).view();
        pv += ' ';
        board = make_move_unrecorded(board, *m);
    }
    return pv;
}

std::optional<Move> first_root_move(const Searcher& s, const BoardState& position) {
    const MoveList moves = generate_moves(position, false);
    if (moves.empty()) {
        return std::nullopt;
    }
    const auto preferred = table_move(s, position);
    if (preferred && contains(moves, *preferred)) {
        return preferred;
    }
    ScoredMoveList scored;
    score_moves(moves, position, scored);
    return select_move(scored, 0);
}

}  // namespace kestrune
