#pragma once
// Checks on whole grids that many tests share.

#include <gtest/gtest.h>

#include "core/game_state.h"

namespace keelmark::testing {

int CountCells(const Grid& grid, char code);

// Exactly one ship of each type, each on exactly its length of consecutive
// squares in one row or one column, and water everywhere else.
::testing::AssertionResult FleetIsWellFormed(const Grid& grid);

}  // namespace keelmark::testing
