#include "input.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string_view>

#include "engine.h"
#include "platform.h"
#include "text.h"

namespace kestrune {

void Channel::send(InputLine line) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(line));
    }
    ready_.notify_one();
}

void Channel::close(bool finished) {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        finished_ = finished;
    }
    ready_.notify_one();
}

bool Channel::finished() {
    const std::lock_guard lock(mutex_);
    return finished_;
}

std::optional<InputLine> Channel::receive() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !queue_.empty() || closed_; });
    if (queue_.empty()) {
        return std::nullopt;
    }
    InputLine line = std::move(queue_.front());
    queue_.pop_front();
    return line;
}

// The line number is stored before the signal is raised: see reset_for.
void InputSignals::raise_stop(std::uint64_t line) {
    last_stop_line.store(line);
    signals.raise(Signal::Stop);
}

void InputSignals::raise_ponderhit(std::uint64_t line) {
    last_ponderhit_line.store(line);
    signals.raise(Signal::PonderHit);
}

void InputSignals::reset_for(std::uint64_t number) {
    // Lower first, then raise again for a line read after this one.
    signals.lower_all();
    if (last_stop_line.load() > number) {
        signals.raise(Signal::Stop);
    }
    if (last_ponderhit_line.load() > number) {
        signals.raise(Signal::PonderHit);
    }
}

LineReader::Status LineReader::next(std::string& line) {
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
        const std::ptrdiff_t got = read_(chunk, sizeof chunk);
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

InputEnd run_input_loop(LineReader& reader, Channel& channel, InputSignals& shared, InputOptions options) {
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
            shared.raise_stop(UINT64_MAX);
            return InputEnd::EndOfInput;
        }
        if (!is_valid_utf8(line)) {
            // Ends the input as its end does: every command read before this
            // line is still answered, a running search included.
            std::cerr << "Failed to read line: stream did not contain valid UTF-8" << std::endl;
            shared.raise_stop(UINT64_MAX);
            return InputEnd::EndOfInput;
        }
        ++number;
        // Only these exact lower-case bytes at the very start are acted on here.
        const std::string_view text(line);
        const std::string_view head = text.substr(0, 4);
        if (head == "quit") {
            // Like the end of input: what was read before is still answered.
            shared.raise_stop(UINT64_MAX);
            return InputEnd::Quit;
        }
        if (head == "stop") {
            shared.raise_stop(number);
        }
        if (options.act_on_ponderhit && text.starts_with("ponderhit")) {
            shared.raise_ponderhit(number);
        }
        channel.send({line, number});
    }
}

void run_engine_loop(Channel& channel, InputSignals& shared, Engine& engine) {
    while (true) {
        std::optional<InputLine> line = channel.receive();
        if (!line) {
            // Only a read failure closes the channel unfinished. The text is
            // what interfaces have always been shown here; it is kept as is.
            if (!channel.finished()) {
                platform::write_all(platform::STDOUT_FD, "Engine communication error: RecvError\n");
            }
            return;
        }
        shared.reset_for(line->number);
        engine.dispatch(line->text);
    }
}

}  // namespace kestrune
