// The few operating-system services the engine needs, behind one interface:
// POSIX (Linux, macOS) and Windows. Everything else is standard C++.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrune::platform {

inline constexpr int STDIN_FD = 0;
inline constexpr int STDOUT_FD = 1;

// Once at start: a closed pipe must surface as a write error instead of
// killing the process; on Windows standard input and output switch to binary
// so that every byte of the protocol is exactly as on POSIX systems.
void prepare_process();

// Reads up to `size` raw bytes from standard input. Returns the count, 0 at
// end of input, or -1 with errno set. Interrupted reads are retried.
std::ptrdiff_t read_input(char* buffer, std::size_t size);

// Writes all bytes to a descriptor, unbuffered; false (with errno set) on failure.
bool write_all(int fd, std::string_view bytes);

// Creates (or empties) the command log for writing; the descriptor, or -1 with
// `problem` saying why. The open never blocks, not even on a FIFO without a
// reader, and the engine's own standard input or output is refused.
int create_log(const std::string& path, std::string& problem);
void close_file(int fd);

// Memory for the transposition table (its contents undefined), aligned for
// huge pages and backed by them where the system offers them; nullptr on failure.
void* allocate_table(std::size_t bytes);
void free_table(void* memory, std::size_t bytes);

}  // namespace kestrune::platform
