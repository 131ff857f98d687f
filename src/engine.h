// The engine object: the command dispatcher, its handlers, the command log
// and the output writer through which every answer goes.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "output.h"
#include "search.h"
#include "search_pool.h"
#include "signals.h"
#include "strength.h"
#include "transposition.h"
#include "version.h"

namespace kestrune {

inline constexpr std::string_view VERSION = KESTRUNE_VERSION;
// Interfaces send only the options an engine announces. The name line runs the
// version straight into a fixed "b 64 AB" (version 0.1.0 reads "0.1.0b 64 AB"):
// that is the engine's name, not a typo, and it is kept byte for byte.
inline constexpr std::string_view IDENTIFICATION =
    "id name kestrune " KESTRUNE_VERSION
    "b 64 AB\nid author Ombrelt\noption name MultiPV type spin default 1 min 1 max 255\nuciok";

// The most helper threads a search may have, and the largest move overhead.
inline constexpr std::uint32_t MAX_THREADS = 1024;
inline constexpr std::uint32_t MAX_MOVE_OVERHEAD_MS = 5000;

// The "uci" answer of the extended profile: the options it adds around MultiPV.
std::string extended_identification();

struct EngineOptions {
    std::optional<std::string> log_path;
    // The extended profile (--extended): the options below, pondering, and a
    // clock rule with increments. Off, the engine is exactly the plain one.
    bool extended = false;
    std::uint8_t multi_pv = 1;
    std::uint32_t threads = 1;
    bool ponder = false;
    std::uint32_t move_overhead_ms = 0;
    // Chess960 castling (UCI_Chess960): FEN castling fields in Shredder-FEN or
    // X-FEN, castling written as the king taking its own rook.
    bool chess960 = false;
    // Playing at a chosen level (UCI_LimitStrength, UCI_Elo).
    bool limit_strength = false;
    int elo = DEFAULT_ELO;
};

// An error that ends the engine thread: the process must not live on mute.
class FatalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class StdoutSink final : public OutputSink {
public:
    void write_line(std::string_view text) override;
};

void set_option(EngineOptions& options, std::string_view name, std::string_view value);

class Engine {
public:
    // `signals` are raised by an input thread of the caller's; without one
    // nobody can send "stop", so an infinite search answers when it ends.
    Engine(EngineOptions options, std::unique_ptr<OutputSink> output, SearchSignals* signals = nullptr);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Runs one command line to completion, searches included.
    void dispatch(std::string_view command);

    const Game& game() const { return game_; }
    const EngineOptions& options() const { return options_; }
    Searcher& searcher() { return searcher_; }

private:
    using Tokens = std::span<const std::string_view>;

    void write_line(std::string_view text) { output_->write_line(text); }
    void handle_uci(Tokens tokens);
    void handle_isready(Tokens tokens);
    void handle_ucinewgame(Tokens tokens);
    void handle_position(Tokens tokens);
    void handle_go(Tokens tokens);
    void handle_stop(Tokens tokens);
    void handle_quit(Tokens tokens);
    void handle_setoption(Tokens tokens);
    void handle_display(Tokens tokens);
    void search(Tokens tokens);
    // True when the line set one of the extended profile's options.
    bool set_extended_option(Tokens tokens);

    struct Command {
        std::string_view word;
        void (Engine::*handler)(Tokens);
    };
    static const std::array<Command, 9> COMMANDS;

    int log_fd_ = -1;
    Game game_;
    TranspositionTable table_;
    std::unique_ptr<OutputSink> output_;
    SearchSignals own_signals_;
    SearchSignals& signals_;
    const bool signals_lent_;
    Searcher searcher_;
    SearchPool pool_;
    EngineOptions options_;
};

}  // namespace kestrune
