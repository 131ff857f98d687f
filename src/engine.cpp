#include "engine.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>

#include "fen.h"
#include "perft.h"
#include "platform.h"
#include "text.h"

namespace kestrune {

void StdoutSink::write_line(std::string_view text) {
    // Standard output is written unbuffered, so each line reaches the reader at once.
    std::string line;
    line.reserve(text.size() + 1);
    line.append(text);
    line.push_back('\n');
    if (!platform::write_all(platform::STDOUT_FD, line)) {
        throw FatalError(std::string("Cannot write to output stream!: ") + std::strerror(errno));
    }
}

void set_option(EngineOptions& options, std::string_view name, std::string_view value) {
    if (name != "MultiPV") {
        return;
    }
    if (const auto multi_pv = parse_unsigned<std::uint8_t>(value)) {
        options.multi_pv = *multi_pv;
    }
}

const std::array<Engine::Command, 9> Engine::COMMANDS{{
    {"uci", &Engine::handle_uci},
    {"isready", &Engine::handle_isready},
    {"ucinewgame", &Engine::handle_ucinewgame},
    {"position", &Engine::handle_position},
    {"go", &Engine::handle_go},
    {"stop", &Engine::handle_stop},
    {"quit", &Engine::handle_quit},
    {"setoption", &Engine::handle_setoption},
    {"d", &Engine::handle_display},
}};

Engine::Engine(EngineOptions options, std::unique_ptr<OutputSink> output, SearchSignals* signals)
    : output_(std::move(output)),
      signals_(signals != nullptr ? *signals : own_signals_),
      signals_lent_(signals != nullptr),
      searcher_(table_, *output_, signals_),
      pool_(table_, signals_),
      options_(std::move(options)) {
    searcher_.helper_work = [this] { return pool_.take_new_leaves(); };
    if (options_.log_path) {
        std::string problem;
        log_fd_ = platform::create_log(*options_.log_path, problem);
        if (log_fd_ < 0) {
            // The engine must still play: it runs without a log.
            std::cerr << "kestrune: cannot create log file '" << *options_.log_path << "': " << problem
                      << "; running without a log" << std::endl;
        }
    }
    game_.board = *from_fen(START_FEN).board;
    game_.position_keys = {repetition_key(game_.board)};
}

Engine::~Engine() {
    if (log_fd_ >= 0) {
        platform::close_file(log_fd_);
    }
}

void Engine::dispatch(std::string_view command) {
    if (log_fd_ >= 0 && !platform::write_all(log_fd_, command)) {
        throw FatalError(std::string("Cannot write to log file!: ") + std::strerror(errno));
    }
    const std::vector<std::string_view> tokens = split_tokens(command);
    if (tokens.empty()) {
        write_line("Empty command");
        return;
    }
    const std::string word = ascii_lower(tokens.front());
    if (options_.extended && word == "ponderhit") {
        // The input thread has acted on it already; here it is a no-op.
        return;
    }
    for (const Command& c : COMMANDS) {
        if (c.word == word) {
            (this->*c.handler)(tokens);
            return;
        }
    }
    write_line("Unsupported command: " + std::string(command));
}

std::string extended_identification() {
    std::string text(IDENTIFICATION.substr(0, IDENTIFICATION.find("option name MultiPV")));
    text += "option name Hash type spin default 16 min 1 max " + std::to_string(TranspositionTable::MAX_MIB) + "\n";
    text += "option name Clear Hash type button\n";
    text += "option name Threads type spin default 1 min 1 max " + std::to_string(MAX_THREADS) + "\n";
    text += "option name Ponder type check default false\n";
    text += "option name Move Overhead type spin default 0 min 0 max " + std::to_string(MAX_MOVE_OVERHEAD_MS) + "\n";
    const std::string_view rest = IDENTIFICATION.substr(IDENTIFICATION.find("option name MultiPV"));
    text += rest.substr(0, rest.find("uciok"));
    text += "option name UCI_Chess960 type check default false\n";
    text += "option name UCI_LimitStrength type check default false\n";
    text += "option name UCI_Elo type spin default " + std::to_string(DEFAULT_ELO) + " min " + std::to_string(MIN_ELO) +
            " max " + std::to_string(MAX_ELO) + "\nuciok";
    return text;
}

void Engine::handle_uci(Tokens) {
    write_line(options_.extended ? extended_identification() : std::string(IDENTIFICATION));
}

void Engine::handle_isready(Tokens) { write_line("readyok"); }

// Empty on purpose: the input thread raises the stop signal the moment it reads
// a line beginning with "stop", while the search is still running; when the
// line's turn comes here, nothing is left to do and nothing is answered.
void Engine::handle_stop(Tokens) {}

void Engine::handle_quit(Tokens) { write_line("quitting"); }

bool Engine::set_extended_option(Tokens tokens) {
    // "setoption name NAME [value VALUE]", where both may hold spaces.
    if (tokens.size() < 3 || tokens[1] != "name") {
        return false;
    }
    const auto value_keyword = std::find(tokens.begin() + 2, tokens.end(), "value");
    const std::string name = join(std::span(tokens.begin() + 2, value_keyword));
    const std::string value = value_keyword == tokens.end() ? "" : join(std::span(value_keyword + 1, tokens.end()));
    const auto number = [&](std::uint64_t low, std::uint64_t high) -> std::optional<std::uint64_t> {
        const auto read = parse_unsigned<std::uint64_t>(value);
        return read && *read >= low && *read <= high ? read : std::nullopt;
    };
    // A check option takes "true" or "false"; anything else is refused.
    const auto set_check = [&](bool& setting) {
        if (value == "true" || value == "false") {
            setting = value == "true";
        } else {
            write_line("info string " + name + " takes true or false; it stays " + (setting ? "true" : "false"));
        }
    };
    if (name == "Hash") {
        const auto mib = number(1, TranspositionTable::MAX_MIB);
        if (!mib) {
            write_line("info string Hash takes a whole number of MiB from 1 to " +
                       std::to_string(TranspositionTable::MAX_MIB) + "; the table stays at " +
                       std::to_string(table_.size_mib()) + " MiB");
        } else if (*mib != table_.size_mib() && !table_.resize(*mib)) {
            write_line("info string cannot allocate " + std::to_string(*mib) + " MiB for the hash table; it stays at " +
                       std::to_string(table_.size_mib()) + " MiB");
        }
    } else if (name == "Clear Hash") {
        table_.clear();
    } else if (name == "Threads") {
        const auto threads = number(1, MAX_THREADS);
        if (!threads) {
            write_line("info string Threads takes a whole number from 1 to " + std::to_string(MAX_THREADS) +
                       "; it stays at " + std::to_string(options_.threads));
        } else if (*threads != options_.threads) {
            const std::size_t started = pool_.resize(*threads - 1);
            options_.threads = static_cast<std::uint32_t>(started + 1);
            if (options_.threads != *threads) {
                write_line("info string the system started only " + std::to_string(options_.threads) + " threads");
            }
        }
    } else if (name == "Ponder") {
        set_check(options_.ponder);
    } else if (name == "UCI_Chess960") {
        set_check(options_.chess960);  // read by the next position command (or ucinewgame)
    } else if (name == "UCI_LimitStrength") {
        set_check(options_.limit_strength);
    } else if (name == "UCI_Elo") {
        const auto elo = number(MIN_ELO, MAX_ELO);
        if (!elo) {
            write_line("info string UCI_Elo takes a whole number from " + std::to_string(MIN_ELO) + " to " +
                       std::to_string(MAX_ELO) + "; it stays at " + std::to_string(options_.elo));
        } else {
            options_.elo = static_cast<int>(*elo);
        }
    } else if (name == "Move Overhead") {
        const auto overhead = number(0, MAX_MOVE_OVERHEAD_MS);
        if (!overhead) {
            write_line("info string Move Overhead takes a whole number of milliseconds from 0 to " +
                       std::to_string(MAX_MOVE_OVERHEAD_MS) + "; it stays at " +
                       std::to_string(options_.move_overhead_ms));
        } else {
            options_.move_overhead_ms = static_cast<std::uint32_t>(*overhead);
        }
    } else {
        return false;
    }
    return true;
}

// A malformed setoption is answered in the engine's established wording, kept
// byte for byte: the "4 arguments" are the words after "setoption", and XXXXX
// and YYY stand for the name and the value.
void Engine::handle_setoption(Tokens tokens) {
    if (options_.extended && set_extended_option(tokens)) {
        return;
    }
    if (tokens.size() != 5 || tokens[1] != "name" || tokens[3] != "value") {
        write_line("Expecting 4 arguments, in form name XXXXX value YYY, got: " + join(tokens.subspan(1)));
    }
    if (tokens.size() >= 5) {
        set_option(options_, tokens[2], tokens[4]);
    }
}

void Engine::handle_ucinewgame(Tokens) {
    table_.clear();
    game_.board = *from_fen(START_FEN, options_.chess960).board;
    game_.moves.clear();
    game_.position_keys = {repetition_key(game_.board)};
}

void Engine::handle_position(Tokens tokens) {
    // Everything is worked out on copies; the game changes only when the whole command reads.
    BoardState board = game_.board;
    std::vector<Move> moves = game_.moves;
    std::vector<std::uint64_t> keys = game_.position_keys;
    if (tokens.size() > 2 && tokens[1] == "fen") {
        FenResult fen = from_fen(join(tokens.subspan(2)), options_.chess960);
        if (!fen.board) {
            write_line(fen.error == SIDE_ERROR ? fen.error : "info string " + fen.error + "; position unchanged");
            return;
        }
        board = *fen.board;
        moves.clear();
        keys = {repetition_key(board)};
    } else if (has_token(tokens, "startpos")) {
        board = *from_fen(START_FEN, options_.chess960).board;
        moves.clear();
        keys = {repetition_key(board)};
    }

    const auto moves_keyword = std::find(tokens.begin(), tokens.end(), "moves");
    if (moves_keyword != tokens.end()) {
        BoardState scratch = board;
        std::vector<Move> read;
        for (auto token = moves_keyword + 1; token != tokens.end(); ++token) {
            const ParsedMove parsed = parse_uci(*token, scratch);
            if (!parsed.move) {
                write_line(!parsed.message.empty() ? parsed.message
                                                   : "info string Illegal move " + std::string(*token) +
                                                         " in the position command; position unchanged");
                return;
            }
            scratch = make_move_unrecorded(scratch, *parsed.move);
            read.push_back(*parsed.move);
        }
        for (const Move m : read) {
            board = make_move(board, m);
            board.history_len = 0;
            moves.push_back(m);
            keys.push_back(repetition_key(board));
        }
    }
    game_.board = board;
    game_.moves = std::move(moves);
    game_.position_keys = std::move(keys);
}

void Engine::handle_display(Tokens) { write_line(diagram(game_.board) + "Fen: " + to_fen(game_.board) + "\n"); }

void Engine::handle_go(Tokens tokens) {
    const auto depth = keyword_value<std::uint8_t>(tokens, "perft");
    if (!depth) {
        search(tokens);
        return;
    }
    if (*depth == 0) {
        write_line("info string perft depth 0 lists nothing: give a depth of 1 or more");
        return;
    }
    const int max_depth = MAX_PERFT_DEPTH - static_cast<int>(game_.board.history_len);
    if (*depth > max_depth) {
        write_line("info string perft depth " + std::to_string(*depth) + " is too deep: at most " +
                   std::to_string(max_depth) + " plies can be counted");
        return;
    }
    write_line(divide(game_.board, *depth));
}

void Engine::search(Tokens tokens) {
    const Color side = game_.board.side;
    SearchLimits limits = options_.extended
                              ? limits_from_go_extended(tokens, side, options_.multi_pv, options_.move_overhead_ms)
                              : limits_from_go(tokens, side, options_.multi_pv);
    const StrengthSettings strength = options_.extended && options_.limit_strength ? strength_settings(options_.elo)
                                                                                   : StrengthSettings{};
    const bool weakened = strength.node_budget != NO_NODE_BUDGET;
    if (weakened) {
        // One thread: helpers would add strength the level does not have.
        limits.node_budget = strength.node_budget;
        limits.multipv = std::max(limits.multipv, strength.lines);
    } else {
        pool_.start(game_, limits);
    }
    SearchResult result = run_search(searcher_, game_, limits);
    // A mate found by a deeper line than the last depth whose lines all completed is played too.
    if (weakened && !searcher_.completed_lines.empty() && result.score <= MATE_THRESHOLD) {
        const RootLines& lines = searcher_.completed_lines;
        result.best_move = choose_move({lines.begin(), lines.size()}, strength.noise_cp, game_.board.hash);
    }
    // The answer does not wait for the helpers to notice; the next command
    // does (finish below), so no search ever overlaps another.
    pool_.halt();
    if (signals_lent_) {
        // A ponder search answers only after "ponderhit" or "stop", and an
        // infinite one only once it is told to stop, even when it has run
        // out of depth (or had a single reply) by itself.
        if (limits.ponder && !signals_.raised(Signal::PonderHit)) {
            signals_.wait_for_either(Signal::Stop, Signal::PonderHit);
        }
        if (has_token(tokens, "infinite")) {
            signals_.wait_for(Signal::Stop);
        }
    }
    std::string answer = "bestmove (none)";
    if (result.found) {
        answer = "bestmove " + move_string(game_.board, result.best_move);
        if (options_.extended && options_.ponder) {
            if (const auto reply = expected_reply(searcher_, game_.board, result.best_move)) {
                answer += " ponder " + move_string(make_move_unrecorded(game_.board, result.best_move), *reply);
            }
        }
    }
    write_line(answer);
    pool_.finish();
}

}  // namespace kestrune
