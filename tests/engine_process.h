// Drives the real kestrune binary through pipes, the way a chess interface does.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"

namespace kestrune::testing {

#ifndef KESTRUNE_TEST_LAUNCHER
#define KESTRUNE_TEST_LAUNCHER ""
#endif

// The words of the launcher that starts the engine (e.g. "wine"); empty when
// the engine runs natively.
inline std::vector<std::string> launcher_words() { return space_separated_words(KESTRUNE_TEST_LAUNCHER); }

// True when the engine runs under a launcher, whose file system may differ
// from the test's (wine maps drive letters, not /dev).
inline bool engine_is_launched() { return !launcher_words().empty(); }

class EngineProcess {
public:
    // `with_profile` false starts the engine without the environment's
    // profile words: the plain engine, whatever the test run is set to.
    explicit EngineProcess(const std::vector<std::string>& args = {}, const char* binary = KESTRUNE_BINARY,
                           bool with_profile = true) {
        int in[2], out[2], err[2];
        if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) {
            throw std::runtime_error("pipe failed");
        }
        // The engine itself starts through the configured launcher, if any.
        std::vector<std::string> command;
        if (std::string_view(binary) == KESTRUNE_BINARY) {
            command = launcher_words();
        }
        command.emplace_back(binary);
        if (std::string_view(binary) == KESTRUNE_BINARY && with_profile) {
            const std::vector<std::string> profile = profile_words();
            command.insert(command.end(), profile.begin(), profile.end());
        }
        command.insert(command.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : command) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ < 0) {
            throw std::runtime_error("fork failed");
        }
        if (pid_ == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
                close(fd);
            }
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        stderr_ = err[0];
        signal(SIGPIPE, SIG_IGN);
    }

    ~EngineProcess() {
        close_stdin();
        if (stdout_ >= 0) close(stdout_);
        if (stderr_ >= 0) close(stderr_);
        if (!exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    // Sends raw bytes, exactly as given.
    void send_raw(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = write(stdin_, bytes.data(), bytes.size());
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                return;  // the engine may have exited; callers check the exit status
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    void send(std::string_view line) { send_raw(std::string(line) + "\n"); }

    void close_stdin() {
        if (stdin_ >= 0) {
            close(stdin_);
            stdin_ = -1;
        }
    }

    // Closes the read end of the engine's standard output, as an interface that goes away does.
    void close_stdout() {
        if (stdout_ >= 0) {
            close(stdout_);
            stdout_ = -1;
        }
    }

    // The next line of standard output without its "\n", or nothing on timeout or end of output.
    std::optional<std::string> read_line(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            const auto newline = out_buffer_.find('\n');
            if (newline != std::string::npos) {
                std::string line = out_buffer_.substr(0, newline);
                out_buffer_.erase(0, newline + 1);
                return line;
            }
            if (!fill(stdout_, out_buffer_, deadline)) {
                return std::nullopt;
            }
        }
    }

    // Reads lines until one starts with `prefix`; every line read (that one included) is returned.
    std::vector<std::string> read_until(std::string_view prefix,
                                        std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        std::vector<std::string> lines;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            auto line = read_line(left.count() > 0 ? left : std::chrono::milliseconds(0));
            if (!line) {
                throw std::runtime_error("no line starting with '" + std::string(prefix) + "' before timeout");
            }
            lines.push_back(*line);
            if (lines.back().rfind(prefix, 0) == 0) {
                return lines;
            }
        }
    }

    // All standard output up to end of output (or timeout).
    std::string read_all_output(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (fill(stdout_, out_buffer_, deadline)) {
        }
        std::string all;
        all.swap(out_buffer_);
        return all;
    }

    std::string read_all_stderr(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (fill(stderr_, err_buffer_, deadline)) {
        }
        return err_buffer_;
    }

    // Exit status, or nothing if the process is still running after the timeout.
    // A process killed by a signal reports 128 + the signal number.
    std::optional<int> wait_exit(std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        if (exited_) return status_;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            int status = 0;
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return status_;
            }
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            usleep(2000);
        }
    }

private:
    static bool fill(int fd, std::string& buffer, std::chrono::steady_clock::time_point deadline) {
        if (fd < 0) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready <= 0) return false;
        char chunk[65536];
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    std::string out_buffer_;
    std::string err_buffer_;
    bool exited_ = false;
    int status_ = 0;
};

}  // namespace kestrune::testing
