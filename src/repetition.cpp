#include "repetition.h"

#include <array>

namespace kestrune {
namespace {

// Index: white king side, white queen side, black king side, black queen side
// as bits 0-3. No rights leave the key as it is.
constexpr std::array<std::uint64_t, 16> CASTLING_RIGHTS_KEYS = [] {
    std::array<std::uint64_t, 16> keys{};
    std::uint64_t state = 0x6A09E667F3BCC909ULL;
    for (std::size_t i = 1; i < keys.size(); ++i) {
        // splitmix64
        state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        keys[i] = z ^ (z >> 31);
    }
    return keys;
}();

}  // namespace

std::uint64_t repetition_key(const BoardState& board) {
    const unsigned rights = (has_castling_right(board, White, Kingside) ? 1U : 0U) |
                            (has_castling_right(board, White, Queenside) ? 2U : 0U) |
                            (has_castling_right(board, Black, Kingside) ? 4U : 0U) |
                            (has_castling_right(board, Black, Queenside) ? 8U : 0U);
    return board.hash ^ CASTLING_RIGHTS_KEYS[rights];
}

void RepetitionHistory::start(std::span<const std::uint64_t> game_keys) {
    game_keys_.assign(game_keys.begin(), game_keys.end());
    line_length_ = 0;
    floor_ = 0;
}

bool RepetitionHistory::is_third_occurrence(std::uint64_t key, std::uint64_t reversible_plies,
                                            bool reached_by_null) const {
    if (reached_by_null) {
        return false;
    }
    const std::size_t countable_line = line_length_ - floor_;
    // The key holds the side to move, so only every second position can match.
    int earlier = 0;
    for (std::uint64_t back = 2; back <= reversible_plies; back += 2) {
        std::uint64_t candidate;
        if (back <= countable_line) {
            candidate = line_keys_[line_length_ - back];
        } else if (floor_ == 0 && back <= line_length_ + game_keys_.size()) {
            candidate = game_keys_[game_keys_.size() + line_length_ - back];
        } else {
            break;
        }
        if (candidate == key && ++earlier == 2) {
            return true;
        }
    }
    return false;
}

void RepetitionHistory::push(std::uint64_t key, bool reached_by_null) {
    line_keys_[line_length_] = key;
    floor_before_[line_length_] = static_cast<std::uint16_t>(floor_);
    ++line_length_;
    if (reached_by_null) {
        floor_ = line_length_;
    }
}

void RepetitionHistory::pop() {
    --line_length_;
    floor_ = floor_before_[line_length_];
}

}  // namespace kestrune
