#include "fen.h"

#include <array>
#include <cstdint>
#include <vector>

#include "move_generation.h"

namespace kestrune {
namespace {

inline constexpr std::string_view FEN_LETTERS = "PNBRQK??pnbrqk1";
inline constexpr std::string_view DIAGRAM_LETTERS = "PNBRQK??pnbrqk ";
inline constexpr int MAX_PIECES_PER_SIDE = 16;

Piece piece_from_letter(char c) {
    const auto index = PIECE_LETTERS.find(c);
    return index == std::string_view::npos || c == '?' ? EMPTY : static_cast<Piece>(index);
}

constexpr char castling_letter(Color c, CastlingSide side) { return "KQkq"[2 * c + side]; }

FenResult failure(std::string reason) { return {std::nullopt, std::move(reason)}; }

// The six fields, each cut at single spaces; text after the sixth space is ignored.
std::optional<std::array<std::string_view, 6>> split_fields(std::string_view text) {
    std::array<std::string_view, 6> fields;
    std::size_t count = 0;
    std::size_t start = 0;
    while (count < fields.size()) {
        const std::size_t space = text.find(' ', start);
        fields[count++] = text.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start);
        if (space == std::string_view::npos) {
            break;
        }
        start = space + 1;
    }
    if (count < fields.size()) {
        return std::nullopt;
    }
    return fields;
}

// Rank texts are laid from the last to the first, each left to right,
// from a1 upwards; only the total of 64 squares is checked.
std::optional<std::array<Piece, 64>> read_placement(std::string_view layout) {
    std::array<Piece, 64> placement{};
    placement.fill(EMPTY);
    std::vector<std::string_view> rank_texts;
    for (std::size_t from = 0;;) {
        const std::size_t slash = layout.find('/', from);
        rank_texts.push_back(
            layout.substr(from, slash == std::string_view::npos ? std::string_view::npos : slash - from));
        if (slash == std::string_view::npos) {
            break;
        }
        from = slash + 1;
    }
    std::size_t filled = 0;
    for (auto rank_text = rank_texts.rbegin(); rank_text != rank_texts.rend(); ++rank_text) {
        for (const char c : *rank_text) {
            const bool digit = c >= '0' && c <= '9';
            const std::size_t squares = digit ? static_cast<std::size_t>(c - '0') : 1;
            if (filled + squares > 64) {
                return std::nullopt;
            }
            if (!digit) {
                placement[filled] = piece_from_letter(c);
            }
            filled += squares;
        }
    }
    if (filled != 64) {
        return std::nullopt;
    }
    return placement;
}

// The rook squares whose castling is gone: a right is kept only when its
// letter is in the field and its king and rook stand on their origins.
Bitboard touched_castling_squares(std::string_view field, const std::array<Piece, 64>& placement) {
    Bitboard castle_touched = 0;
    for (const Color c : {White, Black}) {
        for (const CastlingSide side : {Kingside, Queenside}) {
            const char letter = castling_letter(c, side);
            const CastlingRule rule = castling_rule(STANDARD_CASTLING, c, side);
            const bool granted = field.find(letter) != std::string_view::npos &&
                                 placement[rule.king_from] == make_piece(c, King) &&
                                 placement[rule.rook_from] == make_piece(c, Rook);
            if (!granted) {
                castle_touched |= square_bb(rule.rook_from);
            }
        }
    }
    return castle_touched;
}

// Chess960 castling: Shredder-FEN (the rook's file letter) or X-FEN (K and Q
// for the outermost rook on that side of the king). A right is kept only when
// the king stands on its back rank with the named rook on that side of it;
// letters that name nothing are passed over. The origins of absent rights are
// off the back rank, marked as touched.
struct Chess960Castling {
    CastlingOrigins origins;
    Bitboard castle_touched;
};

Chess960Castling read_chess960_castling(std::string_view field, const std::array<Piece, 64>& placement) {
    Chess960Castling result{STANDARD_CASTLING, 0};
    for (const Color c : {White, Black}) {
        const int rank = c == White ? 0 : 7;
        const Piece rook = make_piece(c, Rook);
        const auto rook_on = [&](int file) { return placement[make_square(file, rank)] == rook; };
        int king_file = -1;
        for (int file = 0; file < 8; ++file) {
            if (placement[make_square(file, rank)] == make_piece(c, King)) {
                king_file = file;
            }
        }
        std::array<int, 2> rook_file{-1, -1};
        for (const char letter : field) {
            const bool white_letter = letter >= 'A' && letter <= 'Z';
            if (king_file < 0 || white_letter != (c == White)) {
                continue;
            }
            const char upper = white_letter ? letter : static_cast<char>(letter - 'a' + 'A');
            int file = -1;
            if (upper == 'K' || upper == 'Q') {
                const int step = upper == 'K' ? -1 : 1;
                for (int f = upper == 'K' ? 7 : 0; f != king_file; f += step) {
                    if (rook_on(f)) {
                        file = f;
                        break;
                    }
                }
            } else if (upper >= 'A' && upper <= 'H' && rook_on(upper - 'A') && upper - 'A' != king_file) {
                file = upper - 'A';
            }
            if (file < 0) {
                continue;
            }
            const CastlingSide side = file > king_file ? Kingside : Queenside;
            if (rook_file[side] < 0) {
                rook_file[side] = file;
            }
        }
        if (king_file >= 0) {
            result.origins.king[c] = make_square(king_file, rank);
        }
        for (const CastlingSide side : {Kingside, Queenside}) {
            if (rook_file[side] >= 0) {
                result.origins.rook[c][side] = make_square(rook_file[side], rank);
            } else {
                const Square away = make_square(side == Kingside ? 7 : 0, c == White ? 1 : 6);
                result.origins.rook[c][side] = away;
                result.castle_touched |= square_bb(away);
            }
        }
    }
    return result;
}

// "-" or a square (its first two characters), as a one-square set; nothing
// when the field is neither.
std::optional<Bitboard> read_en_passant(std::string_view field) {
    if (field == "-") {
        return Bitboard{0};
    }
    const auto target = parse_square(field);
    if (!target) {
        return std::nullopt;
    }
    return square_bb(*target);
}

// Positions that no game can reach and that move generation cannot work on.
std::string impossible_position(const BoardState& b) {
    for (const Color c : {White, Black}) {
        const char* name = c == White ? "white" : "black";
        if (popcount(b.pieces(c, King)) != 1) {
            return std::string("Invalid FEN: ") + name + " must have exactly one king";
        }
        if (popcount(b.pieces(c)) > MAX_PIECES_PER_SIDE) {
            return std::string("Invalid FEN: ") + name + " has more than 16 pieces";
        }
    }
    // The check test below leaves kings out; touching kings would let one take the other.
    if ((king_attacks(b.king_square(White)) & b.pieces(Black, King)) != 0) {
        return "Invalid FEN: the kings stand next to each other";
    }
    if (((b.pieces(White, Pawn) | b.pieces(Black, Pawn)) & (RANK_1 | RANK_8)) != 0) {
        return "Invalid FEN: pawns cannot stand on the first or last rank";
    }
    const BoardState other_side_to_move = make_null_move(b);
    if (in_check(other_side_to_move)) {
        return "Invalid FEN: the side not to move is in check";
    }
    if (b.en_passant != 0) {
        const Square target = lowest_square(b.en_passant);
        const int expected_rank = b.side == White ? 5 : 2;
        const Square pawn_square = en_passant_victim(b.side, target);
        const Piece pawn = make_piece(opposite(b.side), Pawn);
        if (rank_of(target) != expected_rank || b.squares[target] != EMPTY || b.squares[pawn_square] != pawn) {
            return "Invalid FEN: no pawn can be taken en passant on " + square_name(target);
        }
    }
    return {};
}

}  // namespace

FenResult from_fen(std::string_view text, bool chess960) {
    const auto fields = split_fields(text);
    if (!fields) {
        return failure("Invalid FEN: expected 6 fields separated by spaces");
    }
    const auto placement = read_placement((*fields)[0]);
    if (!placement) {
        return failure("Invalid FEN: the placement does not describe exactly 64 squares");
    }
    const std::string_view side_field = (*fields)[1];
    if (side_field.empty()) {
        return failure("Invalid FEN: the side to move is missing");
    }
    if (side_field[0] != 'w' && side_field[0] != 'b') {
        return failure(std::string(SIDE_ERROR));
    }
    const Color side = side_field[0] == 'w' ? White : Black;
    Chess960Castling castling{STANDARD_CASTLING, 0};
    if (chess960) {
        castling = read_chess960_castling((*fields)[2], *placement);
    } else {
        castling.castle_touched = touched_castling_squares((*fields)[2], *placement);
    }
    const auto en_passant = read_en_passant((*fields)[3]);
    if (!en_passant) {
        return failure("Invalid FEN: the en-passant field is not a square");
    }
    const auto halfmove_clock = parse_unsigned<std::uint64_t>((*fields)[4]);
    if (!halfmove_clock) {
        return failure("Invalid FEN: the halfmove clock is not a number");
    }
    // The fullmove number must read, but the board keeps no move number of its own.
    if (!parse_unsigned<std::uint64_t>((*fields)[5])) {
        return failure("Invalid FEN: the fullmove number is not a number");
    }

    BoardState board = from_parts(*placement, side, castling.castle_touched, *en_passant, *halfmove_clock,
                                  castling.origins, chess960);
    if (std::string reason = impossible_position(board); !reason.empty()) {
        return failure(std::move(reason));
    }
    return {board, {}};
}

std::string to_fen(const BoardState& board) {
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        int empty_run = 0;
        for (int file = 0; file < 8; ++file) {
            const Piece p = board.squares[static_cast<std::size_t>(make_square(file, rank))];
            if (p == EMPTY) {
                ++empty_run;
                continue;
            }
            if (empty_run > 0) {
                fen += static_cast<char>('0' + empty_run);
                empty_run = 0;
            }
            fen += piece_letter(FEN_LETTERS, p);
        }
        if (empty_run > 0) {
            fen += static_cast<char>('0' + empty_run);
        }
        if (rank > 0) {
            fen += '/';
        }
    }
    fen += board.side == White ? " w " : " b ";
    const std::size_t before_castling = fen.size();
    for (const Color c : {White, Black}) {
        for (const CastlingSide side : {Kingside, Queenside}) {
            if (!has_castling_right(board, c, side)) {
                continue;
            }
            if (board.chess960) {
                const char file_letter = static_cast<char>('A' + file_of(castling_rule(board, c, side).rook_from));
                fen += c == White ? file_letter : static_cast<char>(file_letter - 'A' + 'a');
            } else {
                fen += castling_letter(c, side);
            }
        }
    }
    if (fen.size() == before_castling) {
        fen += '-';
    }
    fen += ' ';
    fen += board.en_passant != 0 ? square_name(lowest_square(board.en_passant)) : "-";
    fen += ' ';
    fen += std::to_string(board.halfmove_clock);
    fen += ' ';
    fen += std::to_string(board.plies / 2 + 1);
    return fen;
}

std::string diagram(const BoardState& board) {
    static constexpr std::string_view FRAME = "+---+---+---+---+---+---+---+---+\n";
    std::string text(FRAME);
    for (int rank = 7; rank >= 0; --rank) {
        for (int file = 0; file < 8; ++file) {
            text += "| ";
            text += piece_letter(DIAGRAM_LETTERS, board.squares[static_cast<std::size_t>(make_square(file, rank))]);
            text += ' ';
        }
        text += "|\n";
        text += FRAME;
    }
    return text;
}

ParsedMove parse_uci(std::string_view text, const BoardState& board) {
    if (text.size() < 4) {
        return {std::nullopt, "Invalid uci move notation: " + std::string(text)};
    }
    MoveKind kind = Quiet;
    if (text.size() == 5) {
        switch (text[4]) {
            case 'n':
                kind = PromoteKnight;
                break;
            case 'b':
                kind = PromoteBishop;
                break;
            case 'r':
                kind = PromoteRook;
                break;
            case 'q':
                kind = PromoteQueen;
                break;
            default:
                return {std::nullopt, "Invalid promotion piece in UCI notation: " + std::string(text)};
        }
    }
    // Square names off the board name no move: they must never alias another square.
    const auto from = parse_square(text.substr(0, 2));
    const auto to = parse_square(text.substr(2, 2));
    if (!from || !to) {
        return {std::nullopt, {}};
    }
    const UciText wanted = uci_text(Move(*from, *to, kind));
    for (const Move m : generate_moves(board, false)) {
        if (move_text(board, m) == wanted) {
            return {m, {}};
        }
    }
    return {std::nullopt, {}};
}

}  // namespace kestrune
