// One shot at a ship's square: the cell, the ship's hit counter and the sunk
// counter of the side that fired (a miss shows in both turns' screen tests).

#include <gtest/gtest.h>

#include "core/game_state.h"

namespace keelmark {
namespace {

struct Side {
  Grid grid{};
  ShipHits hits{};
  std::int32_t sunk = 0;

  Side() { FillWithWater(grid); }
  ShotOutcome Fire(int row, int column, const ShipInfo** ship = nullptr) {
    return ResolveShot(grid, hits, sunk, row, column, ship);
  }
};

TEST(ResolveShot, AFiredSquareChangesNothing) {
  Side side;
  CellOf(side.grid, 1, 1) = 'D';
  CellOf(side.grid, 1, 2) = 'D';
  ASSERT_EQ(side.Fire(1, 1), ShotOutcome::Hit);
  const Grid before = side.grid;
  EXPECT_EQ(side.Fire(1, 1), ShotOutcome::AlreadyFired);
  EXPECT_EQ(side.grid, before);
  EXPECT_EQ(side.hits[static_cast<int>(ShipType::Destroyer)], 1);
  EXPECT_EQ(side.sunk, 0);
}

TEST(ResolveShot, EachShipSinksExactlyAtItsLengthAndOnlyOnce) {
  Side side;
  // One ship per row, in fleet order.
  for (int i = 0; i < shipTypeCount; ++i) {
    for (int c = 1; c <= fleet[i].length; ++c) CellOf(side.grid, i + 1, c) = fleet[i].letter;
  }
  for (int i = 0; i < shipTypeCount; ++i) {
    const ShipInfo& ship = fleet[i];
    for (int c = 1; c <= ship.length; ++c) {
      const ShipInfo* hit = nullptr;
      const ShotOutcome outcome = side.Fire(i + 1, c, &hit);
      ASSERT_NE(hit, nullptr) << ship.name;
      EXPECT_EQ(hit->type, ship.type) << ship.name;
      EXPECT_EQ(side.hits[static_cast<int>(ship.type)], c) << ship.name;
      if (c < ship.length) {
        EXPECT_EQ(outcome, ShotOutcome::Hit) << ship.name << " hit " << c;
        EXPECT_EQ(side.sunk, i) << ship.name;
      } else {
        EXPECT_EQ(outcome, ShotOutcome::Sunk) << ship.name;
        EXPECT_EQ(side.sunk, i + 1) << ship.name;
      }
    }
    // Firing at the sunk ship again cannot sink it a second time.
    EXPECT_EQ(side.Fire(i + 1, ship.length), ShotOutcome::AlreadyFired);
    EXPECT_EQ(side.sunk, i + 1);
  }
  EXPECT_EQ(side.sunk, 5);
}

}  // namespace
}  // namespace keelmark
