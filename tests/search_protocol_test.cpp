// Searching through the real binary, the way a chess interface drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine_process.h"
#include "engine_session.h"
#include "fen.h"
#include "move.h"

namespace kestrune {
namespace {

using testing::EngineProcess;
using testing::is_legal;
using testing::PrintTo;
using testing::score_of;
using namespace std::chrono_literals;

// Hang detection only: generous enough for sanitizer builds on a busy machine.
constexpr auto TIMEOUT = 120s;

#ifdef KESTRUNE_SANITIZED
constexpr int DEEP = 5;
#else
constexpr int DEEP = 7;
#endif

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string word; in >> word;) {
        out.push_back(word);
    }
    return out;
}

bool is_number(const std::string& text, bool allow_sign = false) {
    const std::size_t start = allow_sign && !text.empty() && text[0] == '-' ? 1 : 0;
    return text.size() > start && text.find_first_not_of("0123456789", start) == std::string::npos;
}

bool is_uci_move(const std::string& text) {
    const auto file = [](char c) { return c >= 'a' && c <= 'h'; };
    const auto rank = [](char c) { return c >= '1' && c <= '8'; };
    return (text.size() == 4 || (text.size() == 5 && std::string_view("nbrq").find(text[4]) != std::string::npos)) &&
           file(text[0]) && rank(text[1]) && file(text[2]) && rank(text[3]);
}

// "info depth D seldepth S multipv L score (cp|mate) N nodes N nps N time N pv",
// then each pv move followed by one space.
bool is_progress_line(const std::string& line) {
    const std::vector<std::string> w = words(line);
    if (w.size() < 17 || line.back() != ' ') {
        return false;
    }
    const char* keys[] = {"info", "depth", nullptr, "seldepth", nullptr, "multipv", nullptr, "score"};
    for (std::size_t i = 0; i < 8; ++i) {
        if (keys[i] != nullptr ? w[i] != keys[i] : !is_number(w[i])) {
            return false;
        }
    }
    if ((w[8] != "cp" && w[8] != "mate") || !is_number(w[9], true) || w[10] != "nodes" || !is_number(w[11]) ||
        w[12] != "nps" || !is_number(w[13]) || w[14] != "time" || !is_number(w[15]) || w[16] != "pv") {
        return false;
    }
    return std::all_of(w.begin() + 17, w.end(), is_uci_move);
}

class Session {
public:
    Session() {
        if (engine_.read_line(TIMEOUT) != testing::BANNER) {
            throw std::runtime_error("no banner");
        }
    }
    ~Session() {
        engine_.send("quit");
        engine_.wait_exit(TIMEOUT);
    }

    void send(std::string_view line) { engine_.send(line); }
    std::vector<std::string> until(std::string_view prefix) { return engine_.read_until(prefix, TIMEOUT); }
    // Sends the lines, then reads through the search's "bestmove".
    std::vector<std::string> search(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            send(line);
        }
        return until("bestmove ");
    }

private:
    EngineProcess engine_;
};

std::string field(const std::string& line, const std::string& name) {
    const auto at = line.find(" " + name + " ");
    if (at == std::string::npos) {
        return {};
    }
    const auto start = at + name.size() + 2;
    return line.substr(start, line.find(' ', start) - start);
}

// The progress lines among the output, each checked for its shape and for
// a principal variation no longer than its depth.
std::vector<std::string> info_lines(const std::vector<std::string>& lines) {
    std::vector<std::string> info;
    for (const std::string& line : lines) {
        if (line.starts_with("info depth ")) {
            EXPECT_TRUE(is_progress_line(line)) << line;
            const std::string pv = line.substr(line.find(" pv ") + 4);
            EXPECT_LE(std::count(pv.begin(), pv.end(), ' '), std::stoi(field(line, "depth"))) << line;
            info.push_back(line);
        }
    }
    return info;
}

std::string first_pv_move(const std::string& line) {
    const auto at = line.find(" pv ");
    return line.substr(at + 4, line.find(' ', at + 4) - at - 4);
}

// Drops the two fields that depend on the machine's speed.
std::string without_timing(const std::string& line) {
    const std::vector<std::string> w = words(line);
    std::string out;
    for (std::size_t i = 0; i < w.size(); ++i) {
        if ((w[i] == "nps" || w[i] == "time") && i + 1 < w.size()) {
            ++i;
            continue;
        }
        out += w[i] + " ";
    }
    return out;
}

TEST(SearchProtocol, DepthOneFromTheStartWritesOneLine) {
    Session engine;
    const auto lines = engine.search({"position startpos", "go depth 1"});
    const auto info = info_lines(lines);
    ASSERT_EQ(info.size(), 1U);
    EXPECT_EQ(field(info[0], "depth"), "1");
    EXPECT_EQ(field(info[0], "multipv"), "1");
    EXPECT_EQ(field(info[0], "score"), "cp");
    EXPECT_EQ(info[0].back(), ' ') << "every pv move is followed by a space";
    ASSERT_EQ(lines.size(), 2U);
    const std::string move = lines[1].substr(9);
    EXPECT_TRUE(is_legal(START_FEN, move)) << lines[1];
    EXPECT_EQ(first_pv_move(info[0]), move);
}

struct AnswerCase {
    const char* name;
    const char* fen;
    const char* go;
    int info_lines;          // -1: any number
    const char* last_score;  // of the last progress line; empty: not checked
    const char* bestmove;    // empty: any legal move
};

class SearchAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(SearchAnswers, MatchTheRules) {
    const AnswerCase c = GetParam();
    Session engine;
    const auto lines = engine.search({"position fen " + std::string(c.fen), c.go});
    const auto info = info_lines(lines);
    if (c.info_lines >= 0) {
        EXPECT_EQ(static_cast<int>(info.size()), c.info_lines);
    }
    if (*c.last_score != '\0') {
        ASSERT_FALSE(info.empty());
        EXPECT_EQ(score_of(info.back()), c.last_score);
    }
    const std::string answer = lines.back().substr(9);
    if (*c.bestmove != '\0') {
        EXPECT_EQ(answer, c.bestmove);
    } else {
        EXPECT_TRUE(is_legal(c.fen, answer)) << lines.back();
    }
}

const char* const START = START_FEN.data();
const char* const KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

INSTANTIATE_TEST_SUITE_P(
    Positions, SearchAnswers,
    ::testing::Values(
        AnswerCase{"MateInOne", "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "go depth 3", 3, "mate 1", "a1a8"},
        // Kb8, h6 and h5: each is met by Rg8 mate.
        AnswerCase{"MatedNextMove", "k7/7p/1K6/8/8/8/8/6R1 b - - 0 1", "go depth 3", 3, "mate -1", ""},
        AnswerCase{"Checkmate", "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", "go depth 5", 0, "", "(none)"},
        AnswerCase{"Stalemate", "7k/8/6QK/8/8/8/8/8 b - - 0 1", "go depth 5", 0, "", "(none)"},
        AnswerCase{"SingleLegalMove", "k7/8/1K6/8/8/8/8/7R b - - 0 1", "go depth 10", 1, "", "a8b8"},
        // With no completed line the answer is the move the root would try first.
        AnswerCase{"NodeLimitOne", START, "go nodes 1", 0, "", "d2d4"},
        AnswerCase{"NodeLimitTwo", START, "go nodes 2", 0, "", "d2d4"},
        AnswerCase{"DepthZero", START, "go depth 0", 0, "", "d2d4"},
        AnswerCase{"KiwipeteNodeLimit", KIWIPETE, "go nodes 500", -1, "", ""},
        AnswerCase{"StalemateNodeLimitOne", "7k/8/6QK/8/8/8/8/8 b - - 0 1", "go nodes 1", 0, "", "(none)"},
        AnswerCase{"MoveTimeZero", START, "go movetime 0", -1, "", ""},
        AnswerCase{"ClocksAtZero", START, "go wtime 0 btime 0", -1, "", ""},
        // Negative clocks count as 0: the search stops at its first clock reading.
        AnswerCase{"OwnClockNegative", START, "go wtime -10 btime 1000", -1, "", ""},
        AnswerCase{"BothClocksNegative", START, "go wtime -1 btime -1 movestogo 5", -1, "", ""},
        AnswerCase{"MoveTimeNegative", KIWIPETE, "go movetime -5", -1, "", ""},
        // Oversized values are the largest limit, not 0: depth 5 costs more than one clock reading.
        AnswerCase{"ClocksOversized", START, "go wtime 99999999999 btime 4294967296 depth 5", 5, "", ""},
        AnswerCase{"MoveTimeOversized", START, "go movetime 4294967296 depth 5", 5, "", ""},
        // Ra8 completes the fifty moves and mates: the mate stands.
        AnswerCase{"MateCompletingFiftyMoves", "6k1/5ppp/8/8/8/8/8/R5K1 w - - 99 1", "go depth 6", 6, "mate 1", "a1a8"},
        // Ra8+ is met by Kh7: every move completes the fifty moves without mate.
        AnswerCase{"FiftyMovesWithoutMate", "6k1/5pp1/7p/8/8/8/8/R5K1 w - - 99 1", "go depth 4", 4, "cp 0", ""},
        AnswerCase{"MovesToGoZero", START, "go wtime 60000 btime 60000 movestogo 0 depth 4", 4, "", ""}),
    testing::case_name);

TEST(SearchProtocol, MultiPvThreeGivesThreeDifferentLines) {
    Session engine;
    engine.send("setoption name MultiPV value 3");
    const auto lines = engine.search({"position startpos", "go depth 4"});
    const auto info = info_lines(lines);
    ASSERT_EQ(info.size(), 12U);
    for (std::size_t depth = 0; depth < 4; ++depth) {
        std::vector<std::string> firsts;
        for (std::size_t line = 0; line < 3; ++line) {
            const std::string& text = info[depth * 3 + line];
            EXPECT_EQ(field(text, "depth"), std::to_string(depth + 1));
            EXPECT_EQ(field(text, "multipv"), std::to_string(line + 1));
            firsts.push_back(first_pv_move(text));
        }
        EXPECT_NE(firsts[0], firsts[1]);
        EXPECT_NE(firsts[0], firsts[2]);
        EXPECT_NE(firsts[1], firsts[2]);
    }
    EXPECT_EQ(lines.back(), "bestmove " + first_pv_move(info[9]));
}

// After "ucinewgame" the table is empty again, so the same search repeats
// itself within a process as well as across processes.
TEST(SearchProtocol, SameScriptGivesSameOutput) {
    const std::vector<std::string> script{
        "setoption name MultiPV value 2",
        "position startpos moves e2e4 c7c5",
        "go depth " + std::to_string(DEEP),
        "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "go nodes 20000",
        "ucinewgame",
        "position startpos moves e2e4 c7c5",
        "go depth " + std::to_string(DEEP),
    };
    std::vector<std::vector<std::string>> runs;
    for (int run = 0; run < 2; ++run) {
        Session engine;
        std::vector<std::string> output;
        for (const std::string& line : script) {
            engine.send(line);
            if (line.starts_with("go ")) {
                for (const std::string& answer : engine.until("bestmove ")) {
                    output.push_back(without_timing(answer));
                }
            }
        }
        runs.push_back(output);
    }
    ASSERT_GT(runs[0].size(), 4U);
    EXPECT_EQ(runs[0], runs[1]);

    const auto& out = runs[0];
    const auto first_end = std::find_if(out.begin(), out.end(),
                                        [](const std::string& l) { return l.starts_with("bestmove "); });
    ASSERT_NE(first_end, out.end());
    const std::vector<std::string> first(out.begin(), first_end + 1);
    const std::vector<std::string> last(out.end() - static_cast<std::ptrdiff_t>(first.size()), out.end());
    EXPECT_EQ(first, last);
}

TEST(SearchProtocol, UciNewGameResetsTheGameAndKeepsMultiPv) {
    Session engine;
    engine.send("setoption name MultiPV value 2");
    engine.search({"position startpos moves e2e4 e7e5", "go depth 2"});
    engine.send("ucinewgame");
    engine.send("d");
    const auto diagram = engine.until("Fen: ");
    EXPECT_EQ(diagram.back(), "Fen: " + std::string(START));
    const auto info = info_lines(engine.search({"go depth 1"}));
    ASSERT_EQ(info.size(), 2U);
    EXPECT_EQ(field(info[1], "multipv"), "2");
}

}  // namespace
}  // namespace kestrune
