#include "search_pool.h"

#include <system_error>

namespace kestrune {

SearchPool::Helper::Helper(TranspositionTable& table, OutputSink& output, const SearchSignals& signals)
    : searcher(table, output, signals) {}

SearchPool::SearchPool(TranspositionTable& table, const SearchSignals& signals) : table_(table), signals_(signals) {}

SearchPool::~SearchPool() { stop_all(); }

void SearchPool::stop_all() {
    {
        const std::lock_guard lock(mutex_);
        quitting_ = true;
    }
    wake_.notify_all();
    for (const auto& helper : helpers_) {
        helper->thread.join();
    }
    helpers_.clear();
    const std::lock_guard lock(mutex_);
    quitting_ = false;
}

std::size_t SearchPool::resize(std::size_t count) {
    stop_all();
    for (std::size_t i = 0; i < count; ++i) {
        auto helper = std::make_unique<Helper>(table_, sink_, signals_);
        helper->searcher.halt = &halt_;
        helper->searcher.published_leaves = &helper->published_leaves;
        // Half the helpers start one depth deeper, so that the threads
        // spread over two depths instead of all doing the same work.
        const int first_depth = 1 + static_cast<int>(i % 2);
        try {
            helper->thread = std::thread(&SearchPool::run, this, std::ref(*helper), first_depth);
        } catch (const std::system_error&) {
            break;
        }
        helpers_.push_back(std::move(helper));
    }
    return helpers_.size();
}

void SearchPool::run(Helper& helper, int first_depth) {
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [&] { return quitting_ || generation_ != seen; });
        if (quitting_) {
            return;
        }
        seen = generation_;
        const Game game = game_;
        const SearchLimits limits = limits_;
        lock.unlock();
        helper.nodes = run_helper_search(helper.searcher, game, limits, first_depth);
        lock.lock();
        if (--running_ == 0) {
            idle_.notify_all();
        }
    }
}

void SearchPool::start(const Game& game, const SearchLimits& limits) {
    if (helpers_.empty()) {
        return;
    }
    halt_.store(false);
    leaves_taken_ = 0;
    for (const auto& helper : helpers_) {
        helper->published_leaves.store(0, std::memory_order_relaxed);
    }
    {
        const std::lock_guard lock(mutex_);
        game_ = game;
        limits_ = limits;
        // Only the main thread's limits end the search: a helper's own node
        // count and the clock are not its business.
        limits_.max_nodes = 0xFFFFFFFE;
        limits_.time_limit_ms = NO_TIME_LIMIT;
        limits_.ponder = false;
        running_ = helpers_.size();
        ++generation_;
    }
    wake_.notify_all();
}

std::uint64_t SearchPool::finish() {
    if (helpers_.empty()) {
        return 0;
    }
    halt();
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return running_ == 0; });
    std::uint64_t nodes = 0;
    for (const auto& helper : helpers_) {
        nodes += helper->nodes;
    }
    return nodes;
}

std::uint64_t SearchPool::take_new_leaves() {
    std::uint64_t total = 0;
    for (const auto& helper : helpers_) {
        total += helper->published_leaves.load(std::memory_order_relaxed);
    }
    const std::uint64_t fresh = total - leaves_taken_;
    leaves_taken_ = total;
    return fresh;
}

}  // namespace kestrune
