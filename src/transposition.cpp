#include "transposition.h"

#include <bit>
#include <new>

#include "platform.h"

namespace kestrune {

static_assert(sizeof(std::atomic<std::uint64_t>) == 8 && std::atomic<std::uint64_t>::is_always_lock_free);

TranspositionTable::TranspositionTable(std::size_t mib) {
    if (!resize(mib)) {
        throw std::bad_alloc();
    }
}

TranspositionTable::~TranspositionTable() { platform::free_table(entries_, count_ * sizeof(Entry)); }

bool TranspositionTable::resize(std::size_t mib) {
    if (mib < 1 || mib > MAX_MIB) {
        return false;
    }
    const std::size_t count = mib * (std::size_t{1} << 20) / sizeof(Entry);
    // Huge-page aligned: random probes over a large table miss the TLB far less.
    void* memory = platform::allocate_table(count * sizeof(Entry));
    if (memory == nullptr) {
        return false;
    }
    platform::free_table(entries_, count_ * sizeof(Entry));
    entries_ = static_cast<Entry*>(memory);
    for (std::size_t i = 0; i < count; ++i) {
        new (&entries_[i]) Entry{};  // empty: both words zero
    }
    count_ = count;
    mib_ = mib;
    // The index takes the low bits of the key, as many as the next power of
    // two above the count needs.
    shift_ = 64U - static_cast<unsigned>(std::bit_width(std::bit_ceil(count) - 1));
    return true;
}

void TranspositionTable::clear() {
    for (std::size_t i = 0; i < count_; ++i) {
        entries_[i].check.store(0, std::memory_order_relaxed);
        entries_[i].data.store(0, std::memory_order_relaxed);
    }
}

}  // namespace kestrune
