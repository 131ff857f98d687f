// from_fen on arbitrary bytes. Whatever it accepts must survive a write/read
// round trip unchanged, and every legal move from it must make a position
// whose incrementally kept summaries match a fresh reading of its FEN.
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

void fail(const char* what, std::string_view fen) {
    std::fprintf(stderr, "fen_fuzz: %s\n  position: %.*s\n", what, static_cast<int>(fen.size()), fen.data());
    std::abort();
}

// Everything a FEN carries, plus the summaries derived from the placement.
void expect_same_position(const BoardState& a, const BoardState& b, std::string_view fen) {
    if (a.squares != b.squares || a.bitboards != b.bitboards) fail("placement differs", fen);
    if (a.side != b.side) fail("side differs", fen);
    if (a.en_passant != b.en_passant) fail("en-passant square differs", fen);
    if (a.halfmove_clock != b.halfmove_clock) fail("halfmove clock differs", fen);
    for (const Color c : {White, Black}) {
        for (const CastlingSide side : {Kingside, Queenside}) {
            if (has_castling_right(a, c, side) != has_castling_right(b, c, side)) {
                fail("castling rights differ", fen);
            }
        }
    }
    if (a.hash != b.hash) fail("hash differs", fen);
    if (a.phase != b.phase || a.mg_score != b.mg_score || a.eg_score != b.eg_score) fail("evaluation sums differ", fen);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const FenResult read = from_fen(text);
    if (!read.board) {
        if (read.error.empty()) fail("failure without a message", text);
        return 0;
    }
    const BoardState& board = *read.board;
    const std::string fen = to_fen(board);
    const FenResult again = from_fen(fen);
    if (!again.board) fail(("own FEN does not read back: " + again.error).c_str(), fen);
    expect_same_position(board, *again.board, fen);
    if (to_fen(*again.board) != fen) fail("FEN changes on a second round trip", fen);
    if (diagram(board).size() != 17 * 34) fail("diagram has the wrong size", fen);

    const MoveList moves = generate_moves(board, false);
    if (count_moves(board) != moves.size()) fail("count_moves disagrees with generate_moves", fen);
    std::size_t captures_seen = 0;
    for (const Move m : moves) {
        const ParsedMove parsed = parse_uci(to_uci(m), board);
        if (!parsed.move || *parsed.move != m) {
            // Only a later move with the same text may lose to an earlier one; generation never repeats texts.
            fail(("move does not read back from its text: " + to_uci(m)).c_str(), fen);
        }
        const BoardState child = make_move(board, m);
        if (in_check(make_null_move(child))) fail(("move leaves its own king in check: " + to_uci(m)).c_str(), fen);
        const std::string child_fen = to_fen(child);
        const FenResult fresh = from_fen(child_fen);
        if (!fresh.board) fail(("position after a legal move does not read: " + fresh.error).c_str(), child_fen);
        expect_same_position(child, *fresh.board, child_fen);
        captures_seen += m.is_capture() ? 1 : 0;
    }
    // Captures-only lists hold every capture plus the king's quiet steps.
    const MoveList tactical = generate_moves(board, true);
    std::size_t tactical_captures = 0;
    for (const Move m : tactical) {
        tactical_captures += m.is_capture() ? 1 : 0;
    }
    if (tactical_captures != captures_seen) fail("captures-only generation misses or adds captures", fen);
    return 0;
}
