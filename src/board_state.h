// The position record with copy-make, its incrementally kept hash key,
// piece-square sums and phase, the constant tables behind them, and the
// legal move generator.
#pragma once

#include <array>
#include <cstdint>
#include <type_traits>

#include "bitboard.h"
#include "move.h"
#include "square.h"

namespace kestrune {

inline constexpr int HISTORY_CAPACITY = 40;

// A position, copied whole for every move and never undone.
struct BoardState {
    std::uint64_t history_len;
    std::array<Move, HISTORY_CAPACITY> history;  // moves made with make_move, oldest first
    std::array<Bitboard, 15> bitboards;          // per piece code; 6, 7 and EMPTY stay empty
    std::array<Piece, 64> squares;
    std::uint64_t hash;
    std::uint64_t plies;
    std::uint64_t halfmove_clock;
    // Every square a move has left or entered, plus the rook corner of each
    // castling right absent at set-up: a right lives while its king square
    // and rook corner are both untouched.
    Bitboard castle_touched;
    Bitboard en_passant;    // empty, or the square a double-stepping pawn passed over
    std::int32_t phase;     // 24 minus the phase weights of all pieces
    std::int16_t mg_score;  // White minus Black, 16-bit wrapping
    std::int16_t eg_score;
    Color side;

    Bitboard pieces(Color c, PieceKind k) const { return bitboards[make_piece(c, k)]; }
    Bitboard pieces(Color c) const {
        const auto* b = &bitboards[static_cast<std::size_t>(c) * 8];
        return b[0] | b[1] | b[2] | b[3] | b[4] | b[5];
    }
    Bitboard occupied() const { return pieces(White) | pieces(Black); }
    Square king_square(Color c) const { return lowest_square(pieces(c, King)); }
};

static_assert(std::is_trivially_copyable_v<BoardState>);
static_assert(sizeof(BoardState) <= 328, "the board is copied at every node: keep it small");

BoardState from_parts(const std::array<Piece, 64>& placement, Color side, Bitboard castle_touched, Bitboard en_passant,
                      std::uint64_t halfmove_clock);

inline Piece piece_at(const BoardState& board, Square s) { return board.squares[s]; }

// ---------------------------------------------------------------- constant tables

inline constexpr std::array<std::int32_t, 6> PHASE_WEIGHTS{0, 1, 1, 2, 4, 0};
inline constexpr std::int32_t PHASE_TOTAL = 24;

// Values include each piece's material worth, in centipawns. The grids below
// are seen from White's side: rank 8 first, file a on the left.
using PieceSquareGrid = std::array<std::int16_t, 64>;
using PieceSquareTable = std::array<std::array<std::int16_t, 64>, 14>;

namespace detail {
// One grid row per board rank, eight columns.
// clang-format off
inline constexpr std::array<PieceSquareGrid, 6> MG_GRIDS{{
    // pawn, rank 8 first
    {{
           63,    63,    63,    63,    63,    63,    63,    63,
          161,   161,   149,   149,   147,   153,   147,   147,
          116,   111,   119,   125,   129,   131,   113,    99,
           96,   106,   108,   121,   121,   115,   103,    79,
           83,    83,    92,   110,   113,   108,    87,    80,
           85,    79,    95,    83,    97,   103,   114,    97,
           73,    82,    72,    53,    59,   108,   111,    81,
           52,    52,    52,    52,    52,    52,    52,    52,
    }},
    // knight, rank 8 first
    {{
          301,   313,   323,   333,   349,   321,   319,   301,
          312,   332,   386,   380,   364,   386,   355,   331,
          326,   384,   392,   401,   401,   396,   386,   356,
          347,   376,   388,   413,   405,   405,   381,   357,
          339,   363,   380,   382,   396,   387,   381,   351,
          331,   354,   373,   375,   385,   381,   382,   343,
          320,   322,   349,   355,   360,   377,   347,   349,
          286,   332,   313,   327,   343,   333,   339,   319,
    }},
    // bishop, rank 8 first
    {{
          327,   345,   337,   341,   343,   339,   349,   327,
          337,   347,   349,   347,   365,   367,   353,   337,
          337,   371,   362,   375,   373,   366,   367,   351,
          352,   353,   372,   383,   383,   378,   362,   353,
          342,   364,   368,   384,   386,   366,   362,   356,
          353,   363,   367,   369,   369,   368,   372,   362,
          361,   364,   373,   354,   362,   372,   386,   350,
          323,   353,   336,   338,   344,   341,   335,   327,
    }},
    // rook, rank 8 first
    {{
          498,   496,   491,   499,   499,   497,   489,   491,
          493,   496,   502,   502,   506,   512,   492,   503,
          473,   484,   485,   487,   481,   494,   496,   479,
          463,   464,   482,   482,   483,   489,   469,   472,
          449,   458,   462,   467,   472,   466,   480,   459,
          448,   461,   459,   455,   464,   470,   470,   453,
          448,   459,   453,   455,   461,   481,   461,   448,
          469,   465,   471,   479,   481,   485,   455,   481,
    }},
    // queen, rank 8 first
    {{
          990,  1018,  1022,  1023,  1027,  1022,  1022,  1012,
         1000,  1010,  1020,  1030,  1026,  1036,  1036,  1026,
         1000,  1010,  1025,  1033,  1041,  1041,  1036,  1026,
         1005,  1010,  1015,  1019,  1039,  1039,  1032,  1025,
         1010,  1010,  1015,  1017,  1029,  1025,  1026,  1015,
         1000,  1017,  1017,  1019,  1019,  1021,  1028,  1018,
         1000,  1010,  1030,  1020,  1028,  1026,  1010,  1012,
         1003,  1001,  1009,  1028,  1005,  1000,  1000,   990,
    }},
    // king, rank 8 first
    {{
         1455,  1459,  1459,  1439,  1433,  1451,  1453,  1463,
         1473,  1467,  1465,  1451,  1449,  1461,  1461,  1467,
         1477,  1467,  1461,  1433,  1435,  1465,  1467,  1477,
         1469,  1467,  1453,  1431,  1431,  1457,  1469,  1473,
         1465,  1469,  1449,  1439,  1439,  1451,  1465,  1461,
         1483,  1471,  1461,  1459,  1459,  1459,  1487,  1477,
         1506,  1515,  1481,  1479,  1479,  1479,  1521,  1517,
         1505,  1519,  1498,  1484,  1514,  1491,  1525,  1519,
    }},
}};

inline constexpr std::array<PieceSquareGrid, 6> EG_GRIDS{{
    // pawn, rank 8 first
    {{
           60,    60,    60,    60,    60,    60,    60,    60,
          230,   230,   210,   206,   206,   206,   212,   230,
          165,   165,   157,   147,   137,   134,   156,    56,
          108,    98,    90,    79,    79,    83,    95,    95,
           86,    82,    74,    74,    74,    70,    76,    76,
           76,    78,    70,    82,    78,    72,    63,    65,
           89,    77,    88,    93,    93,    82,    72,    70,
           68,    68,    68,    68,    68,    68,    68,    68,
    }},
    // knight, rank 8 first
    {{
          224,   240,   268,   250,   264,   244,   234,   224,
          246,   266,   276,   284,   276,   276,   260,   236,
          252,   278,   298,   299,   293,   292,   276,   248,
          265,   288,   300,   305,   305,   306,   291,   272,
          265,   279,   300,   307,   299,   299,   290,   263,
          259,   282,   283,   298,   294,   282,   275,   261,
          241,   257,   277,   280,   284,   269,   265,   237,
          250,   235,   255,   261,   259,   257,   237,   223,
    }},
    // bishop, rank 8 first
    {{
          280,   302,   294,   302,   304,   300,   302,   280,
          304,   300,   320,   302,   314,   314,   300,   292,
          312,   318,   305,   322,   316,   307,   322,   314,
          312,   329,   327,   332,   332,   329,   321,   312,
          308,   322,   332,   334,   326,   328,   314,   304,
          305,   319,   311,   331,   335,   307,   316,   306,
          293,   302,   311,   321,   323,   311,   302,   289,
          283,   306,   298,   310,   306,   301,   297,   277,
    }},
    // rook, rank 8 first
    {{
          526,   525,   523,   518,   521,   523,   523,   522,
          532,   531,   527,   524,   517,   532,   532,   527,
          527,   525,   521,   519,   512,   524,   528,   520,
          523,   522,   523,   514,   514,   525,   519,   524,
          522,   521,   521,   515,   510,   516,   514,   513,
          513,   515,   509,   511,   507,   512,   512,   511,
          513,   512,   514,   516,   510,   508,   510,   515,
          519,   525,   519,   514,   510,   521,   521,   507,
    }},
    // queen, rank 8 first
    {{
          988,  1010,  1012,  1017,  1017,  1012,  1012,  1002,
          994,  1004,  1020,  1022,  1022,  1022,  1022,  1012,
          996,  1004,  1013,  1027,  1027,  1027,  1022,  1012,
         1003,  1008,  1017,  1027,  1029,  1027,  1022,  1017,
         1003,  1015,  1018,  1032,  1030,  1030,  1025,  1017,
         1000,  1005,  1019,  1012,  1013,  1024,  1017,  1007,
          990,  1000,  1000,  1004,  1004,  1000,  1000,   996,
          995,   994,   995,   997,  1001,   990,   990,   980,
    }},
    // king, rank 8 first
    {{
         1427,  1461,  1469,  1470,  1472,  1482,  1472,  1462,
         1479,  1493,  1497,  1505,  1501,  1503,  1493,  1483,
         1483,  1503,  1511,  1505,  1505,  1529,  1503,  1483,
         1471,  1499,  1509,  1515,  1515,  1515,  1503,  1479,
         1456,  1480,  1506,  1514,  1514,  1507,  1493,  1467,
         1458,  1484,  1496,  1504,  1506,  1502,  1490,  1470,
         1449,  1466,  1488,  1486,  1490,  1490,  1472,  1456,
         1429,  1449,  1459,  1458,  1457,  1461,  1449,  1423,
    }},
}};
// clang-format on

// White rows come from the grids; a black piece scores the negated value of
// the white piece on the rank-mirrored square; codes 6 and 7 are zero.
constexpr PieceSquareTable build_table(const std::array<PieceSquareGrid, 6>& grids) {
    PieceSquareTable table{};
    for (std::size_t kind = 0; kind < 6; ++kind) {
        for (int s = 0; s < 64; ++s) {
            const int grid_row = 7 - rank_of(static_cast<Square>(s));
            const auto white = grids[kind][static_cast<std::size_t>(grid_row * 8 + file_of(static_cast<Square>(s)))];
            table[kind][static_cast<std::size_t>(s)] = white;
            table[kind + 8][static_cast<std::size_t>(mirror(static_cast<Square>(s)))] = static_cast<std::int16_t>(
                -white);
        }
    }
    return table;
}
}  // namespace detail

inline constexpr PieceSquareTable MG_TABLE = detail::build_table(detail::MG_GRIDS);
inline constexpr PieceSquareTable EG_TABLE = detail::build_table(detail::EG_GRIDS);

// 905 keys: 14 x 64 piece keys, 8 en-passant file keys, the side key.
struct ZobristKeys {
    std::array<std::array<std::uint64_t, 64>, 14> piece_keys;
    std::array<std::uint64_t, 8> en_passant_keys;
    std::uint64_t side_key;
};

namespace detail {
// PCG32 (XSH RR) from a fixed state, so every run has the same keys; each key
// is two outputs, the first one the high half.
constexpr ZobristKeys build_keys() {
    std::uint64_t state = 0xA84F2F9EE9A2F961ULL;
    auto next_output = [&state]() {
        const auto x = static_cast<std::uint32_t>(((state >> 18) ^ state) >> 27);
        // Rotated by hand: std::rotr takes an int count in libstdc++ and an
        // unsigned one in libc++, so either cast warns in one of them.
        const auto r = static_cast<std::uint32_t>(state >> 59);
        state = state * 0x5851F42D4C957F2DULL + 0x14057B7EF767814FULL;
        return static_cast<std::uint32_t>((x >> r) | (x << ((32U - r) & 31U)));
    };
    auto next_key = [&next_output]() {
        const std::uint64_t high = next_output();
        const std::uint64_t low = next_output();
        return (high << 32) | low;
    };
    ZobristKeys keys{};
    for (auto& row : keys.piece_keys) {
        for (auto& key : row) {
            key = next_key();
        }
    }
    for (auto& key : keys.en_passant_keys) {
        key = next_key();
    }
    keys.side_key = next_key();
    return keys;
}
}  // namespace detail

inline constexpr ZobristKeys ZOBRIST = detail::build_keys();

// In-place primitives, each keeping placement, hash, phase and sums in step.
namespace detail {
inline std::int16_t wrapping_add(std::int16_t a, int b) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(a + b));
}
}  // namespace detail

// s must be empty.
KESTRUNE_FORCE_INLINE void put_piece(BoardState& board, Piece p, Square s) {
    board.phase -= PHASE_WEIGHTS[static_cast<std::size_t>(kind_of(p))];
    board.mg_score = detail::wrapping_add(board.mg_score, MG_TABLE[p][s]);
    board.eg_score = detail::wrapping_add(board.eg_score, EG_TABLE[p][s]);
    board.squares[s] = p;
    board.bitboards[p] |= square_bb(s);
    board.hash ^= ZOBRIST.piece_keys[p][s];
}

// s must hold a piece.
KESTRUNE_FORCE_INLINE void remove_piece(BoardState& board, Square s) {
    const Piece p = board.squares[s];
    board.phase += PHASE_WEIGHTS[static_cast<std::size_t>(kind_of(p))];
    board.mg_score = detail::wrapping_add(board.mg_score, -MG_TABLE[p][s]);
    board.eg_score = detail::wrapping_add(board.eg_score, -EG_TABLE[p][s]);
    board.hash ^= ZOBRIST.piece_keys[p][s];
    board.bitboards[p] &= ~square_bb(s);
    board.squares[s] = EMPTY;
}

// from holds a piece, to is empty: a capture removes its victim first.
KESTRUNE_FORCE_INLINE void move_piece(BoardState& board, Square from, Square to) {
    const Piece p = board.squares[from];
    board.mg_score = detail::wrapping_add(board.mg_score, MG_TABLE[p][to] - MG_TABLE[p][from]);
    board.eg_score = detail::wrapping_add(board.eg_score, EG_TABLE[p][to] - EG_TABLE[p][from]);
    board.hash ^= ZOBRIST.piece_keys[p][from] ^ ZOBRIST.piece_keys[p][to];
    board.bitboards[p] ^= square_bb(from) | square_bb(to);
    board.squares[to] = p;
    board.squares[from] = EMPTY;
}

// The phase and piece-square sums a move leaves, without making it: what the
// evaluation of the child reads, summed the way the in-place primitives sum
// them (the 16-bit sums wrap, so the order of the terms does not matter).
struct ScoreParts {
    std::int32_t phase;
    std::int16_t mg_score;
    std::int16_t eg_score;
};

namespace detail {
// Adds piece p on s (sign 1) or takes it away (sign -1).
KESTRUNE_FORCE_INLINE void add_piece_terms(int& phase, int& mg, int& eg, Piece p, Square s, int sign) {
    phase -= sign * PHASE_WEIGHTS[static_cast<std::size_t>(kind_of(p))];
    mg += sign * MG_TABLE[p][s];
    eg += sign * EG_TABLE[p][s];
}
}  // namespace detail

KESTRUNE_FORCE_INLINE ScoreParts score_parts_after(const BoardState& board, Move m) {
    const Square from = m.from();
    const Square to = m.to();
    const int kind = m.kind();
    const Piece p = board.squares[from];
    int phase = 0;
    int mg = 0;
    int eg = 0;
    detail::add_piece_terms(phase, mg, eg, p, from, -1);
    if (kind == EnPassant) {
        const auto victim = static_cast<Square>(board.side == White ? to - 8 : to + 8);
        detail::add_piece_terms(phase, mg, eg, board.squares[victim], victim, -1);
    } else if ((kind & Capture) != 0) {
        detail::add_piece_terms(phase, mg, eg, board.squares[to], to, -1);
    }
    const Piece arriving = (kind & 8) != 0 ? make_piece(board.side, m.promoted_kind()) : p;
    detail::add_piece_terms(phase, mg, eg, arriving, to, 1);
    if (kind == CastleKingside || kind == CastleQueenside) {
        const Square back_rank = board.side == White ? 0 : 56;
        const bool kingside = kind == CastleKingside;
        const auto corner = static_cast<Square>(back_rank + (kingside ? H1 : A1));
        const auto rook_to = static_cast<Square>(back_rank + (kingside ? F1 : D1));
        detail::add_piece_terms(phase, mg, eg, board.squares[corner], corner, -1);
        detail::add_piece_terms(phase, mg, eg, board.squares[corner], rook_to, 1);
    }
    return {board.phase + phase, detail::wrapping_add(board.mg_score, mg), detail::wrapping_add(board.eg_score, eg)};
}

// Whether the move leaves the opponent in check (in_check of the child), read
// from the board before it: our pawns, knights and sliders as the move leaves
// them, seen from the opponent's king through the occupancy after the move.
KESTRUNE_FORCE_INLINE bool leaves_opponent_in_check(const BoardState& board, Move m) {
    const Color us = board.side;
    const Square from = m.from();
    const Square to = m.to();
    const int kind = m.kind();
    const Bitboard queens = board.pieces(us, Queen);
    std::array<Bitboard, 4> attackers{board.pieces(us, Pawn), board.pieces(us, Knight),
                                      board.pieces(us, Bishop) | queens, board.pieces(us, Rook) | queens};
    Bitboard occupancy = board.occupied() & ~square_bb(from);
    for (Bitboard& set : attackers) {
        set &= ~square_bb(from);
    }
    const PieceKind arriving = (kind & 8) != 0 ? m.promoted_kind()
                                               : static_cast<PieceKind>(kind_of(board.squares[from]));
    switch (arriving) {
        case Pawn:
            attackers[0] |= square_bb(to);
            break;
        case Knight:
            attackers[1] |= square_bb(to);
            break;
        case Bishop:
            attackers[2] |= square_bb(to);
            break;
        case Rook:
            attackers[3] |= square_bb(to);
            break;
        case Queen:
            attackers[2] |= square_bb(to);
            attackers[3] |= square_bb(to);
            break;
        default:
            break;
    }
    occupancy |= square_bb(to);
    if (kind == EnPassant) {
        occupancy &= ~square_bb(static_cast<Square>(us == White ? to - 8 : to + 8));
    } else if (kind == CastleKingside || kind == CastleQueenside) {
        const Square back_rank = us == White ? 0 : 56;
        const bool kingside = kind == CastleKingside;
        const Bitboard rook_path = square_bb(static_cast<Square>(back_rank + (kingside ? H1 : A1))) |
                                   square_bb(static_cast<Square>(back_rank + (kingside ? F1 : D1)));
        attackers[3] ^= rook_path;
        occupancy ^= rook_path;
    }
    const Square k = board.king_square(opposite(us));
    return (pawn_attackers_of(us, square_bb(k)) & attackers[0]) != 0 || (knight_attacks(k) & attackers[1]) != 0 ||
           (bishop_attacks(k, occupancy) & attackers[2]) != 0 || (rook_attacks(k, occupancy) & attackers[3]) != 0;
}

// The move must come from generate_moves for this board; make_move also needs
// a free history slot (history_len < 40).
BoardState make_move(const BoardState& board, Move m);
BoardState make_move_unrecorded(const BoardState& board, Move m);
BoardState make_null_move(const BoardState& board);

bool has_castling_right(const BoardState& board, Color c, bool kingside);

// Pieces of colour c attacking square t through `occupancy`; kings excluded.
Bitboard attackers_to(const BoardState& board, Square t, Bitboard occupancy, Color c);
bool in_check(const BoardState& board);

// The legal moves in the engine's fixed generation order. With captures_only,
// quiet moves are left out except the king's own steps.
void generate_moves(const BoardState& board, bool captures_only, MoveList& out);
MoveList generate_moves(const BoardState& board, bool captures_only);
// The same moves in the same order, each with its ordering score (score_moves
// without a preferred move).
void generate_scored_moves(const BoardState& board, bool captures_only, ScoredMoveList& out);
// The number of legal moves (all moves), counted without building the list.
std::uint64_t count_moves(const BoardState& board);

}  // namespace kestrune
