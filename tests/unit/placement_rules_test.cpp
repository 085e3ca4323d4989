// The placement text and the validity rules shared by placement by hand and
// at random (the screen and random placement tests see the ships written).

#include <gtest/gtest.h>

#include <string>

#include "core/game.h"

namespace keelmark {
namespace {

Grid WaterGrid() {
  Grid grid;
  FillWithWater(grid);
  return grid;
}

// The two fields split at the first comma, the lower end first, the span
// counting row and column differences together.
TEST(ParsePlacement, GivesOrderedEndsAndTheSpan) {
  const struct {
    const char* text;
    Square start;
    Square end;
    int span;
  } cases[] = {
      {"a1,a5", {1, 1}, {1, 5}, 5},
      {"a5,a1", {1, 1}, {1, 5}, 5},
      {"C5,a5", {1, 5}, {3, 5}, 3},
      {"b3,e3", {2, 3}, {5, 3}, 4},
      {"a10,a7", {1, 7}, {1, 10}, 4},
      {"d4,d4", {4, 4}, {4, 4}, 1},
      {"b2,b4,zz9", {2, 2}, {2, 4}, 3},
      // Without a comma the second field is empty and reads as row -65,
      // column 0; the sum is negative, so it becomes the start.
      {"a1", {-65, 0}, {1, 1}, 68},
      // Diagonals are not refused here: their span is the sum of both moves.
      {"a1,b2", {1, 1}, {2, 2}, 3},
      {"a1,j10", {1, 1}, {10, 10}, 19},
      {"a3,c1", {1, 3}, {3, 1}, 1},
  };
  for (const auto& c : cases) {
    const Placement p = ParsePlacement(c.text);
    EXPECT_EQ(p.start, c.start) << c.text;
    EXPECT_EQ(p.end, c.end) << c.text;
    EXPECT_EQ(p.span, c.span) << c.text;
  }
}

TEST(IsValidPlacement, AcceptsStraightRunsOfTheShipsLengthOnWater) {
  const Grid grid = WaterGrid();
  EXPECT_TRUE(IsValidPlacement(grid, ParsePlacement("a1,a2"), 2));
  EXPECT_TRUE(IsValidPlacement(grid, ParsePlacement("A2,a1"), 2));
  EXPECT_TRUE(IsValidPlacement(grid, ParsePlacement("f10,j10"), 5));
  EXPECT_TRUE(IsValidPlacement(grid, ParsePlacement("j7,J10"), 4));
}

TEST(IsValidPlacement, RefusesDiagonalsOffGridAndWrongLengths) {
  const Grid grid = WaterGrid();
  // Span 3 but on a diagonal.
  EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement("a1,b2"), 3));
  // Neither in a row nor a column, span 1.
  EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement("a3,c1"), 1));
  for (const char* offGrid : {"k1,k2", "a0,a1", "a10,a11", "j1,k1"}) {
    EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement(offGrid), 2)) << offGrid;
  }
  EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement("a1,a3"), 2));
  EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement("a1,a2"), 3));
  EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement("a1"), 2));
  EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement("a1,"), 2));
  EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement(""), 2));
}

TEST(IsValidPlacement, ShipsMayTouchButNotShareASquare) {
  Grid grid = WaterGrid();
  WriteShip(grid, {1, 1}, {1, 2}, 'D');
  EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement("a2,c2"), 3));
  EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement("a1,a3"), 3));
  EXPECT_TRUE(IsValidPlacement(grid, ParsePlacement("a3,a5"), 3));  // end to end
  EXPECT_TRUE(IsValidPlacement(grid, ParsePlacement("b1,b3"), 3));  // side by side
  // A fired-at square is not water either, in the middle of a span too.
  CellOf(grid, 8, 8) = firedMark;
  EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement("h7,h9"), 3));
  EXPECT_FALSE(IsValidPlacement(grid, ParsePlacement("g8,i8"), 3));
}

}  // namespace
}  // namespace keelmark
