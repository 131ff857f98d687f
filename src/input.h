// The input side of the program: the main thread reads standard input line
// by line, acts at once on "stop", "quit" (and "ponderhit" when asked to),
// and forwards every line over a channel to the engine thread, which runs
// the commands one at a time.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "signals.h"

namespace kestrune {

class Engine;

struct InputLine {
    std::string text;      // exactly as read, terminator included
    std::uint64_t number;  // position of the line in the input, from 1
};

// Unbounded FIFO from the input thread to the engine thread.
class Channel {
public:
    void send(InputLine line);
    // `finished` marks a deliberate end (end of input) that the engine thread
    // meets without complaint once it has drained the queue.
    void close(bool finished);
    bool finished();
    // Blocks until a line arrives; empty once the channel is closed and drained.
    std::optional<InputLine> receive();

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<InputLine> queue_;
    bool closed_ = false;
    bool finished_ = false;
};

// Shared by both threads: the signals, and the number of the last line that
// raised each. A command read before such a line still sees its signal raised
// when the engine thread takes it, so a "stop" for a "go" still queued is not
// lost, and a "stop" read while idle does not cut a later search short.
struct InputSignals {
    SearchSignals signals;
    std::atomic<std::uint64_t> last_stop_line{0};
    std::atomic<std::uint64_t> last_ponderhit_line{0};

    void raise_stop(std::uint64_t line);
    void raise_ponderhit(std::uint64_t line);
    // For the engine thread, before it runs line `number`.
    void reset_for(std::uint64_t number);
};

// Reads raw bytes; returns the count, 0 at the end, or -1 with errno set.
using ReadFunction = std::function<std::ptrdiff_t(char* buffer, std::size_t size)>;

// Splits the input into lines, terminators kept, NUL bytes and all.
class LineReader {
public:
    enum class Status { Line, End, Error };

    explicit LineReader(ReadFunction read) : read_(std::move(read)) {}
    Status next(std::string& line);

private:
    ReadFunction read_;
    std::string buffer_;
    std::size_t scanned_ = 0;
};

enum class InputEnd { Quit, EndOfInput, ReadFailure };

struct InputOptions {
    bool act_on_ponderhit = false;
};

// The main thread's loop. Reports a read failure or a line that is not
// UTF-8 on standard error; the latter ends the input as its end does.
InputEnd run_input_loop(LineReader& reader, Channel& channel, InputSignals& shared, InputOptions options);

// The engine thread's loop: until the channel is closed and drained.
void run_engine_loop(Channel& channel, InputSignals& shared, Engine& engine);

}  // namespace kestrune
