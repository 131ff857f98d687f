// parse_uci against positions reached from perft-suite positions.
//
// Input: the first byte picks a start position; the rest is cut at white
// space into words. A word "~" followed by one byte plays the legal move with
// that index (so the fuzzer can walk deep into games); any other word is read
// with parse_uci and, when it names a move, that move is played.
//
// A parsed move must be a generated move whose text is the word (its first
// four characters for longer words); a word that parses to nothing must match
// no generated move, and carry the fixed messages exactly when due.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "board_state.h"
#include "fen.h"
#include "move.h"
#include "move_generation.h"

namespace {

using namespace kestrune;

// Castling both ways, en passant (pinned and not), promotions with and without
// capture, many queens, discovered checks.
constexpr std::array<std::string_view, 14> POSITIONS{
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "8/ppp3p1/8/8/3p4/5Q2/1ppp2K1/brk4n w - - 0 1",
    "8/6kR/8/8/8/bq6/1rqqqqqq/K1nqnbrq b - - 0 1",
    "8/8/8/1k6/3Pp3/8/8/4KQ2 b - d3 0 1",
    "1b1k4/8/8/1rPpK3/8/8/8/8 w - d6 0 1",
    "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1",
    "8/P1k5/K7/8/8/8/8/8 w - - 0 1",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
};

void fail(const char* what, std::string_view word, const BoardState& board) {
    const std::string fen = to_fen(board);
    std::fprintf(stderr, "uci_move_fuzz: %s\n  word: %.*s\n  position: %s\n", what, static_cast<int>(word.size()),
                 word.data(), fen.c_str());
    std::abort();
}

bool is_space(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

void check_parse(std::string_view word, const BoardState& board, const MoveList& legal, const ParsedMove& parsed) {
    const bool bad_length = word.size() < 4;
    const bool bad_promotion = word.size() == 5 && std::string_view("bnrq").find(word[4]) == std::string_view::npos;
    if (bad_length || bad_promotion) {
        const std::string expected = std::string(bad_length ? "Invalid uci move notation: "
                                                            : "Invalid promotion piece in UCI notation: ") +
                                     std::string(word);
        if (parsed.move || parsed.message != expected) fail("wrong answer to malformed text", word, board);
        return;
    }
    const std::string_view wanted = word.substr(0, word.size() == 5 ? 5 : 4);
    const Move* match = nullptr;
    for (const Move& m : legal) {
        if (uci_text(m).view() == wanted) {
            match = &m;
            break;
        }
    }
    if (!parsed.message.empty()) fail("message for well-formed text", word, board);
    if (match == nullptr && parsed.move) fail("parsed a move that is not legal", word, board);
    if (match != nullptr && (!parsed.move || *parsed.move != *match))
        fail("missed or changed a legal move", word, board);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const FenResult start = from_fen(POSITIONS[data[0] % POSITIONS.size()]);
    if (!start.board) std::abort();
    BoardState board = *start.board;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && is_space(text[i])) ++i;
        const std::size_t begin = i;
        while (i < text.size() && !is_space(text[i])) ++i;
        if (i == begin) break;
        const std::string_view word = text.substr(begin, i - begin);
        const MoveList legal = generate_moves(board, false);
        if (word.size() == 2 && word[0] == '~') {
            if (legal.empty()) return 0;
            const Move m = legal[static_cast<std::uint8_t>(word[1]) % legal.size()];
            board = make_move_unrecorded(board, m);
            continue;
        }
        const ParsedMove parsed = parse_uci(word, board);
        check_parse(word, board, legal, parsed);
        if (parsed.move) {
            board = make_move_unrecorded(board, *parsed.move);
        }
    }
    return 0;
}
