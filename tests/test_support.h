// Helpers shared by the in-process tests.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

#include "fen.h"

namespace kestrune::testing {

// The board of a FEN the test relies on; a rejected FEN fails the test and
// yields the start position so that the test can go on to report more.
inline BoardState board_of(std::string_view fen) {
    const FenResult result = from_fen(fen);
    if (!result.board) {
        ADD_FAILURE() << "test FEN rejected: " << fen << ": " << result.error;
        return *from_fen(START_FEN).board;
    }
    return *result.board;
}

// Parameterised cases named by their `name` field.
template <typename Case>
std::string case_name(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

}  // namespace kestrune::testing
