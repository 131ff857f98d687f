// Whole command streams fed to the Engine, as the engine thread would feed
// them, with the output thrown away.
//
// Searches are bounded so that every input runs in milliseconds: a searching
// "go" gets "depth 3 nodes 2000" put in front of its own parameters (the
// first occurrence of a keyword is the one read), and "go perft" is held to
// depth 3. After every command the game must still be a readable position
// with an empty line history, and every search must answer with exactly one
// "bestmove" naming a legal move, or "(none)" only when there is none or the
// node limit came before the first completed line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "board_state.h"
#include "engine.h"
#include "fen.h"
#include "move.h"
#include "move_generation.h"
#include "text.h"

namespace {

using namespace kestrune;

constexpr std::size_t MAX_LINES = 48;
constexpr std::size_t MAX_SEARCHES = 6;

class DiscardingSink final : public OutputSink {
public:
    void write_line(std::string_view text) override {
        ++lines;
        if (text.starts_with("bestmove")) {
            ++bestmoves;
            last_bestmove.assign(text);
        }
    }

    std::size_t lines = 0;
    std::size_t bestmoves = 0;
    std::string last_bestmove;
};

[[noreturn]] void fail(const std::string& what, std::string_view command) {
    std::fprintf(stderr, "engine_fuzz: %s\n  after command: %.*s\n", what.c_str(), static_cast<int>(command.size()),
                 command.data());
    std::abort();
}

enum class GoKind { NotGo, Perft, Search };

// Returns the command to dispatch in place of `line`.
std::string bound_command(std::string_view line, GoKind& kind) {
    const std::vector<std::string_view> tokens = split_tokens(line);
    kind = GoKind::NotGo;
    if (tokens.empty() || ascii_lower(tokens.front()) != "go") {
        return std::string(line);
    }
    if (const auto depth = keyword_value<std::uint8_t>(tokens, "perft")) {
        kind = GoKind::Perft;
        return *depth > 3 ? std::string("go perft 3\n") : std::string(line);
    }
    kind = GoKind::Search;
    std::string bounded = "go depth 3 nodes 2000";
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        bounded += ' ';
        bounded += tokens[i];
    }
    return bounded + "\n";
}

struct Harness {
    explicit Harness(std::unique_ptr<DiscardingSink> owned) : sink(*owned), engine(EngineOptions{}, std::move(owned)) {}
    DiscardingSink& sink;
    Engine engine;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One engine for all inputs: building or clearing its 16 MiB table would
    // cost more than most inputs. Each input starts from the start position
    // and default options; the table keeps what earlier inputs stored, as it
    // does over a long match (its moves are checked before use).
    static Harness harness(std::make_unique<DiscardingSink>());
    Engine& engine = harness.engine;
    DiscardingSink& out = harness.sink;
    engine.dispatch("position startpos\n");
    engine.dispatch("setoption name MultiPV value 1\n");

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t searches = 0;
    std::size_t begin = 0;
    for (std::size_t n = 0; n < MAX_LINES && begin < text.size(); ++n) {
        const std::size_t newline = text.find('\n', begin);
        const std::size_t end = newline == std::string_view::npos ? text.size() : newline + 1;
        const std::string_view line = text.substr(begin, end - begin);
        begin = end;

        GoKind kind;
        const std::string command = bound_command(line, kind);
        if (kind == GoKind::Search && ++searches > MAX_SEARCHES) {
            continue;
        }
        const std::size_t bestmoves_before = out.bestmoves;
        const std::size_t lines_before = out.lines;
        engine.dispatch(command);

        if (out.lines == lines_before && kind != GoKind::NotGo) fail("go wrote nothing", command);
        const BoardState& board = engine.game().board;
        if (board.history_len != 0) fail("game board keeps a line history", command);
        const FenResult reread = from_fen(to_fen(board));
        if (!reread.board) fail("game board is no longer a readable position: " + reread.error, command);

        const std::size_t answers = out.bestmoves - bestmoves_before;
        if (kind != GoKind::Search) {
            if (answers != 0) fail("bestmove outside a search", command);
            continue;
        }
        if (answers != 1) fail("search answered " + std::to_string(answers) + " bestmove lines", command);
        const std::string_view move = std::string_view(out.last_bestmove).substr(9);
        const bool has_moves = !generate_moves(board, false).empty();
        if (move == "(none)") {
            if (has_moves) fail("bestmove (none) although legal moves exist", command);
        } else if (!parse_uci(move, board).move) {
            fail("illegal bestmove " + std::string(move), command);
        }
    }
    return 0;
}
