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
#include "version.h"

namespace kestrune {

inline constexpr std::string_view VERSION = KESTRUNE_VERSION;
// Interfaces send only the options an engine announces. The name line runs the
// version straight into a fixed "b 64 AB" (version 0.1.0 reads "0.1.0b 64 AB"):
// that is the engine's name, not a typo, and it is kept byte for byte.
inline constexpr std::string_view IDENTIFICATION =
    "id name kestrune " KESTRUNE_VERSION
    "b 64 AB\nid author Ombrelt\noption name MultiPV type spin default 1 min 1 max 255\nuciok";

struct EngineOptions {
    std::optional<std::string> log_path;
    std::uint8_t multi_pv = 1;
};

// An error that ends the engine thread: the process must not live on mute.
class FatalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using StopFlag = std::shared_ptr<std::atomic<bool>>;

class StdoutSink final : public OutputSink {
public:
    explicit StdoutSink(StopFlag stop) : stop_(std::move(stop)) {}
    void write_line(std::string_view text) override;
    bool stop_requested() const override { return stop_->load(); }
    void set_stop_requested(bool value) override { stop_->exchange(value); }
    // Sleeps on the flag: whoever raises it must call notify_all on it.
    void wait_for_stop_request() override;

private:
    StopFlag stop_;
};

void set_option(EngineOptions& options, std::string_view name, std::string_view value);

class Engine {
public:
    Engine(EngineOptions options, std::unique_ptr<OutputSink> output);
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

    void write_line(std::string_view text) { searcher_.output->write_line(text); }
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

    struct Command {
        std::string_view word;
        void (Engine::*handler)(Tokens);
    };
    static const std::array<Command, 9> COMMANDS;

    int log_fd_ = -1;
    Game game_;
    Searcher searcher_;
    EngineOptions options_;
};

}  // namespace kestrune
