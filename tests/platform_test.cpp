// The operating-system layer: the log file and the table memory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform.h"
#include "test_support.h"

namespace kestrune {
namespace {

using testing::read_file;

std::string temp_path(const std::string& name) {
    return (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))).string();
}

TEST(PlatformLogTest, EmptiesAnExistingFileAndWritesEveryByteAsGiven) {
    const std::string path = temp_path("kestrune-platform-log");
    std::ofstream(path, std::ios::binary) << "old contents that must go";
    std::string problem;
    const int fd = platform::create_log(path, problem);
    ASSERT_GE(fd, 0) << problem;
    EXPECT_EQ(read_file(path), "");
    const std::string bytes("uci\r\nisready\n\x1A\0go\n", 18);
    EXPECT_TRUE(platform::write_all(fd, bytes));
    platform::close_file(fd);
    EXPECT_EQ(read_file(path), bytes);
    std::filesystem::remove(path);
}

TEST(PlatformLogTest, FifoWithoutReaderFailsInsteadOfBlocking) {
    const std::string path = temp_path("kestrune-platform-fifo");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << std::strerror(errno);
    errno = 0;
    std::string problem;
    const int fd = platform::create_log(path, problem);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(errno, ENXIO);
    EXPECT_EQ(problem, std::strerror(ENXIO));
    if (fd >= 0) platform::close_file(fd);
    std::filesystem::remove(path);
}

TEST(PlatformLogTest, UncreatablePathFailsWithTheSystemError) {
    errno = 0;
    std::string problem;
    EXPECT_EQ(platform::create_log("/nonexistent-dir/kestrune.log", problem), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(problem, std::strerror(ENOENT));
}

TEST(PlatformTableTest, MemoryIsHugePageAlignedAndWritable) {
    constexpr std::size_t BYTES = std::size_t{16} << 20;
    void* memory = platform::allocate_table(BYTES);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % (std::size_t{2} << 20), 0U);
    auto* bytes = static_cast<unsigned char*>(memory);
    bytes[0] = 1;
    bytes[BYTES - 1] = 2;
    EXPECT_EQ(bytes[0] + bytes[BYTES - 1], 3);
    platform::free_table(memory, BYTES);
}

}  // namespace
}  // namespace kestrune
