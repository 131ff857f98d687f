// A fixed 16 MiB table of 2^20 two-word entries: best move and score bound
// per position key, always replaced, verified by XOR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "move.h"

namespace kestrune {

enum class Bound : std::uint8_t { Exact = 0, Lower = 1, Upper = 2, Empty = 3 };

// The check word is key XOR data, so a slot whose words do not belong
// together, or belong to another key, reads as a miss.
struct TtEntry {
    std::uint64_t check;
    std::uint64_t data;
};

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
    static constexpr std::size_t ENTRIES = std::size_t{1} << 20;
    static constexpr std::uint64_t INDEX_MASK = ENTRIES - 1;
    static constexpr std::uint64_t MISS = 0x0300000000000000ULL;

    TranspositionTable();

    TtData probe(std::uint64_t key) const;
    // Starts loading a key's slot into the cache: a probe is a cache miss
    // nearly every time, so it is asked for as soon as a child's key is known.
    void prefetch(std::uint64_t key) const { __builtin_prefetch(&entries_[key & INDEX_MASK]); }
    void store(std::uint64_t key, Bound kind, std::uint8_t depth, Move move, std::int16_t score);
    void clear();

private:
    struct Release {
        void operator()(TtEntry* entries) const;
    };
    std::unique_ptr<TtEntry[], Release> entries_;
};

}  // namespace kestrune
