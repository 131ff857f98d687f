// The positions a search node may repeat, as hash keys: the game's, from the
// position the last "position" command set up to the search root, and those
// of the line the search is on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "board_state.h"

namespace kestrune {

// The hash key with the castling rights mixed in: the table's key leaves them
// out, but a position with other rights is another position.
std::uint64_t repetition_key(const BoardState& board);

class RepetitionHistory {
public:
    // Deep enough for every line: a node and its null-move child share a ply.
    static constexpr std::size_t LINE_CAPACITY = 512;

    // The game's positions, the set-up position first and the search root
    // last; empties the line.
    void start(std::span<const std::uint64_t> game_keys);

    // Whether a node with this key is the third occurrence of its position.
    // Earlier occurrences count on the line back to the most recent null move
    // (a node reached by one repeats nothing), and in the game only while the
    // line holds no null move. `reversible_plies` (the halfmove clock) bounds
    // the look back: no position before a capture or pawn move comes again.
    bool is_third_occurrence(std::uint64_t key, std::uint64_t reversible_plies, bool reached_by_null) const;

    // A node enters the line before it searches its children, and leaves it
    // when it returns.
    void push(std::uint64_t key, bool reached_by_null);
    void pop();

    std::size_t line_length() const { return line_length_; }

private:
    std::vector<std::uint64_t> game_keys_;
    std::array<std::uint64_t, LINE_CAPACITY> line_keys_{};
    // The floor each entry replaced, so that leaving restores it.
    std::array<std::uint16_t, LINE_CAPACITY> floor_before_{};
    std::size_t line_length_ = 0;
    // The first line entry after the most recent null move. Null moves are
    // made only below the root, after an entry, so a floor above 0 also says
    // that the line holds a null move.
    std::size_t floor_ = 0;
};

// Enters a node into the line for as long as it lives.
class LineEntry {
public:
    LineEntry(RepetitionHistory& history, std::uint64_t key, bool reached_by_null) : history_(history) {
        history_.push(key, reached_by_null);
    }
    ~LineEntry() { history_.pop(); }
    LineEntry(const LineEntry&) = delete;
    LineEntry& operator=(const LineEntry&) = delete;

private:
    RepetitionHistory& history_;
};

}  // namespace kestrune
