#include "transposition.h"

#include <algorithm>
#include <new>

#include "platform.h"

namespace kestrune {

namespace {
constexpr std::size_t TABLE_BYTES = TranspositionTable::ENTRIES * sizeof(TtEntry);

TtEntry* allocate_table() {
    // Huge-page aligned: random probes over 16 MiB miss the TLB far less.
    void* memory = platform::allocate_table(TABLE_BYTES);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    auto* entries = static_cast<TtEntry*>(memory);
    std::fill_n(entries, TranspositionTable::ENTRIES, TtEntry{0, 0});
    return entries;
}
}  // namespace

void TranspositionTable::Release::operator()(TtEntry* entries) const { platform::free_table(entries, TABLE_BYTES); }

TranspositionTable::TranspositionTable() : entries_(allocate_table()) {}

TtData TranspositionTable::probe(std::uint64_t key) const {
    const TtEntry& entry = entries_[key & INDEX_MASK];
    return TtData{(entry.check ^ entry.data) == key ? entry.data : MISS};
}

void TranspositionTable::store(std::uint64_t key, Bound kind, std::uint8_t depth, Move move, std::int16_t score) {
    const std::uint64_t data = (std::uint64_t{static_cast<std::uint8_t>(kind)} << 56) | (std::uint64_t{depth} << 48) |
                               (std::uint64_t{move.bits} << 16) | std::uint64_t{static_cast<std::uint16_t>(score)};
    entries_[key & INDEX_MASK] = TtEntry{key ^ data, data};
}

void TranspositionTable::clear() { std::fill_n(entries_.get(), ENTRIES, TtEntry{0, 0}); }

}  // namespace kestrune
