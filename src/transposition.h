// The transposition table: best move and score bound per position key in
// two-word entries, always replaced, verified by XOR. 16 MiB (2^20 entries)
// unless the user sizes it. Several searchers may share one table: every
// word is an atomic read and written with relaxed order, and an entry whose
// two words come from different stores fails the XOR check and reads as a miss.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "move.h"

namespace kestrune {

enum class Bound : std::uint8_t { Exact = 0, Lower = 1, Upper = 2, Empty = 3 };

// Data word, low bit first: score 0-15, move 16-31, zero 32-47, depth 48-55, kind 56-63.
struct TtData {
    std::uint64_t bits;

    Bound kind() const { return static_cast<Bound>(bits >> 56); }
    std::uint8_t depth() const { return static_cast<std::uint8_t>(bits >> 48); }
    Move move() const { return Move(static_cast<std::uint16_t>(bits >> 16)); }
    std::int16_t score() const { return static_cast<std::int16_t>(static_cast<std::uint16_t>(bits)); }
    bool empty() const { return kind() == Bound::Empty; }
};

class TranspositionTable {
public:
    static constexpr std::size_t DEFAULT_MIB = 16;
    // What the address space can hold, with room to spare.
    static constexpr std::size_t MAX_MIB = sizeof(void*) >= 8 ? std::size_t{1} << 22 : 2048;
    static constexpr std::uint64_t MISS = 0x0300000000000000ULL;

    // Throws std::bad_alloc when the memory cannot be had.
    explicit TranspositionTable(std::size_t mib = DEFAULT_MIB);
    ~TranspositionTable();
    TranspositionTable(const TranspositionTable&) = delete;
    TranspositionTable& operator=(const TranspositionTable&) = delete;

    // An empty table of the new size; false, with the table as it was, when
    // the memory cannot be had or the size is outside 1..MAX_MIB.
    bool resize(std::size_t mib);
    std::size_t size_mib() const { return mib_; }
    std::size_t entry_count() const { return count_; }

    TtData probe(std::uint64_t key) const {
        const Entry& entry = entries_[index(key)];
        const std::uint64_t check = entry.check.load(std::memory_order_relaxed);
        const std::uint64_t data = entry.data.load(std::memory_order_relaxed);
        return TtData{(check ^ data) == key ? data : MISS};
    }
    // Starts loading a key's slot into the cache: a probe is a cache miss
    // nearly every time, so it is asked for as soon as a child's key is known.
    void prefetch(std::uint64_t key) const { __builtin_prefetch(&entries_[index(key)]); }
    void store(std::uint64_t key, Bound kind, std::uint8_t depth, Move move, std::int16_t score) {
        const std::uint64_t data = (std::uint64_t{static_cast<std::uint8_t>(kind)} << 56) |
                                   (std::uint64_t{depth} << 48) | (std::uint64_t{move.bits} << 16) |
                                   std::uint64_t{static_cast<std::uint16_t>(score)};
        Entry& entry = entries_[index(key)];
        entry.check.store(key ^ data, std::memory_order_relaxed);
        entry.data.store(data, std::memory_order_relaxed);
    }
    void clear();

    // The slot of a key: its low bits scaled to the entry count, which for a
    // power of two is just those bits (2^20 entries: the low 20).
    std::size_t index(std::uint64_t key) const { return static_cast<std::size_t>(high_product(key << shift_, count_)); }

private:
    struct Entry {
        std::atomic<std::uint64_t> check;
        std::atomic<std::uint64_t> data;
    };

    static std::uint64_t high_product(std::uint64_t a, std::uint64_t b) {
#ifdef __SIZEOF_INT128__
        __extension__ using Wide = unsigned __int128;
        return static_cast<std::uint64_t>((static_cast<Wide>(a) * b) >> 64);
#else
        const std::uint64_t a_low = a & 0xFFFFFFFFU, a_high = a >> 32;
        const std::uint64_t b_low = b & 0xFFFFFFFFU, b_high = b >> 32;
        const std::uint64_t middle = (a_low * b_low >> 32) + (a_high * b_low & 0xFFFFFFFFU) + a_low * b_high;
        return a_high * b_high + (a_high * b_low >> 32) + (middle >> 32);
#endif
    }

    Entry* entries_ = nullptr;
    std::size_t count_ = 0;
    std::size_t mib_ = 0;
    unsigned shift_ = 0;
};

}  // namespace kestrune
