// Self-play through the protocol: complete games against the real binary, the
// way a match manager plays them, with every answer checked by an independent
// move generator (Debian's stockfish, by its "go perft 1" listing).
//
// The default run is short. KESTRUNE_SOAK_GAMES=N plays N games instead (for
// example 1000 for an overnight run) and KESTRUNE_SOAK_PLIES caps each game
// (200 plies by default); seeds are fixed, so a run can be repeated.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board_state.h"
#include "engine_process.h"
#include "fen.h"
#include "move.h"
#include "engine_session.h"
#include "test_support.h"
#include "move_generation.h"

namespace {

using kestrune::BoardState;
using kestrune::Move;
using kestrune::testing::EngineProcess;
using kestrune::testing::STOCKFISH;
using namespace std::chrono_literals;

constexpr auto ANSWER_BOUND = 10s;

int env_int(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

// --- openings --------------------------------------------------------------

// The movetext of every game in a PGN file.
std::vector<std::string> pgn_movetexts(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> games;
    std::string line;
    bool in_movetext = false;
    while (std::getline(in, line)) {
        if (line.starts_with("[")) {
            in_movetext = false;
            continue;
        }
        if (!in_movetext) {
            if (line.find_first_not_of(" \r") == std::string::npos) continue;
            games.emplace_back();
            in_movetext = true;
        }
        games.back() += line + " ";
    }
    return games;
}

// One SAN move ("Nbd7", "exd5", "O-O", "e8=Q+") matched against the legal moves.
std::optional<Move> san_move(const BoardState& board, std::string san) {
    while (!san.empty() && std::string_view("+#!?").find(san.back()) != std::string_view::npos) san.pop_back();
    const kestrune::MoveList legal = kestrune::generate_moves(board, false);
    if (san == "O-O" || san == "O-O-O") {
        const int kind = san == "O-O" ? kestrune::CastleKingside : kestrune::CastleQueenside;
        for (const Move m : legal) {
            if (m.kind() == kind) return m;
        }
        return std::nullopt;
    }
    std::optional<kestrune::PieceKind> promotion;
    if (const auto eq = san.find('='); eq != std::string::npos && eq + 1 < san.size()) {
        const auto at = std::string_view("NBRQ").find(san[eq + 1]);
        if (at == std::string_view::npos) return std::nullopt;
        promotion = static_cast<kestrune::PieceKind>(at + 1);
        san.erase(eq);
    }
    kestrune::PieceKind piece = kestrune::Pawn;
    if (!san.empty() && std::string_view("NBRQK").find(san.front()) != std::string_view::npos) {
        piece = static_cast<kestrune::PieceKind>(std::string_view("PNBRQK").find(san.front()));
        san.erase(0, 1);
    }
    std::erase(san, 'x');
    if (san.size() < 2) return std::nullopt;
    const auto to = kestrune::parse_square(san.substr(san.size() - 2));
    const std::string hint = san.substr(0, san.size() - 2);
    if (!to) return std::nullopt;
    std::optional<Move> found;
    for (const Move m : legal) {
        const bool same_piece = kestrune::kind_of(board.squares[m.from()]) == piece;
        const bool same_promotion = promotion ? m.is_promotion() && m.promoted_kind() == *promotion : !m.is_promotion();
        bool fits_hint = true;
        for (const char c : hint) {
            fits_hint = fits_hint && (c >= 'a' && c <= 'h' ? kestrune::file_of(m.from()) == c - 'a'
                                                           : kestrune::rank_of(m.from()) == c - '1');
        }
        if (same_piece && same_promotion && fits_hint && m.to() == *to) {
            if (found) return std::nullopt;  // ambiguous
            found = m;
        }
    }
    return found;
}

struct Opening {
    std::vector<std::string> moves;
    BoardState board;
};

Opening opening_from_book(const std::string& movetext) {
    Opening opening{{}, *kestrune::from_fen(kestrune::START_FEN).board};
    std::istringstream words(movetext);
    std::string word;
    while (words >> word) {
        if (word.front() == '{' || word == "*" || word == "1-0" || word == "0-1" || word == "1/2-1/2") break;
        word.erase(0, word.find_first_not_of("0123456789."));
        if (word.empty()) continue;
        const auto m = san_move(opening.board, word);
        if (!m) break;
        opening.moves.push_back(kestrune::to_uci(*m));
        opening.board = kestrune::make_move_unrecorded(opening.board, *m);
    }
    return opening;
}

Opening random_opening(std::uint32_t seed) {
    std::mt19937 rng(seed);
    Opening opening{{}, *kestrune::from_fen(kestrune::START_FEN).board};
    for (int ply = 0; ply < 6; ++ply) {
        const kestrune::MoveList legal = kestrune::generate_moves(opening.board, false);
        const Move m = legal[rng() % legal.size()];
        opening.moves.push_back(kestrune::to_uci(m));
        opening.board = kestrune::make_move_unrecorded(opening.board, m);
    }
    return opening;
}

// --- the independent referee ----------------------------------------------------

class Referee {
public:
    Referee() {
        if (access(STOCKFISH, X_OK) != 0) {
            std::cerr << "[ NOTE     ] " << STOCKFISH
                      << " not found: moves are checked by kestrune's own generator only\n";
            return;
        }
        stockfish_ = std::make_unique<EngineProcess>(std::vector<std::string>{}, STOCKFISH);
        stockfish_->send("uci");
        stockfish_->read_until("uciok");
    }
    bool independent() const { return stockfish_ != nullptr; }

    std::set<std::string> legal_moves(const std::string& position_command, const BoardState& board) {
        std::set<std::string> moves;
        if (!stockfish_) {
            for (const Move m : kestrune::generate_moves(board, false)) moves.insert(kestrune::to_uci(m));
            return moves;
        }
        return kestrune::testing::legal_moves(*stockfish_, position_command);
    }

private:
    std::unique_ptr<EngineProcess> stockfish_;
};

// --- games ---------------------------------------------------------------------

struct Totals {
    int games = 0;
    int moves = 0;
    int illegal = 0;
    int none_with_legal_moves = 0;
    int timeouts = 0;
    int crashes = 0;
    int generator_disagreements = 0;
    int mates = 0;
    int stalemates = 0;
    int fifty_move_draws = 0;
    int move_caps = 0;
    int time_forfeits = 0;
};

std::unique_ptr<EngineProcess> start_engine() {
    auto engine = std::make_unique<EngineProcess>();
    engine->send("uci");
    engine->read_until("uciok");
    return engine;
}

enum class Limit { Nodes, MoveTime, Clock };

void play_game(int index, std::unique_ptr<EngineProcess>& engine, Referee& referee, const Opening& opening,
               int max_plies, Totals& totals) {
    const Limit limit = static_cast<Limit>(index % 3);
    engine->send("ucinewgame");
    engine->send("isready");
    engine->read_until("readyok");

    std::vector<std::string> moves = opening.moves;
    BoardState board = opening.board;
    long long clock_ms[2] = {300, 300};
    constexpr long long INCREMENT_MS = 50;
    ++totals.games;

    for (int ply = static_cast<int>(moves.size()); ply < max_plies; ++ply) {
        std::string position = "position startpos moves";
        for (const std::string& m : moves) position += " " + m;
        const std::set<std::string> legal = referee.legal_moves(position, board);
        if (legal.size() != kestrune::count_moves(board)) {
            ++totals.generator_disagreements;
            ADD_FAILURE() << "kestrune's generator finds " << kestrune::count_moves(board) << " moves, the referee "
                          << legal.size() << ", in " << kestrune::to_fen(board);
        }

        std::string go;
        switch (limit) {
            case Limit::Nodes:
                go = "go nodes 5000";
                break;
            case Limit::MoveTime:
                go = "go movetime 5";
                break;
            case Limit::Clock:
                go = "go wtime " + std::to_string(clock_ms[0]) + " btime " + std::to_string(clock_ms[1]) +
                     " winc 50 binc 50";
                break;
        }
        engine->send(position);
        engine->send(go);
        const auto started = std::chrono::steady_clock::now();
        std::string answer;
        try {
            answer = engine->read_until("bestmove ", ANSWER_BOUND).back();
        } catch (const std::runtime_error&) {
            const auto status = engine->wait_exit(2s);
            (status ? totals.crashes : totals.timeouts) += 1;
            ADD_FAILURE() << (status ? "engine died with status " + std::to_string(*status) : "no bestmove in time")
                          << " after: " << position << " / " << go;
            engine = start_engine();
            return;
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
        const std::string move = answer.substr(9);

        if (legal.empty()) {
            if (move != "(none)") {
                ++totals.illegal;
                ADD_FAILURE() << "answered " << answer << " without a legal move in " << kestrune::to_fen(board);
            }
            (kestrune::in_check(board) ? totals.mates : totals.stalemates) += 1;
            return;
        }
        if (move == "(none)") {
            ++totals.none_with_legal_moves;
            ADD_FAILURE() << "bestmove (none) with " << legal.size() << " legal moves after: " << position << " / "
                          << go;
            return;
        }
        if (legal.count(move) == 0) {
            ++totals.illegal;
            ADD_FAILURE() << "illegal " << answer << " after: " << position;
            return;
        }
        const auto parsed = kestrune::parse_uci(move, board);
        if (!parsed.move) {
            ++totals.generator_disagreements;
            ADD_FAILURE() << "kestrune cannot read its own legal move " << move << " in " << kestrune::to_fen(board);
            return;
        }
        ++totals.moves;
        moves.push_back(move);
        board = kestrune::make_move_unrecorded(board, *parsed.move);

        if (limit == Limit::Clock) {
            long long& mine = clock_ms[ply % 2];
            mine -= elapsed;
            if (mine < 0) {
                ++totals.time_forfeits;
                return;
            }
            mine += INCREMENT_MS;
        }
        if (board.halfmove_clock >= 100) {
            ++totals.fifty_move_draws;
            return;
        }
    }
    ++totals.move_caps;
}

TEST(Soak, SelfPlayGamesThroughTheProtocol) {
#ifdef KESTRUNE_SANITIZED
    constexpr int DEFAULT_GAMES = 3;
#else
    constexpr int DEFAULT_GAMES = 9;
#endif
    const int games = env_int("KESTRUNE_SOAK_GAMES", DEFAULT_GAMES);
    const int max_plies = env_int("KESTRUNE_SOAK_PLIES", 200);

    const std::vector<std::string> book = pgn_movetexts(std::string(KESTRUNE_DATA_DIR) + "/books/8moves_v3.pgn");
    if (book.empty()) {
        std::cerr << "[ NOTE     ] no opening book under " << KESTRUNE_DATA_DIR
                  << "/books: games start with six random plies\n";
    }
    Referee referee;
    auto engine = start_engine();
    Totals totals;
    for (int i = 0; i < games; ++i) {
        const auto seed = static_cast<std::uint32_t>(i) * 2654435761U + 12345U;
        Opening opening = book.empty() ? random_opening(seed) : opening_from_book(book[seed % book.size()]);
        if (!book.empty()) {
            EXPECT_EQ(opening.moves.size(), 16U) << "book game " << seed % book.size() << " did not read whole";
        }
        play_game(i, engine, referee, opening, max_plies, totals);
    }
    engine->send("quit");
    EXPECT_EQ(engine->wait_exit(), std::optional<int>(0));

    std::cout << "[ SOAK     ] games " << totals.games << ", engine moves " << totals.moves << ", illegal moves "
              << totals.illegal << ", (none) with legal moves " << totals.none_with_legal_moves << ", timeouts "
              << totals.timeouts << ", crashes " << totals.crashes << ", generator disagreements "
              << totals.generator_disagreements << "; ended by mate " << totals.mates << ", stalemate "
              << totals.stalemates << ", fifty moves " << totals.fifty_move_draws << ", move cap " << totals.move_caps
              << ", time " << totals.time_forfeits << "; referee "
              << (referee.independent() ? "stockfish" : "kestrune's own generator") << std::endl;
    // Every game reached an end of the rules' or the cap's; a game cut short by
    // a fault ends with none of these.
    EXPECT_EQ(totals.mates + totals.stalemates + totals.fifty_move_draws + totals.move_caps + totals.time_forfeits,
              games);
    EXPECT_GT(totals.moves, 0);
}

}  // namespace
