// Program entry: the main thread prints the banner, reads standard input and
// forwards each line to the engine thread, which runs the commands one by one.
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "engine.h"
#include "platform.h"
#include "text.h"

namespace {

using kestrune::EngineOptions;
using kestrune::is_valid_utf8;
using kestrune::StopFlag;

struct Message {
    std::string line;      // exactly as read, terminator included
    std::uint64_t number;  // position of the line in the input, from 1
};

// Unbounded FIFO from the main thread to the engine thread.
class Channel {
public:
    void send(Message message) {
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(message));
        }
        ready_.notify_one();
    }
    // `finished` marks a deliberate end (end of input) that the engine
    // thread meets without complaint once it has drained the queue.
    void close(bool finished) {
        {
            const std::lock_guard lock(mutex_);
            closed_ = true;
            finished_ = finished;
        }
        ready_.notify_one();
    }
    bool finished() {
        const std::lock_guard lock(mutex_);
        return finished_;
    }
    // Blocks until a message arrives; empty once the channel is closed and drained.
    std::optional<Message> receive() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !queue_.empty() || closed_; });
        if (queue_.empty()) {
            return std::nullopt;
        }
        Message message = std::move(queue_.front());
        queue_.pop_front();
        return message;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Message> queue_;
    bool closed_ = false;
    bool finished_ = false;
};

// Shared by both threads: the stop flag and the number of the last "stop" line
// read. A command read before that stop line still has to see the flag raised
// when the engine thread takes it, so a stop for a "go" that was still queued
// is not lost, and a stop read while idle does not cut a later search short.
struct StopState {
    StopFlag flag = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<std::uint64_t>> last_stop_line = std::make_shared<std::atomic<std::uint64_t>>(0);
};

// Raises the flag and wakes an infinite search that has ended and waits on it to answer.
void raise_stop(const StopState& stop, std::uint64_t line) {
    stop.last_stop_line->store(line);
    stop.flag->store(true);
    stop.flag->notify_all();
}

[[noreturn]] void die(const std::string& report) {
    std::cerr << report << std::endl;
    std::_Exit(EXIT_FAILURE);
}

// Reads standard input line by line, terminators kept, NUL bytes and all.
class LineReader {
public:
    enum class Status { Line, End, Error };

    Status next(std::string& line) {
        line.clear();
        while (true) {
            const std::size_t newline = buffer_.find('\n', scanned_);
            if (newline != std::string::npos) {
                line.assign(buffer_, 0, newline + 1);
                buffer_.erase(0, newline + 1);
                scanned_ = 0;
                return Status::Line;
            }
            scanned_ = buffer_.size();
            char chunk[65536];
            const std::ptrdiff_t got = kestrune::platform::read_input(chunk, sizeof chunk);
            if (got < 0) {
                return Status::Error;
            }
            if (got == 0) {
                if (buffer_.empty()) {
                    return Status::End;
                }
                line.swap(buffer_);
                scanned_ = 0;
                return Status::Line;
            }
            buffer_.append(chunk, static_cast<std::size_t>(got));
        }
    }

private:
    std::string buffer_;
    std::size_t scanned_ = 0;
};

enum class InputEnd { Quit, EndOfInput, ReadFailure };

InputEnd run_input_loop(Channel& channel, const StopState& stop) {
    const std::string banner = "<0)))><  kestrune Chess Engine v" + std::string(kestrune::VERSION) + "\n";
    if (!kestrune::platform::write_all(kestrune::platform::STDOUT_FD, banner)) {
        die(std::string("Cannot write to output stream!: ") + std::strerror(errno));
    }
    LineReader reader;
    std::string line;
    std::uint64_t number = 0;
    while (true) {
        const LineReader::Status status = reader.next(line);
        if (status == LineReader::Status::Error) {
            std::cerr << "Failed to read line: " << std::strerror(errno) << std::endl;
            return InputEnd::ReadFailure;
        }
        if (status == LineReader::Status::End) {
            // Every queued command counts as stopped: searches answer at once,
            // and the commands piped in before the end still get their answers.
            raise_stop(stop, UINT64_MAX);
            return InputEnd::EndOfInput;
        }
        if (!is_valid_utf8(line)) {
            // Ends the input as its end does: every command read before this
            // line is still answered, a running search included.
            std::cerr << "Failed to read line: stream did not contain valid UTF-8" << std::endl;
            raise_stop(stop, UINT64_MAX);
            return InputEnd::EndOfInput;
        }
        ++number;
        // Only these exact lower-case bytes at the very start are acted on here.
        const std::string_view head = std::string_view(line).substr(0, 4);
        if (head == "quit") {
            // Like the end of input: what was read before is still answered.
            raise_stop(stop, UINT64_MAX);
            return InputEnd::Quit;
        }
        if (head == "stop") {
            raise_stop(stop, number);
        }
        channel.send({line, number});
    }
}

void run_engine_thread(std::shared_ptr<Channel> channel, EngineOptions options, StopState stop) {
    try {
        kestrune::Engine engine(std::move(options), std::make_unique<kestrune::StdoutSink>(stop.flag));
        kestrune::OutputSink& output = *engine.searcher().output;
        while (true) {
            std::optional<Message> message = channel->receive();
            if (!message) {
                if (!channel->finished()) {
                    kestrune::platform::write_all(kestrune::platform::STDOUT_FD,
                                                  "Engine communication error: RecvError\n");
                }
                return;
            }
            // Lower the flag first, then raise it again for a stop read after
            // this line: the main thread stores the line number before the flag.
            output.set_stop_requested(false);
            if (stop.last_stop_line->load() > message->number) {
                output.set_stop_requested(true);
            }
            engine.dispatch(message->line);
        }
    } catch (const std::exception& error) {
        // A mute engine would leave its interface waiting for ever.
        die(std::string("kestrune: fatal error: ") + error.what());
    }
}

}  // namespace

int main(int argc, char** argv) {
    kestrune::platform::prepare_process();

    EngineOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--log") {
            if (i + 1 < argc) {
                options.log_path = argv[i + 1];
            }
            break;
        }
    }

    const StopState stop;
    auto channel = std::make_shared<Channel>();
    std::thread engine_thread(run_engine_thread, channel, options, stop);
    const InputEnd end = run_input_loop(*channel, stop);
    const bool finished = end != InputEnd::ReadFailure;
    channel->close(finished);
    if (finished) {
        engine_thread.join();
    }
    // A read failure leaves at once, wherever the engine thread is; nothing
    // is buffered. The thread is never joined then.
    std::_Exit(EXIT_SUCCESS);
}
