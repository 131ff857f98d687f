#include "signals.h"

namespace kestrune {

void SearchSignals::raise(Signal signal) {
    state_.fetch_or(bit(signal), std::memory_order_acq_rel);
    state_.notify_all();
}

void SearchSignals::lower_all() { state_.store(0, std::memory_order_release); }

void SearchSignals::wait_for(Signal signal) const { wait_for_mask(bit(signal)); }

void SearchSignals::wait_for_either(Signal first, Signal second) const { wait_for_mask(bit(first) | bit(second)); }

void SearchSignals::wait_for_mask(std::uint32_t mask) const {
    // atomic::wait may return spuriously, and wakes on any change: recheck.
    std::uint32_t seen = state_.load(std::memory_order_acquire);
    while ((seen & mask) == 0) {
        state_.wait(seen, std::memory_order_acquire);
        seen = state_.load(std::memory_order_acquire);
    }
}

}  // namespace kestrune
