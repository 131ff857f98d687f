#include "board_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "fen.h"
#include "move.h"
#include "test_support.h"
#include "move_generation.h"
#include "evaluation.h"

namespace kestrune {
namespace {

using testing::case_name;
using testing::PrintTo;

// Placement from eight rank texts, rank 8 first, one letter per square ('.' empty).
std::array<Piece, 64> placement(const std::array<std::string_view, 8>& ranks) {
    std::array<Piece, 64> squares{};
    squares.fill(EMPTY);
    for (int row = 0; row < 8; ++row) {
        for (int file = 0; file < 8; ++file) {
            const char c = ranks[static_cast<std::size_t>(row)][static_cast<std::size_t>(file)];
            if (c != '.') {
                squares[make_square(file, 7 - row)] = static_cast<Piece>(PIECE_LETTERS.find(c));
            }
        }
    }
    return squares;
}

const std::array<Piece, 64> START_PLACEMENT = placement({
    "rnbqkbnr",
    "pppppppp",
    "........",
    "........",
    "........",
    "........",
    "PPPPPPPP",
    "RNBQKBNR",
});

BoardState start_board() { return from_parts(START_PLACEMENT, White, 0, 0, 0); }

BoardState read(std::string_view fen) {
    FenResult result = from_fen(fen);
    if (!result.board) {
        throw std::runtime_error(std::string(fen) + ": " + result.error);
    }
    return *result.board;
}

// The move as the generator gives it for this board, so every case is a legal input.
Move legal(const BoardState& board, std::uint16_t code) {
    const MoveList moves = generate_moves(board, false);
    if (std::find(moves.begin(), moves.end(), Move(code)) == moves.end()) {
        throw std::runtime_error(to_fen(board) + ": move " + to_uci(Move(code)) + " is not generated");
    }
    return Move(code);
}

// The summaries a fresh build of the same placement, side and en-passant square gives.
void expect_matches_rebuild(const BoardState& b) {
    const BoardState rebuilt = from_parts(b.squares, b.side, b.castle_touched, b.en_passant, b.halfmove_clock);
    EXPECT_EQ(b.hash, rebuilt.hash);
    EXPECT_EQ(b.phase, rebuilt.phase);
    EXPECT_EQ(b.mg_score, rebuilt.mg_score);
    EXPECT_EQ(b.eg_score, rebuilt.eg_score);
    EXPECT_EQ(b.bitboards, rebuilt.bitboards);
}

void expect_same_except_history(const BoardState& a, const BoardState& b) {
    EXPECT_EQ(a.bitboards, b.bitboards);
    EXPECT_EQ(a.squares, b.squares);
    EXPECT_EQ(a.hash, b.hash);
    EXPECT_EQ(a.plies, b.plies);
    EXPECT_EQ(a.halfmove_clock, b.halfmove_clock);
    EXPECT_EQ(a.castle_touched, b.castle_touched);
    EXPECT_EQ(a.en_passant, b.en_passant);
    EXPECT_EQ(a.phase, b.phase);
    EXPECT_EQ(a.mg_score, b.mg_score);
    EXPECT_EQ(a.eg_score, b.eg_score);
    EXPECT_EQ(a.side, b.side);
}

using Bytes = std::array<unsigned char, sizeof(BoardState)>;
Bytes bytes_of(const BoardState& b) {
    Bytes bytes;
    std::memcpy(bytes.data(), &b, sizeof b);
    return bytes;
}

TEST(ZobristKeys, CheckValues) {
    EXPECT_EQ(ZOBRIST.piece_keys[0][0], 0x058D204FF6919C91ULL);
    EXPECT_EQ(ZOBRIST.piece_keys[0][1], 0x838BB150EBE0245DULL);
    EXPECT_EQ(ZOBRIST.en_passant_keys[0], 0x13B45F89E08894DDULL);
    EXPECT_EQ(ZOBRIST.side_key, 0xEDA841386E3DA839ULL);
}

TEST(PieceSquareTables, PhaseWeights) { EXPECT_EQ(PHASE_WEIGHTS, (std::array<std::int32_t, 6>{0, 1, 1, 2, 4, 0})); }

struct TableEntry {
    Piece piece;
    Square square;
    std::int16_t mg;
    std::int16_t eg;
};

// Typed in by hand from the grids; black entries are the white value of the
// rank-mirrored square, negated.
constexpr TableEntry TABLE_ENTRIES[] = {
    {0, 0, 52, 68},          // white pawn a1
    {0, 12, 59, 93},         // white pawn e2
    {0, 47, 99, 56},         // white pawn h6: 56, not 156
    {0, 56, 63, 60},         // white pawn a8
    {1, 0, 286, 250},        // white knight a1
    {2, 9, 364, 302},        // white bishop b2
    {3, 63, 491, 522},       // white rook h8
    {4, 3, 1028, 997},       // white queen d1
    {5, 6, 1525, 1449},      // white king g1
    {8, 23, -99, -56},       // black pawn h3 (white h6)
    {9, 57, -332, -235},     // black knight b8 (white b1)
    {12, 35, -1017, -1032},  // black queen d5 (white d4)
    {13, 62, -1525, -1449},  // black king g8 (white g1)
};

TEST(PieceSquareTables, SpotValues) {
    for (const auto& e : TABLE_ENTRIES) {
        EXPECT_EQ(MG_TABLE[e.piece][e.square], e.mg) << "piece " << int{e.piece} << " square " << int{e.square};
        EXPECT_EQ(EG_TABLE[e.piece][e.square], e.eg) << "piece " << int{e.piece} << " square " << int{e.square};
    }
}

TEST(PieceSquareTables, UnusedCodesAreZero) {
    for (const std::size_t code : {6U, 7U}) {
        EXPECT_TRUE(std::all_of(MG_TABLE[code].begin(), MG_TABLE[code].end(), [](auto v) { return v == 0; }));
        EXPECT_TRUE(std::all_of(EG_TABLE[code].begin(), EG_TABLE[code].end(), [](auto v) { return v == 0; }));
    }
}

TEST(FromParts, StartPosition) {
    const BoardState b = start_board();
    EXPECT_EQ(b.hash, 0x999E5A9394BD2A84ULL);
    EXPECT_EQ(b.mg_score, 0);
    EXPECT_EQ(b.eg_score, 0);
    EXPECT_EQ(b.phase, 0);
    EXPECT_EQ(b.history_len, 0U);
    EXPECT_EQ(b.plies, 0U);
    EXPECT_EQ(b.bitboards[make_piece(White, Pawn)], 0x000000000000FF00ULL);
    EXPECT_EQ(b.bitboards[make_piece(Black, Pawn)], 0x00FF000000000000ULL);
    EXPECT_EQ(b.bitboards[make_piece(White, King)], Bitboard{1} << E1);
    EXPECT_EQ(b.bitboards[make_piece(Black, Rook)], (Bitboard{1} << A8) | (Bitboard{1} << H8));
    for (const std::size_t unused : {6U, 7U, 14U}) {
        EXPECT_EQ(b.bitboards[unused], 0U);
    }
    EXPECT_EQ(piece_at(b, E1), make_piece(White, King));
    EXPECT_EQ(piece_at(b, D8), make_piece(Black, Queen));
    EXPECT_EQ(piece_at(b, 28), EMPTY);
}

TEST(FromParts, LoneQueenOnKingsOnlyBoard) {
    auto squares = placement(
        {"....k...", "........", "........", "........", "........", "........", "........", "....K..."});
    const BoardState kings = from_parts(squares, White, 0, 0, 0);
    EXPECT_EQ(kings.phase, 24);
    EXPECT_EQ(kings.mg_score, 0);
    EXPECT_EQ(kings.eg_score, 0);
    squares[D1] = make_piece(White, Queen);
    const BoardState queen = from_parts(squares, White, 0, 0, 0);
    EXPECT_EQ(queen.phase, 20);
    EXPECT_EQ(queen.mg_score, 1028);
    EXPECT_EQ(queen.eg_score, 997);
}

TEST(FromParts, SideAndEnPassantEnterTheKeyCastlingAndClockDoNot) {
    const BoardState base = start_board();
    EXPECT_EQ(from_parts(START_PLACEMENT, White, 0x8100000000000081ULL, 0, 77).hash, base.hash);
    EXPECT_EQ(from_parts(START_PLACEMENT, Black, 0, 0, 0).hash, base.hash ^ ZOBRIST.side_key);
    // a3 and a6 share file a.
    EXPECT_EQ(from_parts(START_PLACEMENT, White, 0, Bitboard{1} << 16, 0).hash, base.hash ^ ZOBRIST.en_passant_keys[0]);
    EXPECT_EQ(from_parts(START_PLACEMENT, White, 0, Bitboard{1} << 47, 0).hash, base.hash ^ ZOBRIST.en_passant_keys[7]);
}

TEST(FromParts, PieceSquareSumsWrapInSixteenBits) {
    std::array<Piece, 64> queens{};
    queens.fill(make_piece(White, Queen));
    const BoardState b = from_parts(queens, White, 0, 0, 0);
    // The queen grids add up to 65174 and 64669.
    EXPECT_EQ(b.mg_score, -362);
    EXPECT_EQ(b.eg_score, -867);
    EXPECT_EQ(b.phase, 24 - 64 * 4);
}

TEST(Primitives, KeepSummariesInStep) {
    const auto kings = placement(
        {"....k...", "........", "........", "........", "........", "........", "........", "....K..."});
    const BoardState base = from_parts(kings, White, 0, 0, 0);

    BoardState b = base;
    put_piece(b, make_piece(White, Queen), D1);
    EXPECT_EQ(b.phase, 20);
    EXPECT_EQ(b.mg_score, 1028);
    EXPECT_EQ(b.eg_score, 997);
    EXPECT_EQ(b.hash, base.hash ^ ZOBRIST.piece_keys[4][D1]);
    expect_matches_rebuild(b);

    move_piece(b, D1, 39);  // h5
    EXPECT_EQ(b.phase, 20);
    EXPECT_EQ(piece_at(b, D1), EMPTY);
    EXPECT_EQ(piece_at(b, 39), make_piece(White, Queen));
    expect_matches_rebuild(b);

    remove_piece(b, 39);
    EXPECT_EQ(bytes_of(b), bytes_of(base));
}

TEST(MakeMove, DoublePushFromStart) {
    const BoardState start = start_board();
    const BoardState b = make_move(start, legal(start, 0x131C));
    EXPECT_EQ(b.hash, 0xF1D4BAAAB43F51B7ULL);
    EXPECT_EQ(b.en_passant, Bitboard{1} << 20);  // e3
    EXPECT_EQ(b.halfmove_clock, 0U);
    EXPECT_EQ(b.plies, 1U);
    EXPECT_EQ(b.history_len, 1U);
    EXPECT_EQ(b.history[0], Move(0x131C));
    EXPECT_EQ(b.side, Black);
    EXPECT_EQ(b.hash, from_parts(b.squares, Black, 0, Bitboard{1} << 20, 0).hash);
}

struct MakeCase {
    const char* name;
    const char* fen;
    std::uint16_t move;
    const char* after;
};

const MakeCase MAKE_CASES[] = {
    {"QuietKnight", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0x0195,
     "rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R b KQkq - 1 1"},
    {"QuietClearsEnPassant", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 0x0E6A,
     "r1bqkbnr/pppppppp/2n5/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 1 1"},
    {"WhiteDoublePush", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0x131C,
     "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"},
    {"BlackDoublePushReplacesEnPassant", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 0x1CE3,
     "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 1"},
    {"WhiteCastleKingside", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", 0x2106, "r3k2r/8/8/8/8/8/8/R4RK1 b kq - 1 1"},
    {"WhiteCastleQueenside", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", 0x3102, "r3k2r/8/8/8/8/8/8/2KR3R b kq - 1 1"},
    {"BlackCastleKingside", "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", 0x2F3E, "r4rk1/8/8/8/8/8/8/R3K2R w KQ - 1 1"},
    {"BlackCastleQueenside", "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", 0x3F3A, "2kr3r/8/8/8/8/8/8/R3K2R w KQ - 1 1"},
    {"PawnCapture", "4k3/8/8/3p4/4P3/8/8/4K3 w - - 5 1", 0x4723, "4k3/8/8/3P4/8/8/8/4K3 b - - 0 1"},
    {"QueenCapturesRook", "3qk3/8/8/8/8/8/8/3RK3 b - - 9 1", 0x4EC3, "4k3/8/8/8/8/8/8/3qK3 w - - 0 1"},
    {"WhiteEnPassant", "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", 0x592B, "4k3/8/3P4/8/8/8/8/4K3 b - - 0 1"},
    {"BlackEnPassant", "4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1", 0x5713, "4k3/8/8/8/8/3p4/8/4K3 w - - 0 1"},
    {"PromoteKnight", "1n1r3k/P3P3/8/8/8/8/8/4K3 w - - 3 1", 0x8D3C, "1n1rN2k/P7/8/8/8/8/8/4K3 b - - 0 1"},
    {"PromoteBishop", "1n1r3k/P3P3/8/8/8/8/8/4K3 w - - 3 1", 0x9D3C, "1n1rB2k/P7/8/8/8/8/8/4K3 b - - 0 1"},
    {"PromoteRook", "1n1r3k/P3P3/8/8/8/8/8/4K3 w - - 3 1", 0xAD3C, "1n1rR2k/P7/8/8/8/8/8/4K3 b - - 0 1"},
    {"PromoteQueen", "1n1r3k/P3P3/8/8/8/8/8/4K3 w - - 3 1", 0xBD3C, "1n1rQ2k/P7/8/8/8/8/8/4K3 b - - 0 1"},
    {"CapturePromoteKnightA7B8", "1n1r3k/P3P3/8/8/8/8/8/4K3 w - - 3 1", 0xCC39, "1N1r3k/4P3/8/8/8/8/8/4K3 b - - 0 1"},
    {"CapturePromoteKnight", "1n1r3k/P3P3/8/8/8/8/8/4K3 w - - 3 1", 0xCD3B, "1n1N3k/P7/8/8/8/8/8/4K3 b - - 0 1"},
    {"CapturePromoteBishop", "1n1r3k/P3P3/8/8/8/8/8/4K3 w - - 3 1", 0xDD3B, "1n1B3k/P7/8/8/8/8/8/4K3 b - - 0 1"},
    {"CapturePromoteRook", "1n1r3k/P3P3/8/8/8/8/8/4K3 w - - 3 1", 0xED3B, "1n1R3k/P7/8/8/8/8/8/4K3 b - - 0 1"},
    {"CapturePromoteQueen", "1n1r3k/P3P3/8/8/8/8/8/4K3 w - - 3 1", 0xFD3B, "1n1Q3k/P7/8/8/8/8/8/4K3 b - - 0 1"},
    {"CapturePromoteQueenOnA8", "r3k3/1P6/8/8/8/8/8/4K3 w q - 0 1", 0xFC78, "Q3k3/8/8/8/8/8/8/4K3 b - - 0 1"},
    {"BlackPromoteQueen", "4k3/8/8/8/8/8/3p4/2R4K b - - 4 1", 0xB2C3, "4k3/8/8/8/8/8/8/2Rq3K w - - 0 1"},
    {"BlackCapturePromoteKnight", "4k3/8/8/8/8/8/3p4/2R4K b - - 4 1", 0xC2C2, "4k3/8/8/8/8/8/8/2n4K w - - 0 1"},
};

class MakeMoveKinds : public ::testing::TestWithParam<MakeCase> {};

TEST_P(MakeMoveKinds, ResultMatchesFreshBuildAndInputIsUntouched) {
    const MakeCase& c = GetParam();
    const BoardState board = read(c.fen);
    const Move m = legal(board, c.move);
    const Bytes before = bytes_of(board);

    const BoardState recorded = make_move(board, m);
    const BoardState unrecorded = make_move_unrecorded(board, m);
    EXPECT_EQ(bytes_of(board), before);

    EXPECT_EQ(to_fen(recorded), c.after);
    EXPECT_EQ(recorded.plies, 1U);
    expect_matches_rebuild(recorded);

    EXPECT_EQ(recorded.history_len, 1U);
    EXPECT_EQ(recorded.history[0], m);
    EXPECT_EQ(unrecorded.history_len, 0U);
    expect_same_except_history(recorded, unrecorded);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, MakeMoveKinds, ::testing::ValuesIn(MAKE_CASES), case_name);

// Pseudo-random walks through positions rich in castling, en passant and
// promotions: every board along the way must agree with a fresh build.
TEST(MakeMove, WalksKeepSummariesExact) {
    constexpr std::string_view STARTS[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "4k3/1p1p1p1p/8/P1P1P1P1/1p1p1p1p/8/P1P1P1P1/4K3 w - - 0 1",
    };
    std::uint32_t seed = 12345;
    for (const std::string_view fen : STARTS) {
        BoardState board = read(fen);
        for (int ply = 0; ply < 150; ++ply) {
            const MoveList moves = generate_moves(board, false);
            if (moves.empty()) {
                board = read(fen);
                continue;
            }
            seed = seed * 1664525U + 1013904223U;
            const Move m = moves[(seed >> 8) % moves.size()];
            const BoardState next = make_move_unrecorded(board, m);
            SCOPED_TRACE(to_fen(board) + " " + to_uci(m));
            expect_matches_rebuild(next);
            expect_same_except_history(make_move(board, m), next);
            board = next;
        }
    }
}

// The search reads a child's evaluation terms and whether it is in check
// before it makes the move: they must be what make_move leaves, for every
// kind of move (checks by castling, en passant and discovery too), two plies deep
// from positions rich in castling, en passant and promotions.
TEST(ScorePartsAfterAndGivesCheck, MatchMakeMove) {
    const auto expect_parts_match = [](const BoardState& board, Move m) {
        const ScoreParts parts = score_parts_after(board, m);
        const BoardState next = make_move_unrecorded(board, m);
        SCOPED_TRACE(to_fen(board) + " " + to_uci(m));
        EXPECT_EQ(parts.phase, next.phase);
        EXPECT_EQ(parts.mg_score, next.mg_score);
        EXPECT_EQ(parts.eg_score, next.eg_score);
        EXPECT_EQ(leaves_opponent_in_check(board, m), in_check(next));
    };
    for (const MakeCase& c : MAKE_CASES) {
        const BoardState board = read(c.fen);
        expect_parts_match(board, legal(board, c.move));
    }
    constexpr std::string_view STARTS[] = {
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
        "5k2/8/8/8/8/8/8/4K2R w K - 0 1",
        "8/8/8/K2pP2k/8/8/8/8 w - d6 0 1",
        "8/8/8/1k6/8/8/3pK3/2B1R3 b - - 0 1",
    };
    for (const std::string_view fen : STARTS) {
        const BoardState board = read(fen);
        for (const Move m : generate_moves(board, false)) {
            expect_parts_match(board, m);
            const BoardState child = make_move_unrecorded(board, m);
            for (const Move reply : generate_moves(child, false)) {
                expect_parts_match(child, reply);
            }
        }
    }
}

TEST(MakeMove, FullHistoryDropsTheMove) {
    // Knights out and back: four moves that return to the start.
    constexpr std::uint16_t CYCLE[] = {0x0195, 0x0FAD, 0x0546, 0x0B7E};  // g1f3 g8f6 f3g1 f6g8
    BoardState b = start_board();
    for (int i = 0; i < HISTORY_CAPACITY; ++i) {
        b = make_move(b, legal(b, CYCLE[i % 4]));
    }
    ASSERT_EQ(b.history_len, std::uint64_t{HISTORY_CAPACITY});
    EXPECT_EQ(b.history[HISTORY_CAPACITY - 1], Move(CYCLE[3]));

    const BoardState next = make_move(b, legal(b, CYCLE[0]));
    EXPECT_EQ(next.history_len, std::uint64_t{HISTORY_CAPACITY});
    EXPECT_EQ(next.history, b.history);
    EXPECT_EQ(next.plies, std::uint64_t{HISTORY_CAPACITY + 1});
    EXPECT_EQ(piece_at(next, 21), make_piece(White, Knight));
    expect_matches_rebuild(next);
}

std::string rights(const BoardState& b) {
    std::string text;
    if (has_castling_right(b, White, Kingside)) text += 'K';
    if (has_castling_right(b, White, Queenside)) text += 'Q';
    if (has_castling_right(b, Black, Kingside)) text += 'k';
    if (has_castling_right(b, Black, Queenside)) text += 'q';
    return text;
}

struct RightsCase {
    const char* name;
    const char* fen;
    std::array<std::uint16_t, 3> moves;  // zero ends the list
    const char* rights_after;
};

const RightsCase RIGHTS_CASES[] = {
    {"KingStepEndsBothRights", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {0x010C}, "kq"},
    {"CastlingEndsBothRights", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {0x2106}, "kq"},
    // h1h2 a8a7 h2h1
    {"RookReturningHomeStaysWithoutRight", "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", {0x01CF, 0x0E30, 0x03C7}, "Qk"},
    {"CaptureOnA8EndsQueensideRight", "r3k2r/8/8/8/8/8/6B1/R3K2R w KQkq - 0 1", {0x43B8}, "KQk"},
    {"CaptureOnH1EndsKingsideRight", "r3k2r/8/8/8/8/8/6b1/R3K2R b KQkq - 0 1", {0x4387}, "Qkq"},
};

class CastlingRights : public ::testing::TestWithParam<RightsCase> {};

TEST_P(CastlingRights, LostWhenKingOrRookSquareIsTouched) {
    const RightsCase& c = GetParam();
    BoardState b = read(c.fen);
    ASSERT_EQ(rights(b), "KQkq");
    for (const std::uint16_t code : c.moves) {
        if (code != 0) {
            b = make_move(b, legal(b, code));
        }
    }
    EXPECT_EQ(rights(b), c.rights_after);
}

INSTANTIATE_TEST_SUITE_P(Moves, CastlingRights, ::testing::ValuesIn(RIGHTS_CASES), case_name);

TEST(CastlingRightsTouched, CastlingAddsOnlyTheKingSquares) {
    const BoardState board = read("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    const BoardState b = make_move(board, legal(board, 0x2106));
    EXPECT_EQ(b.castle_touched, board.castle_touched | (Bitboard{1} << E1) | (Bitboard{1} << G1));
    EXPECT_EQ(piece_at(b, G1), make_piece(White, King));
    EXPECT_EQ(piece_at(b, F1), make_piece(White, Rook));
    EXPECT_EQ(piece_at(b, E1), EMPTY);
    EXPECT_EQ(piece_at(b, H1), EMPTY);
}

TEST(NullMove, ClearsEnPassantAndFlipsSide) {
    const BoardState start = start_board();
    const BoardState board = make_move(start, legal(start, 0x131C));
    const Bytes before = bytes_of(board);
    const BoardState b = make_null_move(board);
    EXPECT_EQ(bytes_of(board), before);

    EXPECT_EQ(b.en_passant, 0U);
    EXPECT_EQ(b.hash, board.hash ^ ZOBRIST.en_passant_keys[4] ^ ZOBRIST.side_key);
    EXPECT_EQ(b.side, White);
    EXPECT_EQ(b.plies, 1U);
    EXPECT_EQ(b.halfmove_clock, 1U);
    EXPECT_EQ(b.history_len, 1U);
    EXPECT_EQ(b.history[0], Move(0x131C));
    EXPECT_EQ(b.squares, board.squares);
    EXPECT_EQ(b.castle_touched, board.castle_touched);
    expect_matches_rebuild(b);
}

TEST(NullMove, TwiceRestoresTheKey) {
    const BoardState start = start_board();
    const BoardState once = make_null_move(start);
    EXPECT_EQ(once.hash, start.hash ^ ZOBRIST.side_key);
    const BoardState twice = make_null_move(once);
    EXPECT_EQ(twice.hash, start.hash);
    EXPECT_EQ(twice.side, White);
    EXPECT_EQ(twice.halfmove_clock, 2U);
    EXPECT_EQ(twice.plies, 0U);
}

}  // namespace
}  // namespace kestrune
