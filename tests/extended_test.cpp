// The extended profile through the real binary: how it is turned on and what
// "uci" announces, that its defaults answer every depth- or node-limited
// session as the plain engine does, its options, pondering, and searches
// with four threads meeting "stop", "quit", "ponderhit" and the end of input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine_session.h"
#include "fen.h"
#include "test_support.h"

namespace {

using kestrune::testing::await_ready;
using kestrune::testing::EngineProcess;
using kestrune::testing::expect_banner;
using kestrune::testing::Lines;
using namespace std::chrono_literals;

// The WebAssembly engine (run by node) addresses 32 bits: its table is at
// most 2048 MiB. Every 64-bit engine offers 4 TiB.
bool engine_is_32_bit() {
    const std::vector<std::string> launcher = kestrune::testing::launcher_words();
    return !launcher.empty() && launcher.front() == "node";
}
const std::string HASH_MAX = engine_is_32_bit() ? "2048" : "4194304";

const Lines EXTENDED_UCI = {"id name kestrune " KESTRUNE_VERSION "b 64 AB",
                            "id author Ombrelt",
                            "option name Hash type spin default 16 min 1 max " + HASH_MAX,
                            "option name Clear Hash type button",
                            "option name Threads type spin default 1 min 1 max 1024",
                            "option name Ponder type check default false",
                            "option name Move Overhead type spin default 0 min 0 max 5000",
                            "option name MultiPV type spin default 1 min 1 max 255",
                            "option name UCI_Chess960 type check default false",
                            "option name UCI_LimitStrength type check default false",
                            "option name UCI_Elo type spin default 1500 min 800 max 1900",
                            "uciok"};

Lines answer(EngineProcess& engine, const std::string& commands) {
    engine.send_raw(commands);
    return await_ready(engine, 60s);
}

// The fields that depend on the machine's speed are dropped.
std::string without_timing(const std::string& line) {
    std::string out;
    std::size_t start = 0;
    bool skip_next = false;
    while (start <= line.size()) {
        const std::size_t end = std::min(line.find(' ', start), line.size());
        const std::string word = line.substr(start, end - start);
        if (skip_next) {
            skip_next = false;
        } else if (line.starts_with("info depth ") && (word == "nps" || word == "time")) {
            skip_next = true;
        } else {
            out += word + " ";
        }
        start = end + 1;
    }
    return out;
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrune-extended-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(std::string_view name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// ---------------------------------------------------------------- turning it on

struct StartCase {
    std::string name;
    std::vector<std::string> args;  // "LOG" stands for a log file's path
    bool extended;
};

class ExtendedStart : public ::testing::TestWithParam<StartCase> {};

TEST_P(ExtendedStart, AnnouncesTheOptionsOfItsProfile) {
    const StartCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> args;
    for (const std::string& a : c.args) args.push_back(a == "LOG" ? dir.file("session.log") : a);
    EngineProcess engine(args, KESTRUNE_BINARY, false);
    expect_banner(engine);
    const Lines plain = {"id name kestrune " KESTRUNE_VERSION "b 64 AB", "id author Ombrelt",
                         "option name MultiPV type spin default 1 min 1 max 255", "uciok"};
    EXPECT_EQ(answer(engine, "uci\n"), c.extended ? EXTENDED_UCI : plain);
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), std::optional<int>(0));
}

INSTANTIATE_TEST_SUITE_P(Arguments, ExtendedStart,
                         ::testing::Values(StartCase{"None", {}, false}, StartCase{"Switch", {"--extended"}, true},
                                           StartCase{"SwitchAfterLog", {"--log", "LOG", "--extended"}, true},
                                           StartCase{"SwitchBeforeLog", {"--extended", "--log", "LOG"}, true},
                                           StartCase{"SwitchInCapitals", {"--EXTENDED"}, false}),
                         kestrune::testing::case_name);

TEST(ExtendedStart, TheSecondProgramNameStartsExtended) {
    if (kestrune::testing::engine_is_launched()) GTEST_SKIP() << "the engine runs under a launcher here";
    TempDir dir;
    const std::string link = dir.file("kestrune-extended");
    std::filesystem::create_symlink(std::filesystem::absolute(KESTRUNE_BINARY), link);
    EngineProcess engine({}, link.c_str());
    expect_banner(engine);
    EXPECT_EQ(answer(engine, "uci\n"), EXTENDED_UCI);
}

// ---------------------------------------------------------------- defaults change nothing

// Sessions limited by depth or nodes: repetitions, multi-PV, a new game, a
// perft listing, the board, rejected input.
const std::string SESSION =
    "position startpos moves e2e4 e7e5\ngo depth 7\n"
    "position fen r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4\ngo depth 5\n"
    "setoption name MultiPV value 3\ngo nodes 20000\nsetoption name MultiPV value 1\n"
    "position fen q6k/8/8/8/8/8/8/4K1N1 w - - 0 1 moves g1f3 h8g8 f3g1 g8h8 g1f3 h8g8 f3g1 g8h8\ngo depth 6\n"
    "position fen 8/8/8/4k3/8/8/3QK3/8 w - - 0 1\ngo depth 9\n"
    "go perft 3\nd\nucinewgame\ngo depth 6 nodes 5000\n"
    "position startpos moves e2e5\nsetoption name MultiPV\nfoo\n";

Lines session_answers(const std::vector<std::string>& args, const std::string& set_first) {
    EngineProcess engine(args, KESTRUNE_BINARY, false);
    expect_banner(engine);
    Lines lines;
    for (const std::string& line : answer(engine, set_first + SESSION)) lines.push_back(without_timing(line));
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(60s), std::optional<int>(0));
    return lines;
}

TEST(ExtendedDefaults, AnswerSessionsAsThePlainEngine) {
    const Lines plain = session_answers({}, "");
    ASSERT_GT(plain.size(), 40U);
    EXPECT_EQ(session_answers({"--extended"}, ""), plain);
    EXPECT_EQ(session_answers({"--extended"}, "setoption name Hash value 16\nsetoption name Threads value 1\n"), plain);
    EXPECT_EQ(
        session_answers({"--extended"}, "setoption name Ponder value false\nsetoption name Move Overhead value 0\n"),
        plain);
}

// ---------------------------------------------------------------- options

struct OptionCase {
    std::string name;
    std::string command;
    Lines answer;
};

class ExtendedOption : public ::testing::TestWithParam<OptionCase> {};

// Each bad value is refused with a line that says why, the setting kept, and
// the engine searches on.
TEST_P(ExtendedOption, RefusesBadValuesAndKeepsItsSetting) {
    const OptionCase& c = GetParam();
    EngineProcess engine({"--extended"}, KESTRUNE_BINARY, false);
    expect_banner(engine);
    EXPECT_EQ(answer(engine, c.command + "\n"), c.answer);
    const Lines search = answer(engine, "position startpos\ngo depth 3\n");
    ASSERT_FALSE(search.empty());
    EXPECT_TRUE(kestrune::testing::is_legal(kestrune::START_FEN, kestrune::testing::bestmove_of(search.back())))
        << search.back();
}

const std::string HASH_REFUSED = "info string Hash takes a whole number of MiB from 1 to " + HASH_MAX +
                                 "; the table stays at ";
const std::string THREADS_REFUSED = "info string Threads takes a whole number from 1 to 1024; it stays at ";
const std::string ELO_REFUSED = "info string UCI_Elo takes a whole number from 800 to 1900; it stays at ";
const std::string OVERHEAD_REFUSED =
    "info string Move Overhead takes a whole number of milliseconds from 0 to 5000; it stays at ";

std::vector<OptionCase> option_cases() {
    std::vector<OptionCase> cases = {
        OptionCase{"HashSet", "setoption name Hash value 3", {}},
        OptionCase{"HashZero", "setoption name Hash value 0", {HASH_REFUSED + "16 MiB"}},
        OptionCase{"HashWords", "setoption name Hash value 32 MiB", {HASH_REFUSED + "16 MiB"}},
        OptionCase{"HashKeptAfterRefusal",
                   "setoption name Hash value 5\nsetoption name Hash value -1",
                   {HASH_REFUSED + "5 MiB"}},
        OptionCase{"ClearHash", "setoption name Clear Hash", {}},
        OptionCase{"ThreadsSet", "setoption name Threads value 3", {}},
        OptionCase{"ThreadsZero", "setoption name Threads value 0", {THREADS_REFUSED + "1"}},
        OptionCase{"ThreadsTooMany",
                   "setoption name Threads value 2\nsetoption name Threads value 1025",
                   {THREADS_REFUSED + "2"}},
        OptionCase{"PonderSet", "setoption name Ponder value true", {}},
        OptionCase{
            "PonderYes", "setoption name Ponder value yes", {"info string Ponder takes true or false; it stays false"}},
        OptionCase{"Chess960Set", "setoption name UCI_Chess960 value true", {}},
        OptionCase{"Chess960Yes",
                   "setoption name UCI_Chess960 value yes",
                   {"info string UCI_Chess960 takes true or false; it stays false"}},
        OptionCase{"LimitStrengthSet", "setoption name UCI_LimitStrength value true", {}},
        OptionCase{"LimitStrengthOn",
                   "setoption name UCI_LimitStrength value on",
                   {"info string UCI_LimitStrength takes true or false; it stays false"}},
        OptionCase{"EloSet", "setoption name UCI_LimitStrength value true\nsetoption name UCI_Elo value 800", {}},
        OptionCase{"EloTooLow", "setoption name UCI_Elo value 799", {ELO_REFUSED + "1500"}},
        OptionCase{"EloKeptAfterRefusal",
                   "setoption name UCI_Elo value 1900\nsetoption name UCI_Elo value 1901",
                   {ELO_REFUSED + "1900"}},
        OptionCase{"OverheadSet", "setoption name Move Overhead value 5000", {}},
        OptionCase{"OverheadTooLarge", "setoption name Move Overhead value 5001", {OVERHEAD_REFUSED + "0"}},
        // Names are matched exactly as announced; others are the plain engine's business.
        OptionCase{"NameInLowerCase", "setoption name hash value 0", {}},
        OptionCase{"NameWithoutItsSpace", "setoption name MoveOverhead value 9999", {}},
        OptionCase{"ThreadsWithoutValue", "setoption name Threads", {THREADS_REFUSED + "1"}}};
#ifndef KESTRUNE_SANITIZED  // the sanitizers' allocator aborts where the system would refuse
    if (!engine_is_32_bit())
        cases.push_back(OptionCase{"HashTooLargeForTheMachine",
                                   "setoption name Hash value 4194304",
                                   {"info string cannot allocate 4194304 MiB for the hash table; it stays at 16 MiB"}});
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Values, ExtendedOption, ::testing::ValuesIn(option_cases()), kestrune::testing::case_name);

// Clear Hash empties the table: the same search then answers as on a fresh one.
TEST(ExtendedOption, ClearHashForgetsEarlierSearches) {
    EngineProcess engine({"--extended"}, KESTRUNE_BINARY, false);
    expect_banner(engine);
    const auto search = [&](const std::string& before) {
        Lines lines;
        for (const std::string& line : answer(engine, before + "go depth 7\n")) lines.push_back(without_timing(line));
        return lines;
    };
    const Lines fresh = search("position startpos moves d2d4\n");
    EXPECT_NE(search(""), fresh) << "a warm table changes the search";
    EXPECT_EQ(search("setoption name Clear Hash\n"), fresh);
}

// ---------------------------------------------------------------- pondering

TEST(ExtendedPonder, HoldsTheAnswerUntilPonderhitThenNamesTheMoveToPonder) {
    EngineProcess engine({"--extended"}, KESTRUNE_BINARY, false);
    expect_banner(engine);
    EXPECT_EQ(answer(engine, "setoption name Ponder value true\nposition startpos moves e2e4\n"), Lines{});
    engine.send("go ponder depth 5");
    engine.read_until("info depth 5 ", 60s);
    // Only a faulty engine answers here; a slow machine cannot make this fail.
    const std::optional<std::string> early = engine.read_line(500ms);
    EXPECT_FALSE(early.has_value()) << *early;
    engine.send("ponderhit");
    const Lines rest = engine.read_until("bestmove ", 60s);
    const std::string& line = rest.back();
    const auto ponder_at = line.find(" ponder ");
    ASSERT_NE(ponder_at, std::string::npos) << line;
    const std::string fen = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1";
    const std::string best = line.substr(9, ponder_at - 9);
    EXPECT_TRUE(kestrune::testing::is_legal(fen, best)) << line;
    // A ponderhit with nothing to ponder changes nothing.
    EXPECT_EQ(answer(engine, "ponderhit\n"), Lines{});
}

struct PonderCase {
    std::string name;
    std::string go;
    std::string then;  // sent after the first progress line
};

class ExtendedPonderEnd : public ::testing::TestWithParam<PonderCase> {};

TEST_P(ExtendedPonderEnd, AnswersOnceAfterPonderhitOrStop) {
    const PonderCase& c = GetParam();
    EngineProcess engine({"--extended"}, KESTRUNE_BINARY, false);
    expect_banner(engine);
    engine.send("position startpos");
    engine.send(c.go);
    engine.read_until("info depth 1 ", 60s);
    engine.send(c.then);
    const Lines lines = engine.read_until("bestmove ", 60s);
    EXPECT_TRUE(kestrune::testing::is_legal(kestrune::START_FEN, kestrune::testing::bestmove_of(lines.back())))
        << lines.back();
    EXPECT_EQ(lines.back().find(" ponder "), std::string::npos) << "Ponder is off";
    EXPECT_EQ(await_ready(engine, 60s), Lines{});
}

INSTANTIATE_TEST_SUITE_P(Ends, ExtendedPonderEnd,
                         ::testing::Values(PonderCase{"StopWithAClock", "go ponder wtime 100000 btime 100000", "stop"},
                                           PonderCase{"PonderhitThenTheClock", "go ponder wtime 400 btime 400",
                                                      "ponderhit"},
                                           PonderCase{"PonderhitWithIncrement",
                                                      "go ponder wtime 200 btime 200 winc 100 binc 100", "ponderhit"},
                                           PonderCase{"StopWithoutLimits", "go ponder", "stop"}),
                         kestrune::testing::case_name);

TEST(PlainProfile, KnowsNoPonderhit) {
    EngineProcess engine({}, KESTRUNE_BINARY, false);
    expect_banner(engine);
    EXPECT_EQ(answer(engine, "ponderhit\n"), (Lines{"Unsupported command: ponderhit", ""}));
}

// ---------------------------------------------------------------- Chess960

std::string fen_line(const Lines& lines) {
    for (const std::string& line : lines) {
        if (line.starts_with("Fen: ")) return line.substr(5);
    }
    return {};
}

// Castling goes both ways as the king taking its own rook: in the moves of
// "position", in the perft listing and in the answer of a search.
TEST(ExtendedChess960, PlaysCastlingAsTheKingTakingItsRook) {
    EngineProcess engine({"--extended"}, KESTRUNE_BINARY, false);
    expect_banner(engine);
    const std::string start = "1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 w GBgb - 0 1";
    EXPECT_EQ(answer(engine, "setoption name UCI_Chess960 value true\nposition fen " + start + "\n"), Lines{});
    const Lines listing = answer(engine, "go perft 1\n");
    EXPECT_NE(std::find(listing.begin(), listing.end(), "e1g1: 1"), listing.end());
    EXPECT_NE(std::find(listing.begin(), listing.end(), "e1b1: 1"), listing.end());
    EXPECT_EQ(fen_line(answer(engine, "d\n")), start);
    EXPECT_EQ(fen_line(answer(engine, "position fen " + start + " moves e1g1 e8b8 g1h1\nd\n")),
              "2kr2r1/pppppppp/8/8/8/8/PPPPPPPP/1R3R1K b - - 3 2");
    // The standard array castles by the same rules, its rights in Shredder-FEN.
    EXPECT_EQ(fen_line(answer(engine, "position startpos moves g1f3 g8f6 g2g3 g7g6 f1g2 f8g7 e1h1 e8h8\nd\n")),
              "rnbq1rk1/ppppppbp/5np1/8/8/5NP1/PPPPPPBP/RNBQ1RK1 w - - 4 5");
    // The answer of a search reads as a legal move of the Chess960 position.
    const Lines search = answer(engine, "position fen 4k3/8/8/8/8/8/5PPP/4K2R w H - 0 1\ngo depth 1\n");
    ASSERT_FALSE(search.empty());
    const std::string best = kestrune::testing::bestmove_of(search.back());
    const auto board = kestrune::from_fen("4k3/8/8/8/8/8/5PPP/4K2R w H - 0 1", true).board;
    ASSERT_TRUE(board);
    EXPECT_TRUE(kestrune::parse_uci(best, *board).move) << search.back();
    // Switched off again, castling is written the standard way.
    EXPECT_EQ(fen_line(answer(engine,
                              "setoption name UCI_Chess960 value false\nposition startpos moves g1f3 g8f6 "
                              "g2g3 g7g6 f1g2 f8g7 e1g1 e8g8\nd\n")),
              "rnbq1rk1/ppppppbp/5np1/8/8/5NP1/PPPPPPBP/RNBQ1RK1 w - - 4 5");
}

// The plain profile knows no such option: castling stays the standard move.
TEST(PlainProfile, KnowsNoChess960) {
    EngineProcess engine({}, KESTRUNE_BINARY, false);
    expect_banner(engine);
    EXPECT_EQ(answer(engine,
                     "setoption name UCI_Chess960 value true\nposition startpos moves g1f3 g8f6 g2g3 g7g6 "
                     "f1g2 f8g7 e1h1\n"),
              (Lines{"info string Illegal move e1h1 in the position command; position unchanged"}));
}

// ---------------------------------------------------------------- levels

struct LevelPosition {
    std::string fen;
    std::string mate_in_one;  // "" when there is none
};

// At every level the answer is a legal move, the same one again for the same
// position on a fresh table, and a mate in one is played from 1200 up.
TEST(ExtendedLevels, EveryLevelAnswersLegallyAndAgainTheSame) {
    const std::vector<LevelPosition> positions = {
        {std::string(kestrune::START_FEN), ""},
        {"r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4", "h5f7"},
        {"r2q1rk1/pp2bppp/2n1pn2/3p4/3P4/2NBPN2/PP3PPP/R2Q1RK1 b - - 0 10", ""},
        {"8/5k2/8/3K4/8/8/4P3/8 w - - 0 1", ""},
        {"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", "d1d8"}};
    EngineProcess engine({"--extended"}, KESTRUNE_BINARY, false);
    expect_banner(engine);
    answer(engine, "setoption name UCI_LimitStrength value true\n");
    for (const int elo : {800, 1000, 1200, 1450, 1750, 1899, 1900}) {
        answer(engine, "setoption name UCI_Elo value " + std::to_string(elo) + "\n");
        for (const LevelPosition& p : positions) {
            const auto best = [&] {
                const Lines search = answer(engine, "ucinewgame\nposition fen " + p.fen + "\ngo depth 7\n");
                return search.empty() ? std::string() : kestrune::testing::bestmove_of(search.back());
            };
            const std::string first = best();
            EXPECT_TRUE(kestrune::testing::is_legal(p.fen, first)) << elo << " " << p.fen << ": " << first;
            EXPECT_EQ(best(), first) << elo << " " << p.fen;
            if (elo >= 1200 && !p.mate_in_one.empty()) {
                EXPECT_EQ(first, p.mate_in_one) << elo << " " << p.fen;
            }
        }
    }
}

// Levels are the extended profile's: the plain engine ignores the options,
// and with UCI_LimitStrength false a level changes nothing.
TEST(ExtendedLevels, OffOrInThePlainProfileALevelChangesNothing) {
    const std::string session = "position startpos moves e2e4 c7c5\ngo depth 6\n";
    const auto run = [&](const std::vector<std::string>& args, const std::string& before) {
        EngineProcess engine(args, KESTRUNE_BINARY, false);
        expect_banner(engine);
        Lines lines = answer(engine, before + session);
        std::transform(lines.begin(), lines.end(), lines.begin(), without_timing);
        return lines;
    };
    const std::string level = "setoption name UCI_Elo value 800\n";
    EXPECT_EQ(run({"--extended"}, level), run({"--extended"}, ""));
    EXPECT_EQ(run({}, "setoption name UCI_LimitStrength value true\n" + level), run({}, ""));
}

// ---------------------------------------------------------------- four threads

struct ThreadsCase {
    std::string name;
    std::string go;
    std::string then;  // sent after the first progress line; "" sends nothing
    bool close_input;  // then the end of input, instead of waiting for bestmove
};

class ExtendedThreads : public ::testing::TestWithParam<ThreadsCase> {};

TEST_P(ExtendedThreads, EveryThreadHearsTheEndAndTheAnswerIsLegal) {
    const ThreadsCase& c = GetParam();
    EngineProcess engine({"--extended"}, KESTRUNE_BINARY, false);
    expect_banner(engine);
    const std::string fen = "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4";
    EXPECT_EQ(answer(engine, "setoption name Threads value 4\nposition fen " + fen + "\n"), Lines{});
    engine.send(c.go);
    engine.read_until("info depth 1 ", 60s);
    if (!c.then.empty()) engine.send(c.then);
    if (c.close_input) engine.close_stdin();
    const Lines lines = engine.read_until("bestmove ", 60s);
    EXPECT_TRUE(kestrune::testing::is_legal(fen, kestrune::testing::bestmove_of(lines.back()))) << lines.back();
    if (c.close_input || c.then == "quit") {
        EXPECT_EQ(engine.wait_exit(60s), std::optional<int>(0));
    } else {
        EXPECT_EQ(await_ready(engine, 60s), Lines{});
        engine.send("quit");
        EXPECT_EQ(engine.wait_exit(60s), std::optional<int>(0));
    }
    EXPECT_EQ(engine.read_all_stderr(2s), "");
}

INSTANTIATE_TEST_SUITE_P(Endings, ExtendedThreads,
                         ::testing::Values(ThreadsCase{"Stop", "go infinite", "stop", false},
                                           ThreadsCase{"Quit", "go infinite", "quit", false},
                                           ThreadsCase{"EndOfInput", "go infinite", "", true},
                                           ThreadsCase{"Ponderhit", "go ponder wtime 500 btime 500", "ponderhit",
                                                       false},
                                           ThreadsCase{"PonderStop", "go ponder", "stop", false},
                                           ThreadsCase{"NodeLimit", "go nodes 20000", "", false},
                                           ThreadsCase{"DepthLimit", "go depth 9", "", false},
                                           ThreadsCase{"MoveTime", "go movetime 200", "", false},
                                           ThreadsCase{"Clock", "go wtime 1000 btime 1000 winc 10 binc 10", "", false}),
                         kestrune::testing::case_name);

}  // namespace
