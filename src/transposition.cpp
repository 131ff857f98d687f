#include "transposition.h"

#include <algorithm>

namespace kestrune {

TranspositionTable::TranspositionTable() : entries_(new TtEntry[ENTRIES]()) {}

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
