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

namespace kestrune::platform {

namespace {
// Random probes over the whole table miss the TLB far less on 2 MiB pages.
constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
}  // namespace

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
