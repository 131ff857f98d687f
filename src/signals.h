// The signals the input thread gives a running search: "stop", and
// "ponderhit" (the opponent played the move the search was pondering on).
// One atomic word carries both, so that a thread can sleep until either.
#pragma once

#include <atomic>
#include <cstdint>

namespace kestrune {

enum class Signal : std::uint32_t { Stop = 1, PonderHit = 2 };

class SearchSignals {
public:
    // Raising wakes every thread that waits.
    void raise(Signal signal);
    void lower_all();
    bool raised(Signal signal) const { return (state_.load(std::memory_order_acquire) & bit(signal)) != 0; }
    // Sleeps (no polling) until one of the two signals is raised.
    void wait_for(Signal signal) const;
    void wait_for_either(Signal first, Signal second) const;

private:
    static constexpr std::uint32_t bit(Signal signal) { return static_cast<std::uint32_t>(signal); }
    void wait_for_mask(std::uint32_t mask) const;

    std::atomic<std::uint32_t> state_{0};
};

}  // namespace kestrune
