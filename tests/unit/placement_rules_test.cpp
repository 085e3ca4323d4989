// The placement text, the validity rules and the two grid primitives shared
// by placement by hand and at random.

#include <gtest/gtest.h>

#include <string>

#include "core/game.h"
#include "tests/doubles/grid_checks.h"

namespace keelmark {
namespace {

using testing::CountCells;

Grid WaterGrid() {
  Grid grid;
  FillWithWater(grid);
  return grid;
}

TEST(ParsePlacement, SplitsAtTheFirstCommaAndOrdersTheEnds) {
  const Placement p = ParsePlacement("a1,a5");
  EXPECT_EQ(p.start, (Square{1, 1}));
  EXPECT_EQ(p.end, (Square{1, 5}));
  EXPECT_EQ(p.span, 5);

  // Given end first, the same squares come out.
  const Placement reversed = ParsePlacement("a5,a1");
  EXPECT_EQ(reversed.start, (Square{1, 1}));
  EXPECT_EQ(reversed.end, (Square{1, 5}));
  EXPECT_EQ(reversed.span, 5);

  const Placement vertical = ParsePlacement("C5,a5");
  EXPECT_EQ(vertical.start, (Square{1, 5}));
  EXPECT_EQ(vertical.end, (Square{3, 5}));
  EXPECT_EQ(vertical.span, 3);

  EXPECT_EQ(ParsePlacement("b3,e3").span, 4);
  EXPECT_EQ(ParsePlacement("a10,a7").start, (Square{1, 7}));
}

TEST(ParsePlacement, IgnoresEverythingAfterASecondComma) {
  const Placement p = ParsePlacement("b2,b4,zz9");
  EXPECT_EQ(p.start, (Square{2, 2}));
  EXPECT_EQ(p.end, (Square{2, 4}));
  EXPECT_EQ(p.span, 3);
}

TEST(ParsePlacement, WithoutACommaTheSecondFieldIsEmpty) {
  // The empty field reads as row -65, column 0; s is negative, so it becomes
  // the start.
  const Placement p = ParsePlacement("a1");
  EXPECT_EQ(p.start, (Square{-65, 0}));
  EXPECT_EQ(p.end, (Square{1, 1}));
  EXPECT_EQ(p.span, 68);
}

TEST(ParsePlacement, SpanCountsRowAndColumnDifferencesTogether) {
  // A diagonal is not refused here: its span is the sum of both moves.
  EXPECT_EQ(ParsePlacement("a1,b2").span, 3);
  EXPECT_EQ(ParsePlacement("a1,j10").span, 19);
  EXPECT_EQ(ParsePlacement("a3,c1").span, 1);
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
}

TEST(CheckPlacement, TakenWhenAnySquareOfTheSpanIsNotWater) {
  Grid grid = WaterGrid();
  CellOf(grid, 5, 5) = 'C';
  EXPECT_FALSE(CheckPlacement(grid, {5, 1}, {5, 5}));
  EXPECT_FALSE(CheckPlacement(grid, {1, 5}, {5, 5}));
  EXPECT_TRUE(CheckPlacement(grid, {5, 6}, {5, 10}));
  EXPECT_TRUE(CheckPlacement(grid, {4, 1}, {4, 5}));
  // A fired-at square is not water either.
  CellOf(grid, 8, 8) = firedMark;
  EXPECT_FALSE(CheckPlacement(grid, {8, 7}, {8, 9}));
}

TEST(WriteShip, FillsExactlyTheSpanWithTheLetter) {
  Grid grid = WaterGrid();
  WriteShip(grid, {2, 3}, {2, 6}, 'B');
  WriteShip(grid, {6, 10}, {10, 10}, 'C');
  EXPECT_EQ(CountCells(grid, 'B'), 4);
  EXPECT_EQ(CountCells(grid, 'C'), 5);
  EXPECT_EQ(CountCells(grid, waterMark), 91);
  for (int c = 3; c <= 6; ++c) EXPECT_EQ(CellOf(grid, 2, c), 'B');
  for (int r = 6; r <= 10; ++r) EXPECT_EQ(CellOf(grid, r, 10), 'C');
}

TEST(OrderSquares, PutsTheLowerEndFirstAndReturnsTheSpan) {
  Square a{1, 5}, b{1, 1};
  EXPECT_EQ(OrderSquares(a, b), 5);
  EXPECT_EQ(a, (Square{1, 1}));
  EXPECT_EQ(b, (Square{1, 5}));

  Square c{3, 2}, d{7, 2};
  EXPECT_EQ(OrderSquares(c, d), 5);
  EXPECT_EQ(c, (Square{3, 2}));
  EXPECT_EQ(d, (Square{7, 2}));

  Square e{4, 4}, f{4, 4};
  EXPECT_EQ(OrderSquares(e, f), 1);
}

}  // namespace
}  // namespace keelmark
