// The game's random primitives over exact scripted draws: the uniform draw,
// the end square with its turn-back at the edges (the random square shows in
// the computer's choice line); and one seeded fleet (the key storm checks
// thousands more).

#include <gtest/gtest.h>

#include "core/game.h"
#include "tests/doubles/grid_checks.h"
#include "tests/doubles/test_random.h"
#include "tests/doubles/test_rig.h"

namespace keelmark {
namespace {

using testing::CountCells;
using testing::FleetIsWellFormed;
using testing::ScriptedRandom;
using testing::TestRig;

class RandomPrimitivesTest : public ::testing::Test {
 protected:
  RandomPrimitivesTest() : rig(random) { rig.PrepareLikeStartUp(); }

  const ShipInfo& Ship(ShipType type) { return fleet[static_cast<int>(type)]; }

  ScriptedRandom random;
  TestRig rig;
  Game& game = rig.game;
};

TEST_F(RandomPrimitivesTest, UniformDrawIsTheFloorOfTheScaledValuePlusLow) {
  const struct {
    double unit;
    int lo, hi, draw;
  } draws[] = {{0.0, 1, 10, 1}, {0.0999, 1, 10, 1}, {0.1, 1, 10, 2}, {0.55, 1, 10, 6},
               {0.9999999, 1, 10, 10}, {0.24, 1, 4, 1}, {0.25, 1, 4, 2}, {0.74, 1, 4, 3},
               {0.5, 5, 7, 6}};
  for (const auto& d : draws) {
    random.Push(d.unit);
    EXPECT_EQ(game.UniformDraw(d.lo, d.hi), d.draw) << d.unit << " over " << d.lo << ".." << d.hi;
  }
  EXPECT_EQ(random.Remaining(), 0u) << "one value per draw";
}

TEST_F(RandomPrimitivesTest, RandomEndSquareRunsReachSquaresAndTurnsBackAtTheEdges) {
  const struct {
    Square start;
    int direction, reach;
    Square end;
  } cases[] = {
      {{5, 5}, 1, 2, {3, 5}}, {{5, 5}, 2, 2, {7, 5}}, {{5, 5}, 3, 2, {5, 3}}, {{5, 5}, 4, 2, {5, 7}},
      {{2, 4}, 1, 4, {6, 4}},  // a carrier from row 2 going up ends at row 6, not -2
      {{6, 1}, 3, 1, {6, 2}},  // a destroyer from column 1 going left
      {{9, 3}, 2, 3, {6, 3}},  // a battle ship from row 9 going down
      {{1, 8}, 4, 4, {1, 4}},
      {{1, 6}, 4, 4, {1, 10}},  // exactly at the edge is still inside
      {{5, 3}, 1, 4, {1, 3}},
  };
  for (const auto& c : cases) {
    random.PushDirection(c.direction);
    EXPECT_EQ(game.RandomEndSquare(c.start, c.reach, 2 * c.reach), c.end)
        << c.start.row << "," << c.start.column << " direction " << c.direction;
  }
}

TEST_F(RandomPrimitivesTest, PlaceShipAtRandomRetriesATakenSpanWithNewDraws) {
  Grid grid;
  FillWithWater(grid);
  WriteShip(grid, {1, 1}, {1, 2}, 'D');
  // A1 going right would cover the destroyer: start and direction are drawn
  // again.
  random.PushSquare(1, 1);
  random.PushDirection(4);
  random.PushSquare(3, 3);
  random.PushDirection(2);
  game.PlaceShipAtRandom(grid, Ship(ShipType::Submarine));
  EXPECT_EQ(random.Remaining(), 0u);
  EXPECT_EQ(CountCells(grid, 'S'), 3);
  for (int r = 3; r <= 5; ++r) EXPECT_EQ(CellOf(grid, r, 3), 'S') << "row " << r;
  EXPECT_EQ(CellOf(grid, 1, 1), 'D');
  EXPECT_EQ(CellOf(grid, 1, 2), 'D');
  // Left at the end square after ordering: the one furthest down.
  EXPECT_EQ(game.currentRow, 5);
  EXPECT_EQ(game.currentColumn, 3);
}

TEST(RandomFleet, PlaceComputerFleetIsSilentAndTouchesOnlyItsGrid) {
  TestRig seededRig(7);
  seededRig.PrepareLikeStartUp();
  FillWithWater(seededRig.game.state.playerGrid);
  FillWithWater(seededRig.game.state.computerGrid);
  seededRig.game.PlaceComputerFleet();
  EXPECT_TRUE(FleetIsWellFormed(seededRig.game.state.computerGrid));
  EXPECT_EQ(CountCells(seededRig.game.state.playerGrid, waterMark), 100);
  EXPECT_EQ(seededRig.log.Size(), 0u) << seededRig.log.Dump();
}

}  // namespace
}  // namespace keelmark
