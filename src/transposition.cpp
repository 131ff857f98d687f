#include "transposition.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace kestrune {

namespace {
constexpr std::size_t TABLE_BYTES = TranspositionTable::ENTRIES * sizeof(TtEntry);
// Aligned to huge pages: random probes over 16 MiB miss the TLB far less.
constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;

TtEntry* allocate_table() {
    void* memory = std::aligned_alloc(HUGE_PAGE, TABLE_BYTES);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    ::madvise(memory, TABLE_BYTES, MADV_HUGEPAGE);
#endif
    auto* entries = static_cast<TtEntry*>(memory);
    std::fill_n(entries, TranspositionTable::ENTRIES, TtEntry{0, 0});
    return entries;
}
}  // namespace

void TranspositionTable::Release::operator()(TtEntry* entries) const { std::free(entries); }

TranspositionTable::TranspositionTable() : entries_(allocate_table()) {}

TtData TranspositionTable::probe(std::uint64_t key) const {
    const TtEntry& entry = entries_[key & INDEX_MASK];
    return TtData{(entry.check ^ entry.data) == key ? entry.data : MISS};
}

void TranspositionTable::store(std::uint64_t key, Bound kind, std::uint8_t depth, Move move, std::int16_t score) {
    const std::uint64_t data = (std::uint64_t{static_cast<std::uint8_t>(kind)} << 56) |
                               (std::uint64_t{depth} << 48) | (std::uint64_t{move.bits} << 16) |
                               std::uint64_t{static_cast<std::uint16_t>(score)};
    entries_[key & INDEX_MASK] = TtEntry{key ^ data, data};
}

void TranspositionTable::clear() { std::fill_n(entries_.get(), ENTRIES, TtEntry{0, 0}); }

}  // namespace kestrune
