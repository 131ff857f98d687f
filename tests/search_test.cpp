// The search in-process: go limits, ordering scores, evaluation, the
// reduction table, the rules of alpha-beta and quiescence shown on small
// positions, the principal-variation walk and the best-move answers.
#include "search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine.h"
#include "fen.h"
#include "test_support.h"
#include "ordering.h"
#include "move_generation.h"
#include "text.h"

namespace kestrune {
namespace {

using testing::board_of;
using testing::case_name;
using testing::move_of;
using testing::printed_name;
using testing::PrintTo;
using testing::score_of;

constexpr std::int16_t FULL = MATE_SCORE;

// Records every line, and the searcher's node counter as each line is written
// (the counters are zeroed after every completed line).
class CaptureSink final : public testing::RecordingSink {
public:
    void write_line(std::string_view text) override {
        RecordingSink::write_line(text);
        line_nodes.push_back(searcher->stats.nodes);
    }

    const Searcher* searcher = nullptr;
    std::vector<std::uint32_t> line_nodes;
};

// An engine with a capturing output; the searcher is reachable for direct calls.
struct TestEngine {
    TestEngine() {
        auto owned = std::make_unique<CaptureSink>();
        sink = owned.get();
        // The same searches in either profile: run with the extended one as well
        // (KESTRUNE_TEST_ENGINE_ARGS=--extended), they must answer alike.
        EngineOptions options;
        options.extended = testing::extended_profile();
        engine = std::make_unique<Engine>(options, std::move(owned), &signals);
        sink->searcher = &engine->searcher();
    }
    Searcher& searcher() { return engine->searcher(); }
    // Runs the commands and returns what they wrote.
    std::vector<std::string> run(const std::vector<std::string>& commands) {
        sink->lines.clear();
        sink->line_nodes.clear();
        for (const std::string& c : commands) {
            engine->dispatch(c + "\n");
        }
        return sink->lines;
    }
    std::optional<Move> table_move(const BoardState& board) {
        const TtData entry = searcher().table.probe(board.hash);
        return entry.empty() ? std::nullopt : std::optional<Move>(entry.move());
    }

    SearchSignals signals;
    CaptureSink* sink = nullptr;
    std::unique_ptr<Engine> engine;
};

// ---------------------------------------------------------------- go limits

struct LimitCase {
    const char* go;
    Color side;
    std::uint32_t nodes;
    std::uint32_t time_ms;
    std::uint8_t depth;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.go << (c.side == White ? ", white" : ", black"); }

class GoLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(GoLimits, FollowTheRules) {
    const LimitCase c = GetParam();
    const std::vector<std::string_view> tokens = split_tokens(c.go);
    const SearchLimits limits = limits_from_go(tokens, c.side, 3);
    EXPECT_EQ(limits.max_nodes, c.nodes);
    EXPECT_EQ(limits.time_limit_ms, c.time_ms);
    EXPECT_EQ(limits.max_depth, c.depth);
    EXPECT_EQ(limits.multipv, 3);
}

constexpr std::uint32_t NO_LIMIT = 0xFFFFFFFE;

INSTANTIATE_TEST_SUITE_P(
    Table, GoLimits,
    ::testing::Values(LimitCase{"go", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go wtime 60000 btime 30000", Black, NO_LIMIT, 1500, 254},
                      LimitCase{"go wtime 60000 btime 30000", White, NO_LIMIT, 3000, 254},
                      LimitCase{"go wtime 60000 btime 60000 movestogo 10", White, NO_LIMIT, 6000, 254},
                      LimitCase{"go movetime 500 wtime 60000 btime 60000", White, NO_LIMIT, 3000, 254},
                      LimitCase{"go wtime 60000", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go wtime 60000 movetime 700", White, NO_LIMIT, 700, 254},
                      LimitCase{"go movetime 500", Black, NO_LIMIT, 500, 254},
                      LimitCase{"go wtime 60000 btime 60000 movestogo 0", White, NO_LIMIT, 3000, 254},
                      LimitCase{"go wtime 0 btime 0", White, NO_LIMIT, 0, 254},
                      // One move to go keeps a quarter of the clock back.
                      LimitCase{"go wtime 1000 btime 1000 movestogo 1", White, NO_LIMIT, 750, 254},
                      LimitCase{"go wtime 60000 btime 1001 movestogo 1", Black, NO_LIMIT, 751, 254},
                      LimitCase{"go wtime 1000 btime 1000 movestogo 2", White, NO_LIMIT, 500, 254},
                      LimitCase{"go wtime 3 btime 3 movestogo 1", White, NO_LIMIT, 3, 254},
                      // A negative clock or move time counts as 0, an oversized one as the largest.
                      LimitCase{"go wtime -10 btime 1000", White, NO_LIMIT, 0, 254},
                      LimitCase{"go wtime -10 btime 1000", Black, NO_LIMIT, 50, 254},
                      LimitCase{"go wtime -1 btime -1 movestogo 5", Black, NO_LIMIT, 0, 254},
                      LimitCase{"go movetime -5", White, NO_LIMIT, 0, 254},
                      LimitCase{"go movetime -99999999999", White, NO_LIMIT, 0, 254},
                      LimitCase{"go movetime 4294967296", White, NO_LIMIT, 0xFFFFFFFF, 254},
                      LimitCase{"go movetime +4294967296", White, NO_LIMIT, 0xFFFFFFFF, 254},
                      LimitCase{"go wtime 4294967296 btime 99999999999", Black, NO_LIMIT, 214748364, 254},
                      // Everything else unreadable still counts as absent.
                      LimitCase{"go movetime -", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go movetime --5", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go movetime -+5", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go movetime -5ms", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go wtime -1.5 btime 1000", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go nodes -1 depth -1", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go wtime 1000 btime 1000 movestogo -1", White, NO_LIMIT, 50, 254},
                      LimitCase{"go depth x", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go depth 256", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go depth", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go depth 7 depth 3", White, NO_LIMIT, NO_LIMIT, 7},
                      LimitCase{"go depth +5 nodes 1", White, 1, NO_LIMIT, 5},
                      LimitCase{"go nodes 4294967296", White, NO_LIMIT, NO_LIMIT, 254},
                      LimitCase{"go infinite searchmoves e2e4 winc 100 binc 100", White, NO_LIMIT, NO_LIMIT, 254}),
    testing::printed_name);

// The extended profile's clock rule: a share of the clock after the move
// overhead plus three quarters of the increment, never more than three
// quarters of the clock left after the overhead.
struct ExtendedLimitCase {
    const char* go;
    Color side;
    std::uint32_t overhead;
    std::uint32_t time_ms;
    bool ponder;
};

void PrintTo(const ExtendedLimitCase& c, std::ostream* os) {
    *os << c.go << (c.side == White ? ", white" : ", black") << ", overhead " << c.overhead;
}

class ExtendedGoLimits : public ::testing::TestWithParam<ExtendedLimitCase> {};

TEST_P(ExtendedGoLimits, FollowTheRule) {
    const ExtendedLimitCase c = GetParam();
    const SearchLimits limits = limits_from_go_extended(split_tokens(c.go), c.side, 2, c.overhead);
    EXPECT_EQ(limits.time_limit_ms, c.time_ms);
    EXPECT_EQ(limits.ponder, c.ponder);
    EXPECT_EQ(limits.multipv, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExtendedGoLimits,
    ::testing::Values(ExtendedLimitCase{"go wtime 60000 btime 60000", White, 0, 3000, false},
                      ExtendedLimitCase{"go wtime 60000 btime 60000 winc 1000 binc 2000", White, 0, 3750, false},
                      ExtendedLimitCase{"go wtime 60000 btime 60000 winc 1000 binc 2000", Black, 0, 4500, false},
                      // Little time and a large increment: the increment is spent, a quarter of the clock kept.
                      ExtendedLimitCase{"go wtime 300 btime 300 winc 2000 binc 2000", White, 0, 225, false},
                      ExtendedLimitCase{"go wtime 60000 btime 60000", White, 50, 2997, false},
                      ExtendedLimitCase{"go wtime 330 btime 330 winc 2000 binc 2000", White, 30, 225, false},
                      ExtendedLimitCase{"go wtime 30 btime 30 winc 100 binc 100", White, 50, 0, false},
                      ExtendedLimitCase{"go wtime 1000 btime 1000 movestogo 1", White, 0, 750, false},
                      ExtendedLimitCase{"go wtime 10000 btime 10000 movestogo 5 winc 400", White, 0, 2300, false},
                      // Its own clock is enough; a negative increment counts as none.
                      ExtendedLimitCase{"go btime 1000", Black, 0, 50, false},
                      ExtendedLimitCase{"go wtime 1000 btime 1000 binc -20", Black, 0, 50, false},
                      ExtendedLimitCase{"go movetime 500", White, 50, 450, false},
                      ExtendedLimitCase{"go movetime 500", White, 600, 0, false},
                      ExtendedLimitCase{"go depth 5", White, 50, NO_LIMIT, false},
                      ExtendedLimitCase{"go ponder wtime 60000 btime 60000", White, 0, 3000, true},
                      ExtendedLimitCase{"go ponder", White, 0, NO_LIMIT, true}),
    testing::printed_name);

// Whatever the clock, increment, overhead and moves to go, the plan stays
// within the clock left after the overhead (and so within the clock).
TEST(ExtendedGoLimits, NeverPlanBeyondTheClockLeft) {
    for (const std::uint32_t clock : {0U, 1U, 40U, 999U, 60000U, 4294967295U}) {
        for (const std::uint32_t increment : {0U, 10U, 5000U, 4294967295U}) {
            for (const std::uint32_t overhead : {0U, 50U, 5000U}) {
                for (const std::uint32_t moves_to_go : {0U, 1U, 2U, 40U}) {
                    const std::string go = "go wtime " + std::to_string(clock) + " btime 1 winc " +
                                           std::to_string(increment) + " movestogo " + std::to_string(moves_to_go);
                    const std::uint32_t limit =
                        limits_from_go_extended(split_tokens(go), White, 1, overhead).time_limit_ms;
                    EXPECT_LE(limit, clock > overhead ? clock - overhead : 0U) << go << ", overhead " << overhead;
                }
            }
        }
    }
}

// ---------------------------------------------------------------- ordering scores

struct OrderingCase {
    const char* fen;
    const char* move;
    std::int16_t score;
};

void PrintTo(const OrderingCase& c, std::ostream* os) { *os << c.move; }

class OrderingScores : public ::testing::TestWithParam<OrderingCase> {};

// Expected values read off the middle-game grids by hand.
TEST_P(OrderingScores, MatchTheTableDelta) {
    const OrderingCase c = GetParam();
    const BoardState board = board_of(c.fen);
    const Move wanted = move_of(board, c.move);
    const MoveList moves = generate_moves(board, false);
    ScoredMoveList scored;
    score_moves(moves, board, scored);
    ASSERT_EQ(scored.size(), moves.size());
    for (std::size_t i = 0; i < moves.size(); ++i) {
        EXPECT_EQ(scored[i].move, moves[i]) << "scores keep the input order";
        if (moves[i] == wanted) {
            EXPECT_EQ(scored[i].score, c.score) << c.move;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Moves, OrderingScores,
    ::testing::Values(OrderingCase{START_FEN.data(), "g1f3", 42}, OrderingCase{START_FEN.data(), "d2d4", 57},
                      OrderingCase{"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1", "g8f6", 42},
                      OrderingCase{"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1g1", 11},
                      OrderingCase{"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6", 4},
                      OrderingCase{"4k3/8/5n2/8/4Q3/8/8/4K3 b - - 0 1", "f6e4", 1053},
                      OrderingCase{"r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7a8n", 609},
                      OrderingCase{"4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8q", 857},
                      OrderingCase{"4k3/8/8/8/8/8/1p6/4K3 b - - 0 1", "b2b1q", 857}),
    testing::printed_name);

TEST(OrderingScoresBonus, PreferredMoveGetsExactlyTenThousandMore) {
    const BoardState board = board_of("r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1");
    const MoveList moves = generate_moves(board, false);
    ScoredMoveList plain;
    score_moves(moves, board, plain);
    for (const Move preferred : moves) {
        ScoredMoveList with_bonus = plain;
        prefer_move(with_bonus, preferred);
        for (std::size_t i = 0; i < moves.size(); ++i) {
            const int bonus = moves[i] == preferred ? 10000 : 0;
            EXPECT_EQ(with_bonus[i].move, plain[i].move);
            EXPECT_EQ(with_bonus[i].score, static_cast<std::int16_t>(plain[i].score + bonus)) << to_uci(moves[i]);
        }
    }
    // A table move from another position (a hash collision) changes nothing.
    ScoredMoveList untouched = plain;
    prefer_move(untouched, move_of(board_of(START_FEN), "e2e4"));
    for (std::size_t i = 0; i < moves.size(); ++i) {
        EXPECT_EQ(untouched[i].score, plain[i].score) << to_uci(moves[i]);
    }
}

// ---------------------------------------------------------------- evaluation

struct EvalCase {
    std::int32_t phase;
    std::int16_t mg;
    std::int16_t eg;
    Color side;
    std::int16_t expected;
};

void PrintTo(const EvalCase& c, std::ostream* os) {
    *os << "phase " << c.phase << " mg " << c.mg << " eg " << c.eg << (c.side == White ? " white" : " black");
}

class Evaluate : public ::testing::TestWithParam<EvalCase> {};

TEST_P(Evaluate, BlendsBothSumsByPhase) {
    const EvalCase c = GetParam();
    BoardState board = board_of(START_FEN);
    board.phase = c.phase;
    board.mg_score = c.mg;
    board.eg_score = c.eg;
    board.side = c.side;
    EXPECT_EQ(evaluate(board), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Phases, Evaluate,
                         ::testing::Values(EvalCase{0, 100, -50, White, 100}, EvalCase{0, 100, -50, Black, -100},
                                           EvalCase{24, 100, -50, White, -50}, EvalCase{24, 100, -50, Black, 50},
                                           // 128 * -3 / 256 = -1.5: truncated toward zero, not floored
                                           EvalCase{12, -3, 0, White, -1}, EvalCase{12, -3, 0, Black, 1},
                                           // phase -4 gives w = -1012 / 24 = -42 (floor would be -43)
                                           EvalCase{-4, 0, 256, White, -42}, EvalCase{-4, 256, 0, White, 298}),
                         testing::printed_name);

TEST(EvaluateStart, StartPositionIsLevelForBothSides) {
    EXPECT_EQ(evaluate(board_of(START_FEN)), 0);
    EXPECT_EQ(evaluate(board_of("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1")), 0);
}

// ---------------------------------------------------------------- reduction table

struct ReductionRow {
    int depth;
    std::array<int, 8> values;  // for m = 2, 3, 4, 6, 8, 16, 32, 63
};

void PrintTo(const ReductionRow& r, std::ostream* os) { *os << "depth " << r.depth; }

class ReductionTable : public ::testing::TestWithParam<ReductionRow> {};

TEST_P(ReductionTable, MatchesTheSampleRow) {
    constexpr std::array<int, 8> columns{2, 3, 4, 6, 8, 16, 32, 63};
    const ReductionRow row = GetParam();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(reduction(row.depth, columns[i]), row.values[i]) << "d=" << row.depth << " m=" << columns[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ReductionTable,
                         ::testing::Values(ReductionRow{3, {1, 1, 1, 1, 1, 2, 2, 2}},
                                           ReductionRow{4, {1, 1, 1, 1, 2, 2, 2, 3}},
                                           ReductionRow{8, {1, 1, 2, 2, 2, 3, 3, 4}},
                                           ReductionRow{16, {1, 2, 2, 2, 3, 4, 5, 5}},
                                           ReductionRow{63, {2, 2, 3, 4, 4, 5, 7, 8}}),
                         testing::printed_name);

TEST(ReductionBounds, ZeroEdgesAndAlwaysLeavesOnePly) {
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(reduction(0, i), 0);
        EXPECT_EQ(reduction(i, 0), 0);
    }
    for (int d = 3; d < 64; ++d) {
        for (int m = 2; m < 64; ++m) {
            EXPECT_GE(d - reduction(d, m), 1) << "d=" << d << " m=" << m;
        }
    }
}

// ---------------------------------------------------------------- progress-line numbers

struct ScoreTextCase {
    std::int16_t score;
    const char* text;
};

void PrintTo(const ScoreTextCase& c, std::ostream* os) { *os << "score " << c.score; }

class ScoreText : public ::testing::TestWithParam<ScoreTextCase> {};

TEST_P(ScoreText, SwitchesToMateBeyond29898) { EXPECT_EQ(score_text(GetParam().score), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Boundaries, ScoreText,
                         ::testing::Values(ScoreTextCase{0, "cp 0"}, ScoreTextCase{-35, "cp -35"},
                                           ScoreTextCase{29898, "cp 29898"}, ScoreTextCase{29899, "mate 50"},
                                           ScoreTextCase{-29898, "cp -29898"}, ScoreTextCase{-29899, "mate -50"},
                                           ScoreTextCase{29998, "mate 1"}, ScoreTextCase{29996, "mate 2"},
                                           ScoreTextCase{-29997, "mate -1"}, ScoreTextCase{-29999, "mate 0"}),
                         testing::printed_name);

struct NpsCase {
    std::uint32_t nodes;
    std::uint32_t ms;
    std::uint32_t expected;
};

void PrintTo(const NpsCase& c, std::ostream* os) { *os << c.nodes << " nodes in " << c.ms << " ms"; }

class NodesPerSecond : public ::testing::TestWithParam<NpsCase> {};

TEST_P(NodesPerSecond, Saturates) { EXPECT_EQ(nodes_per_second(GetParam().nodes, GetParam().ms), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Values, NodesPerSecond,
                         ::testing::Values(NpsCase{0, 0, 0}, NpsCase{1, 0, 4294967295U}, NpsCase{0, 10, 0},
                                           NpsCase{1000, 1000, 1000}, NpsCase{3, 7, 428}, NpsCase{1337, 1, 1337000},
                                           NpsCase{4294967295U, 1, 4294967295U}),
                         testing::printed_name);

// ---------------------------------------------------------------- alpha-beta rules

// Called directly, below any root: ply 1 as the root search would.
std::int16_t search_node(TestEngine& rig, const BoardState& board, int depth, std::int16_t alpha, std::int16_t beta,
                         bool null_allowed = true, int ply = 1) {
    return alpha_beta(rig.searcher(), board, static_cast<std::uint8_t>(depth), ply, alpha, beta, null_allowed);
}

struct MateCase {
    const char* name;
    const char* fen;
    int depth;
    int ply;
    std::int16_t expected;
};

class MateScores : public ::testing::TestWithParam<MateCase> {};

TEST_P(MateScores, CountFromTheRoot) {
    const MateCase c = GetParam();
    TestEngine rig;
    EXPECT_EQ(search_node(rig, board_of(c.fen), c.depth, -FULL, FULL, true, c.ply), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Nodes, MateScores,
                         ::testing::Values(
                             // In check at depth 0 the node is searched, not handed to quiescence.
                             MateCase{"MatedAtHorizon", "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", 0, 3, 3 - 29999},
                             MateCase{"MatedAtPlyOne", "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", 2, 1, 1 - 29999},
                             MateCase{"Stalemate", "7k/8/6QK/8/8/8/8/8 b - - 0 1", 1, 2, 0},
                             MateCase{"MateInOneAtPlyOne", "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 1, 1, 29999 - 2}),
                         case_name);

struct TableCutCase {
    const char* name;
    Bound kind;
    std::uint8_t entry_depth;
    std::int16_t entry_score;
    int node_depth;
    std::int16_t expected;
    std::uint32_t tt_hits;
};

class TableCutoffs : public ::testing::TestWithParam<TableCutCase> {};

TEST_P(TableCutoffs, AnswerOrNarrowTheNode) {
    const TableCutCase c = GetParam();
    TestEngine rig;
    const BoardState board = board_of(START_FEN);
    rig.searcher().table.store(board.hash, c.kind, c.entry_depth, move_of(board, "a2a3"), c.entry_score);
    EXPECT_EQ(search_node(rig, board, c.node_depth, -100, 100), c.expected);
    EXPECT_EQ(rig.searcher().stats.tt_hits, c.tt_hits);
}

// From the start position the depth-1 value is 57: d2d4 raises the
// middle-game sum most and black then has nothing to capture.
INSTANTIATE_TEST_SUITE_P(Entries, TableCutoffs,
                         ::testing::Values(TableCutCase{"ExactDeepEnough", Bound::Exact, 5, 123, 3, 123, 1},
                                           TableCutCase{"ExactTooShallow", Bound::Exact, 0, 123, 1, 57, 0},
                                           TableCutCase{"LowerAboveBeta", Bound::Lower, 4, 500, 2, 500, 1},
                                           TableCutCase{"UpperBelowAlpha", Bound::Upper, 4, -500, 2, -500, 1}),
                         case_name);

struct NullMoveCase {
    const char* name;
    const char* fen;
    int depth;
    bool null_cutoff;
};

class NullMove : public ::testing::TestWithParam<NullMoveCase> {};

// Where no null move may be tried, allowing it changes nothing at all. A
// null-move cutoff returns beta and, unlike a move's cutoff, stores nothing.
TEST_P(NullMove, IsTriedOnlyUnderItsConditions) {
    const NullMoveCase c = GetParam();
    const BoardState board = board_of(c.fen);
    TestEngine allowed;
    TestEngine forbidden;
    const std::int16_t with_null = search_node(allowed, board, c.depth, -100, 100, true);
    const std::int16_t without_null = search_node(forbidden, board, c.depth, -100, 100, false);
    const SearchStats& a = allowed.searcher().stats;
    const SearchStats& f = forbidden.searcher().stats;
    const bool same = with_null == without_null && a.nodes == f.nodes && a.beta_cutoffs == f.beta_cutoffs &&
                      a.leaf_returns == f.leaf_returns && a.stand_pat_cutoffs == f.stand_pat_cutoffs;
    EXPECT_EQ(same, !c.null_cutoff);
    EXPECT_EQ(allowed.table_move(board).has_value(), !c.null_cutoff);
    if (c.null_cutoff) {
        EXPECT_EQ(with_null, 100);
    }
}

INSTANTIATE_TEST_SUITE_P(Conditions, NullMove,
                         ::testing::Values(NullMoveCase{"QueenUpDepthTwo", "4k3/8/8/8/8/8/8/3QK3 w - - 0 1", 2, true},
                                           NullMoveCase{"DepthOne", "4k3/8/8/8/8/8/8/3QK3 w - - 0 1", 1, false},
                                           NullMoveCase{"InCheck", "4k3/8/8/8/8/8/4r3/3QK3 w - - 0 1", 2, false},
                                           NullMoveCase{"KingAndPawnsOnly", "4k3/8/8/8/8/8/PPPPPPPP/4K3 w - - 0 1", 2,
                                                        false},
                                           NullMoveCase{"EvaluationBelowBeta", START_FEN.data(), 2, false}),
                         case_name);

struct ReductionCase {
    int depth;
    std::map<std::string, int> child_depths;
};

void PrintTo(const ReductionCase& c, std::ostream* os) { *os << "depth " << c.depth; }

class LateMoveReductions : public ::testing::TestWithParam<ReductionCase> {};

// White's moves in selection order: h2h3 (+16), a1b1 (+14), a1b2 (+10),
// a1a2 (+1), h2h4 (-1, a double push, never reduced). Black has king and
// pawn only, so no child tries a null move and every child stores its depth.
TEST_P(LateMoveReductions, ReduceQuietMovesFromTheThird) {
    const ReductionCase c = GetParam();
    TestEngine rig;
    const BoardState board = board_of("7k/7p/8/8/8/8/7P/K7 w - - 0 1");
    search_node(rig, board, c.depth, -FULL, FULL, false);
    for (const auto& [uci, depth] : c.child_depths) {
        const BoardState child = make_move(board, move_of(board, uci));
        const TtData entry = rig.searcher().table.probe(child.hash);
        ASSERT_FALSE(entry.empty()) << uci;
        EXPECT_EQ(entry.depth(), depth) << uci;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Depths, LateMoveReductions,
    ::testing::Values(ReductionCase{3, {{"h2h3", 2}, {"a1b1", 2}, {"a1b2", 1}, {"a1a2", 1}, {"h2h4", 2}}},
                      ReductionCase{2, {{"h2h3", 1}, {"a1b1", 1}, {"a1b2", 1}, {"a1a2", 1}, {"h2h4", 1}}}),
    testing::printed_name);

TEST(CheckExtension, RepliesToCheckKeepTheDepth) {
    TestEngine rig;
    const BoardState board = board_of("7k/7p/8/8/8/8/8/K6r w - - 0 1");  // Ka2 and Kb2 only
    search_node(rig, board, 1, -FULL, FULL);
    for (const Move m : generate_moves(board, false)) {
        const TtData entry = rig.searcher().table.probe(make_move(board, m).hash);
        ASSERT_FALSE(entry.empty()) << to_uci(m) << " was handed to quiescence";
        EXPECT_EQ(entry.depth(), 1) << to_uci(m);
    }
}

TEST(Quiescence, StandsPatAtBeta) {
    TestEngine rig;
    Searcher& s = rig.searcher();
    EXPECT_EQ(quiescence(s, board_of("4k3/8/8/8/8/8/8/3QK3 w - - 0 1"), 4, -100, 100), 100);
    EXPECT_EQ(s.stats.nodes, 1U);
    EXPECT_EQ(s.stats.stand_pat_cutoffs, 1U);
    EXPECT_EQ(s.seldepth, 4);
}

TEST(Quiescence, SkipsUnderPromotions) {
    TestEngine rig;
    Searcher& s = rig.searcher();
    // Captures: b7xa8 to four pieces, plus the king's step to b1. The window
    // makes every child stand pat, so each searched move costs one node.
    const BoardState board = board_of("r3k3/1P6/8/8/8/8/PP6/K7 w - - 0 1");
    EXPECT_EQ(quiescence(s, board, 0, 29997, 29998), 29997);
    EXPECT_EQ(s.stats.nodes, 3U) << "the root, b7a8q and a1b1";
    EXPECT_EQ(s.stats.stand_pat_cutoffs, 2U);
    EXPECT_EQ(s.seldepth, 1);
}

// ---------------------------------------------------------------- draws through "go"

struct DrawCase {
    std::string name;
    std::string position;
    bool draw;
};

class Draws : public ::testing::TestWithParam<DrawCase> {};

// White is a queen down for a knight: only a draw saves it.
TEST_P(Draws, ScoreZeroAtDepthTwo) {
    const DrawCase c = GetParam();
    TestEngine rig;
    const auto lines = rig.run({c.position, "go depth 2"});
    ASSERT_GE(lines.size(), 2U);
    const std::string score = score_of(lines[lines.size() - 2]);
    if (c.draw) {
        EXPECT_EQ(score, "cp 0");
    } else {
        ASSERT_EQ(score.rfind("cp -", 0), 0U) << score;
        EXPECT_LT(std::stoi(score.substr(3)), -300);
    }
}

// Queen and king against king, knight and king, white to move (P). X is P
// after g1f3, the one move of the root that can repeat a position.
constexpr const char* QUEEN_DOWN = "position fen q6k/8/8/8/8/8/8/4K1N1 w - - 0 1 moves";
constexpr const char* X_THEN_P = " g1f3 h8g8 f3g1 g8h8";
// From P to P in 48 plies without repeating a position: the white king walks
// a loop of 8 squares three times while the black king walks one of 6 four times.
std::string long_walk() {
    const std::array<const char*, 8> white = {"e1d1", "d1c1", "c1c2", "c2c3", "c3d3", "d3e3", "e3e2", "e2e1"};
    const std::array<const char*, 6> black = {"h8h7", "h7h6", "h6g6", "g6g7", "g7g8", "g8h8"};
    std::string moves;
    for (std::size_t i = 0; i < 24; ++i) {
        moves += std::string(" ") + white[i % 8] + " " + black[i % 6];
    }
    return moves;
}
// The same with a white rook and its castling right, black a queen and two rooks
// ahead; e1e2 e8d8 e2e1 d8e8 gives the right up.
constexpr const char* CASTLING = "position fen rq2k3/r7/8/8/8/8/8/4K1NR w K - 0 1 moves";
constexpr const char* CASTLING_X_THEN_P = " g1f3 e8d8 f3g1 d8e8";
constexpr const char* RIGHT_GIVEN_UP = " e1e2 e8d8 e2e1 d8e8";

std::string repeated(const char* moves, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += moves;
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Draws,
    ::testing::Values(
        // g1f3 makes X for the third time.
        DrawCase{"ThirdOccurrence", std::string(QUEEN_DOWN) + repeated(X_THEN_P, 2), true},
        DrawCase{"SecondOccurrence", std::string(QUEEN_DOWN) + X_THEN_P, false},
        // g1f3 is played for the third time, but the black king stood elsewhere each time.
        DrawCase{"SameMoveThirdTimeNewPosition", std::string(QUEEN_DOWN) + " g1f3 h8g8 f3g1 g8f8 g1f3 f8e8 f3g1 e8d8",
                 false},
        // The first X lies 56 plies before the root.
        DrawCase{"OccurrencesFarApart", std::string(QUEEN_DOWN) + X_THEN_P + long_walk() + X_THEN_P, true},
        DrawCase{"OneOccurrenceHadACastlingRight",
                 std::string(CASTLING) + CASTLING_X_THEN_P + RIGHT_GIVEN_UP + CASTLING_X_THEN_P, false},
        DrawCase{"TwoOccurrencesWithoutTheRight",
                 std::string(CASTLING) + CASTLING_X_THEN_P + RIGHT_GIVEN_UP + repeated(CASTLING_X_THEN_P, 2), true},
        DrawCase{"HalfmoveClockReaches100", "position fen q6k/8/8/8/8/8/8/4K1N1 w - - 99 80", true},
        DrawCase{"HalfmoveClockReaches99", "position fen q6k/8/8/8/8/8/8/4K1N1 w - - 98 80", false}),
    case_name);

TEST(RepetitionDraw, IsChosenWhenBehind) {
    TestEngine rig;
    const auto lines = rig.run({std::string(QUEEN_DOWN) + repeated(X_THEN_P, 2), "go depth 2"});
    EXPECT_EQ(lines.back(), "bestmove g1f3");
}

// The queen has gone to h5 and back twice; the third time it mates.
TEST(RepetitionDraw, RepeatedMovesToNewPositionsAreNoDraw) {
    TestEngine rig;
    const auto lines = rig.run(
        {"position startpos moves e2e4 a7a6 d1h5 a6a5 h5d1 a8a6 d1h5 a6a7 h5d1 f7f6 a2a3 g7g5", "go depth 3"});
    ASSERT_GE(lines.size(), 2U);
    EXPECT_EQ(score_of(lines[lines.size() - 2]), "mate 1");
    EXPECT_EQ(lines.back(), "bestmove d1h5");
}

// ---------------------------------------------------------------- principal variation

TEST(PrincipalVariation, FollowsLegalTableMovesOnly) {
    TestEngine rig;
    TranspositionTable& table = rig.searcher().table;
    const BoardState root = board_of(START_FEN);
    EXPECT_EQ(principal_variation(rig.searcher(), root, 5), "");

    // A move that is not legal at the root (a collision) ends the walk at once.
    table.store(root.hash, Bound::Exact, 3, Move(12, 36, Quiet), 0);  // e2e5
    EXPECT_EQ(principal_variation(rig.searcher(), root, 5), "");

    const Move e4 = move_of(root, "e2e4");
    const BoardState after_e4 = make_move_unrecorded(root, e4);
    table.store(root.hash, Bound::Exact, 3, e4, 0);
    table.store(after_e4.hash, Bound::Exact, 2, Move(52, 28, Quiet), 0);  // e7e4: blocked, illegal
    EXPECT_EQ(principal_variation(rig.searcher(), root, 5), "e2e4 ");

    table.store(after_e4.hash, Bound::Exact, 2, move_of(after_e4, "e7e5"), 0);
    EXPECT_EQ(principal_variation(rig.searcher(), root, 1), "e2e4 ");
    EXPECT_EQ(principal_variation(rig.searcher(), root, 2), "e2e4 e7e5 ");
    EXPECT_EQ(principal_variation(rig.searcher(), root, 5), "e2e4 e7e5 ");
    EXPECT_EQ(principal_variation(rig.searcher(), root, 0), "");
}

TEST(FirstRootMove, PrefersALegalTableMoveElseTheBestOrderingScore) {
    TestEngine rig;
    const BoardState root = board_of(START_FEN);
    EXPECT_EQ(first_root_move(rig.searcher(), root), move_of(root, "d2d4"));
    rig.searcher().table.store(root.hash, Bound::Upper, 1, move_of(root, "b1a3"), 0);
    EXPECT_EQ(first_root_move(rig.searcher(), root), move_of(root, "b1a3"));
    rig.searcher().table.store(root.hash, Bound::Upper, 1, Move(12, 36, Quiet), 0);  // e2e5
    EXPECT_EQ(first_root_move(rig.searcher(), root), move_of(root, "d2d4"));
    EXPECT_FALSE(first_root_move(rig.searcher(), board_of("7k/6Q1/6K1/8/8/8/8/8 b - - 0 1")).has_value());
}

// ---------------------------------------------------------------- best-move answers

struct AnswerCase {
    const char* name;
    const char* position;
    const char* go;
    std::uint32_t node_tick;  // 999: the first node reads the clock and the stop request
    bool stop_requested;
    const char* bestmove;
};

class BestMoveAnswer : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(BestMoveAnswer, IsALegalMoveUnlessNoneCanBeGiven) {
    const AnswerCase c = GetParam();
    TestEngine rig;
    rig.run({c.position});
    rig.searcher().node_tick = c.node_tick;
    if (c.stop_requested) rig.signals.raise(Signal::Stop);
    const auto lines = rig.run({c.go});
    ASSERT_EQ(lines.size(), 1U) << "no line can complete before the limit";
    EXPECT_EQ(lines[0], c.bestmove);
}

// The fallback is the first move the root would search: with an empty table,
// d2d4, which raises the middle-game sum most.
INSTANTIATE_TEST_SUITE_P(
    Limits, BestMoveAnswer,
    ::testing::Values(AnswerCase{"MoveTimeZero", "position startpos", "go movetime 0", 999, false, "bestmove d2d4"},
                      AnswerCase{"ClocksAtZero", "position startpos", "go wtime 0 btime 0", 999, false,
                                 "bestmove d2d4"},
                      AnswerCase{"StopRequest", "position startpos", "go", 999, true, "bestmove d2d4"},
                      AnswerCase{"NodeLimitOne", "position startpos", "go nodes 1", 0, false, "bestmove d2d4"},
                      AnswerCase{"NodeLimitTwo", "position startpos", "go nodes 2", 0, false, "bestmove d2d4"},
                      AnswerCase{"DepthZero", "position startpos", "go depth 0", 0, false, "bestmove d2d4"},
                      AnswerCase{"CheckmatedOutOfTime", "position fen 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", "go movetime 0",
                                 999, false, "bestmove (none)"},
                      AnswerCase{"StalemateStopped", "position fen 7k/8/6QK/8/8/8/8/8 b - - 0 1", "go", 999, true,
                                 "bestmove (none)"}),
    case_name);

TEST(SearchDriver, MultiPvBeyondTheRootMovesReportsEachMoveOnce) {
    TestEngine rig;
    // Black has three moves: Kb8, h6 and h5.
    const auto lines = rig.run(
        {"setoption name MultiPV value 5", "position fen k7/7p/1K6/8/8/8/8/6R1 b - - 0 1", "go depth 3"});
    ASSERT_EQ(lines.size(), 10U);
    for (std::size_t i = 0; i < 9; ++i) {
        const std::string want = "info depth " + std::to_string(i / 3 + 1);
        const std::string line_no = " multipv " + std::to_string(i % 3 + 1) + " ";
        EXPECT_EQ(lines[i].rfind(want + " ", 0), 0U) << lines[i];
        EXPECT_NE(lines[i].find(line_no), std::string::npos) << lines[i];
    }
    EXPECT_EQ(lines[9].rfind("bestmove ", 0), 0U);
}

// From the start position each root move at depth 1 costs exactly one node
// (black has nothing to capture and no king step), so with three lines the
// counter reads 20, 19 and 18 as each line is written, and a limit of 20
// nodes still lets every line complete: the limit bounds each line.
TEST(SearchDriver, CountersRestartAfterEveryLine) {
    TestEngine rig;
    const auto lines = rig.run({"setoption name MultiPV value 3", "position startpos", "go depth 1 nodes 20"});
    ASSERT_EQ(lines.size(), 4U);
    const std::vector<std::uint32_t> per_line(rig.sink->line_nodes.begin(), rig.sink->line_nodes.end() - 1);
    EXPECT_EQ(per_line, (std::vector<std::uint32_t>{20, 19, 18}));
}

TEST(SearchDriver, NodeLimitedSearchesInARowBothAnswer) {
    TestEngine rig;
    const BoardState start = board_of(START_FEN);
    for (int i = 0; i < 2; ++i) {
        const auto lines = rig.run({"position startpos", "go nodes 3000"});
        ASSERT_FALSE(lines.empty());
        ASSERT_EQ(lines.back().rfind("bestmove ", 0), 0U);
        EXPECT_TRUE(parse_uci(lines.back().substr(9), start).move.has_value()) << lines.back();
    }
}

}  // namespace
}  // namespace kestrune
