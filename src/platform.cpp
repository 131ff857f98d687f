#include "platform.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <climits>
#include <cstdio>
#include <vector>

namespace kestrune::platform {

void prepare_process() {
    // Text mode would turn "\n" into "\r\n" on output and end the input at
    // the first 0x1A byte.
    _setmode(STDIN_FD, _O_BINARY);
    _setmode(STDOUT_FD, _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

std::ptrdiff_t read_input(char* buffer, std::size_t size) {
    const auto chunk = static_cast<unsigned>(size < INT_MAX ? size : INT_MAX);
    while (true) {
        const int got = _read(STDIN_FD, buffer, chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got;
    }
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto chunk = static_cast<unsigned>(bytes.size() < INT_MAX ? bytes.size() : INT_MAX);
        const int written = _write(fd, bytes.data(), chunk);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

int create_log(const std::string& path, std::string& problem) {
    // Paths arrive as UTF-8; the wide open reaches every file name.
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                                           nullptr, 0);
    if (length <= 0 && !path.empty()) {
        errno = EINVAL;
        problem = std::strerror(errno);
        return -1;
    }
    std::vector<wchar_t> wide(static_cast<std::size_t>(length) + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), wide.data(), length);
    const int fd = _wopen(wide.data(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        problem = std::strerror(errno);
    }
    return fd;
}

void close_file(int fd) { _close(fd); }

void* allocate_table(std::size_t bytes) {
    // Large pages need the "lock pages in memory" privilege; without it the
    // first call fails and ordinary pages serve.
    const SIZE_T large = GetLargePageMinimum();
    if (large != 0 && bytes % large == 0) {
        if (void* memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT | MEM_LARGE_PAGES, PAGE_READWRITE)) {
            return memory;
        }
    }
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void free_table(void* memory, std::size_t) {
    if (memory != nullptr) {
        VirtualFree(memory, 0, MEM_RELEASE);
    }
}

}  // namespace kestrune::platform

#else

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#if defined(__EMSCRIPTEN__)
#include <emscripten.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <mutex>
#endif

namespace kestrune::platform {

namespace {
// Random probes over the whole table miss the TLB far less on 2 MiB pages.
constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
}  // namespace

#if defined(__EMSCRIPTEN__)

// WebAssembly. No thread blocks in a read of standard input: the JavaScript
// main thread receives the input (under Node.js from process.stdin, see
// web/node-stdin.js; in a browser from the page) and hands it over through
// kestrune_host_input, so that a thread can always be ended. Output goes out
// at once: under Node.js through its synchronous file API from whichever
// thread writes (Emscripten's own streams would be proxied to the main
// thread), in a browser through Module.kestruneOutput on the main thread.

namespace {

struct HostInput {
    std::mutex mutex;
    std::condition_variable ready;
    std::string bytes;
    bool ended = false;
};

HostInput& host_input() {
    static HostInput input;
    return input;
}

// Node.js: writes everything; 0, or the error's errno (`other` when Emscripten has no number for it).
EM_JS(int, node_write, (int fd, const char* data, int size, int other), {
    var fs = require('fs');
    var bytes = Buffer.from(new Uint8Array(wasmMemory.buffer, data, size));
    var done = 0;
    while (done < size) {
        try {
            done += fs.writeSync(fd, bytes, done, size - done);
        } catch (error) {
            if (error.code == 'EAGAIN') {
                Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 1);
            } else {
                return (typeof ERRNO_CODES != 'undefined' && ERRNO_CODES[error.code]) || other;
            }
        }
    }
    return 0;
});

// Node.js: the log is a file of the real system, opened by Node like the
// standard streams (Emscripten's own open drops O_NONBLOCK). Returns the
// descriptor; -1 or -2 when the path is standard input or output; else
// -1000 - errno. Node cannot clear O_NONBLOCK afterwards: node_write waits
// out EAGAIN instead.
EM_JS(int, node_create_log, (const char* path, int size, int other), {
    var fs = require('fs');
    var name = Buffer.from(new Uint8Array(wasmMemory.buffer).slice(path, path + size));
    try {
        var target = fs.statSync(name);
        for (var fd = 0; fd < 2; fd++) {
            var own = fs.fstatSync(fd);
            if (own.dev == target.dev && own.ino == target.ino) {
                return -1 - fd;
            }
        }
    } catch (error) {
    }
    try {
        var flags = fs.constants.O_WRONLY | fs.constants.O_CREAT | fs.constants.O_TRUNC | fs.constants.O_NONBLOCK;
        return fs.openSync(name, flags, 0o644);
    } catch (error) {
        return -1000 - ((typeof ERRNO_CODES != 'undefined' && ERRNO_CODES[error.code]) || other);
    }
});

EM_JS(void, node_close, (int fd), {
    try {
        require('fs').closeSync(fd);
    } catch (error) {
    }
});

bool on_node() {
    return EM_ASM_INT({ return ENVIRONMENT_IS_NODE ? 1 : 0; }) != 0;
}

}  // namespace

extern "C" {

// The host's input, in any pieces; kestrune_host_input_end marks its end.
EMSCRIPTEN_KEEPALIVE void kestrune_host_input(const char* bytes, std::size_t size) {
    HostInput& input = host_input();
    {
        const std::lock_guard lock(input.mutex);
        input.bytes.append(bytes, size);
    }
    input.ready.notify_one();
}

EMSCRIPTEN_KEEPALIVE void kestrune_host_input_end() {
    HostInput& input = host_input();
    {
        const std::lock_guard lock(input.mutex);
        input.ended = true;
    }
    input.ready.notify_one();
}

}  // extern "C"

void prepare_process() {}

std::ptrdiff_t read_input(char* buffer, std::size_t size) {
    HostInput& input = host_input();
    std::unique_lock lock(input.mutex);
    input.ready.wait(lock, [&] { return !input.bytes.empty() || input.ended; });
    const std::size_t got = std::min(size, input.bytes.size());
    std::memcpy(buffer, input.bytes.data(), got);
    input.bytes.erase(0, got);
    return static_cast<std::ptrdiff_t>(got);
}

bool write_all(int fd, std::string_view bytes) {
    if (bytes.size() > INT_MAX) {
        return write_all(fd, bytes.substr(0, INT_MAX)) && write_all(fd, bytes.substr(INT_MAX));
    }
    const int size = static_cast<int>(bytes.size());
    if (on_node()) {
        const int failure = node_write(fd, bytes.data(), size, EIO);
        if (failure != 0) {
            errno = failure;
        }
        return failure == 0;
    }
    // Synchronous, so lines from both threads keep their order.
    MAIN_THREAD_EM_ASM({ Module['kestruneOutput']($0, new Uint8Array(wasmMemory.buffer).slice($1, $1 + $2)); }, fd,
                       bytes.data(), size);
    return true;
}

int create_log(const std::string& path, std::string& problem) {
    if (!on_node()) {
        errno = ENOTSUP;
        problem = "a browser has no files";
        return -1;
    }
    const int fd = node_create_log(path.data(), static_cast<int>(path.size()), EIO);
    if (fd == -1 || fd == -2) {
        problem = fd == -1 ? "it is the engine's standard input" : "it is the engine's standard output";
        return -1;
    }
    if (fd < 0) {
        errno = -1000 - fd;
        problem = std::strerror(errno);
        return -1;
    }
    return fd;
}

void close_file(int fd) {
    if (on_node()) {
        node_close(fd);
    }
}

#else

void prepare_process() { std::signal(SIGPIPE, SIG_IGN); }

std::ptrdiff_t read_input(char* buffer, std::size_t size) {
    while (true) {
        const ssize_t got = ::read(STDIN_FD, buffer, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got;
    }
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

int create_log(const std::string& path, std::string& problem) {
    // Our own standard input or output as the log would feed the engine its
    // own lines, or mix them into its answers; it is checked before opening,
    // since opening truncates.
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0) {
        for (const int fd : {STDIN_FD, STDOUT_FD}) {
            struct stat own {};
            if (::fstat(fd, &own) == 0 && own.st_dev == target.st_dev && own.st_ino == target.st_ino) {
                problem = fd == STDIN_FD ? "it is the engine's standard input" : "it is the engine's standard output";
                return -1;
            }
        }
    }
    // Non-blocking, so that a FIFO nobody reads fails at once (ENXIO) instead
    // of hanging the engine; writes block again as on any file.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        problem = std::strerror(errno);
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int saved = errno;
        problem = std::strerror(saved);
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

void close_file(int fd) { ::close(fd); }

#endif

void* allocate_table(std::size_t bytes) {
    void* memory = nullptr;
    if (::posix_memalign(&memory, HUGE_PAGE, bytes) != 0) {
        return nullptr;
    }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    ::madvise(memory, bytes, MADV_HUGEPAGE);
#endif
    return memory;
}

void free_table(void* memory, std::size_t) { std::free(memory); }

}  // namespace kestrune::platform

#endif
