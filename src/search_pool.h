// Helper threads for a parallel search: each searches the same root as the
// main thread at the same time, sharing its table, so that what one finds
// the others read. The main thread alone reads the clock, reports and
// answers; the helpers stop when it has finished. Between searches they
// sleep.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "output.h"
#include "search.h"
#include "signals.h"
#include "transposition.h"

namespace kestrune {

class SearchPool {
public:
    SearchPool(TranspositionTable& table, const SearchSignals& signals);
    ~SearchPool();
    SearchPool(const SearchPool&) = delete;
    SearchPool& operator=(const SearchPool&) = delete;

    // Replaces the helpers by `count` new ones; the number actually started
    // (fewer when the system refuses a thread).
    std::size_t resize(std::size_t count);
    std::size_t size() const { return helpers_.size(); }

    // Wakes every helper on the root; returns at once.
    void start(const Game& game, const SearchLimits& limits);
    // Tells the helpers to stop; returns at once.
    void halt() { halt_.store(true); }
    // Stops the helpers and waits until all are idle; their node total.
    std::uint64_t finish();
    // The leaves the helpers counted since the last call (since start first).
    std::uint64_t take_new_leaves();

private:
    class SilentSink final : public OutputSink {
    public:
        void write_line(std::string_view) override {}
    };
    struct Helper {
        Helper(TranspositionTable& table, OutputSink& output, const SearchSignals& signals);
        Searcher searcher;
        std::atomic<std::uint64_t> published_leaves{0};
        std::uint64_t nodes = 0;
        std::thread thread;
    };

    void run(Helper& helper, int first_depth);
    void stop_all();

    TranspositionTable& table_;
    const SearchSignals& signals_;
    SilentSink sink_;
    std::vector<std::unique_ptr<Helper>> helpers_;
    std::atomic<bool> halt_{false};
    std::uint64_t leaves_taken_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    // Guarded by mutex_: the current search, its number, the helpers still at it.
    Game game_;
    SearchLimits limits_;
    std::uint64_t generation_ = 0;
    std::size_t running_ = 0;
    bool quitting_ = false;
};

}  // namespace kestrune
