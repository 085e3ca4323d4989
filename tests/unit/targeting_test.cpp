// The computer's follow-up walk, step by step: each test sets the targeting
// memory as the computer's turn would leave it and checks the next target.

#include <gtest/gtest.h>

#include "core/game.h"
#include "tests/doubles/test_random.h"
#include "tests/doubles/test_rig.h"

namespace keelmark {
namespace {

using testing::ScriptedRandom;
using testing::TestRig;

class TargetingTest : public ::testing::Test {
 protected:
  TargetingTest() : rig(random) {
    FillWithWater(game.state.playerGrid);
    game.ResetHunt();
  }

  char& Cell(int row, int column) { return CellOf(game.state.playerGrid, row, column); }

  // What the turn leaves after a hit: the square fired, the cursor on it,
  // follow-up on.
  void Hit(int row, int column) {
    Cell(row, column) = firedMark;
    game.lastComputerShot = 1;
    game.hunt.huntMode = 1;
    game.hunt.huntCursor = {row, column};
  }
  // What the turn leaves after a miss: only the square and the last shot.
  void Miss(int row, int column) {
    Cell(row, column) = firedMark;
    game.lastComputerShot = -1;
  }
  Square Target() const { return {game.currentRow, game.currentColumn}; }
  // Chooses, and expects the square to be one not fired at.
  Square Choose() {
    game.ChooseTarget();
    EXPECT_NE(CellOf(game.state.playerGrid, game.currentRow, game.currentColumn), firedMark);
    return Target();
  }

  ScriptedRandom random;
  TestRig rig;
  Game& game = rig.game;
};

TEST(ChooseTargetNewHunt, FirstStepIsTheNeighbourInTheDrawnDirection) {
  const struct {
    int direction;
    Square target;
    const char* text;
  } cases[] = {{1, {4, 5}, "D 5"}, {2, {6, 5}, "F 5"}, {3, {5, 4}, "E 4"}, {4, {5, 6}, "E 6"}};
  for (const auto& c : cases) {
    ScriptedRandom random;
    random.PushDirection(c.direction);
    TestRig rig(random);
    Game& game = rig.game;
    FillWithWater(game.state.playerGrid);
    game.ResetHunt();
    CellOf(game.state.playerGrid, 5, 5) = firedMark;
    game.lastComputerShot = 1;
    game.hunt.huntMode = 1;
    game.hunt.huntCursor = {5, 5};

    game.ChooseTarget();
    EXPECT_EQ(game.hunt.huntOrigin, (Square{5, 5})) << "direction " << c.direction;
    EXPECT_EQ(game.hunt.huntDirection, c.direction);
    EXPECT_EQ(game.currentRow, c.target.row) << "direction " << c.direction;
    EXPECT_EQ(game.currentColumn, c.target.column) << "direction " << c.direction;
    EXPECT_EQ(game.entryText, c.text) << "follow-up text has no comma";
    EXPECT_EQ(game.hunt.directionChanges, 0);
    EXPECT_EQ(random.Remaining(), 0u);
  }
}

TEST_F(TargetingTest, KeepsGoingAfterAHitWithoutDrawingAgain) {
  random.PushDirection(1);
  Hit(5, 5);
  ASSERT_EQ(Choose(), (Square{4, 5}));
  Hit(4, 5);
  EXPECT_EQ(Choose(), (Square{3, 5}));
  EXPECT_EQ(game.hunt.huntOrigin, (Square{5, 5}));
  EXPECT_EQ(random.Used(), 1u);
}

TEST_F(TargetingTest, PassesOverSquaresFiredAtBefore) {
  random.PushDirection(1);
  Cell(4, 5) = firedMark;
  Cell(3, 5) = firedMark;
  Hit(5, 5);
  EXPECT_EQ(Choose(), (Square{2, 5}));
  EXPECT_EQ(game.hunt.directionChanges, 0) << "fired squares are not misses";
}

TEST_F(TargetingTest, TurnsBackToTheOtherSideOfTheOriginAfterAMiss) {
  random.PushDirection(1);
  Hit(5, 5);
  ASSERT_EQ(Choose(), (Square{4, 5}));
  Miss(4, 5);
  EXPECT_EQ(Choose(), (Square{6, 5}));
  EXPECT_EQ(game.hunt.huntDirection, 2);
  EXPECT_EQ(game.hunt.directionChanges, 1);
  EXPECT_EQ(game.lastComputerShot, 1);
  EXPECT_EQ(game.entryText, "F 5");
}

TEST_F(TargetingTest, TurnBackPassesOverAFiredSquareBeyondTheOrigin) {
  random.PushDirection(3);
  Cell(5, 6) = firedMark;
  Hit(5, 5);
  ASSERT_EQ(Choose(), (Square{5, 4}));
  Miss(5, 4);
  EXPECT_EQ(Choose(), (Square{5, 7}));
  EXPECT_EQ(game.hunt.directionChanges, 1);
}

TEST_F(TargetingTest, SecondChangeSwitchesToTheOtherAxisBesideTheOrigin) {
  random.PushDirection(1);
  Hit(5, 5);
  ASSERT_EQ(Choose(), (Square{4, 5}));
  Miss(4, 5);
  ASSERT_EQ(Choose(), (Square{6, 5}));
  Miss(6, 5);
  // Turn-back to direction 1 is the second change; the switch makes it 3.
  EXPECT_EQ(Choose(), (Square{5, 4}));
  EXPECT_EQ(game.hunt.huntDirection, 3);
  EXPECT_EQ(game.hunt.directionChanges, 3);
  Miss(5, 4);
  EXPECT_EQ(Choose(), (Square{5, 6}));
  EXPECT_EQ(game.hunt.huntDirection, 4);
  EXPECT_EQ(game.hunt.directionChanges, 4);
}

TEST_F(TargetingTest, GivesUpAboveFourChangesForRandomUnfiredSquares) {
  random.PushDirection(1);
  Hit(5, 5);
  Choose();
  Miss(4, 5);
  Choose();
  Miss(6, 5);
  Choose();
  Miss(5, 4);
  Choose();
  Miss(5, 6);
  // The fifth change: a random square, drawn again while it was fired at.
  random.PushSquare(5, 5);
  random.PushSquare(8, 2);
  EXPECT_EQ(Choose(), (Square{8, 2}));
  EXPECT_GT(game.hunt.directionChanges, 4);
  EXPECT_EQ(game.entryText, "H 2") << "the chosen square's text has no comma";
  EXPECT_EQ(random.Remaining(), 0u);

  // A hit during a given-up hunt does not resume the walk.
  Hit(8, 2);
  random.PushSquare(1, 10);
  EXPECT_EQ(Choose(), (Square{1, 10}));
  EXPECT_EQ(random.Remaining(), 0u);
}

TEST_F(TargetingTest, BouncesOffTheEdgeAndCountsAChange) {
  random.PushDirection(1);
  Hit(1, 1);
  EXPECT_EQ(Choose(), (Square{2, 1}));
  EXPECT_EQ(game.hunt.huntDirection, 2);
  EXPECT_EQ(game.hunt.directionChanges, 1);
}

TEST_F(TargetingTest, CornerMissLeadsAlongTheTopRow) {
  random.PushDirection(1);
  Hit(1, 1);
  ASSERT_EQ(Choose(), (Square{2, 1}));
  Miss(2, 1);
  // Turn-back (2), switch to left (3), bounce off column 0 (4).
  EXPECT_EQ(Choose(), (Square{1, 2}));
  EXPECT_EQ(game.hunt.huntDirection, 4);
  EXPECT_EQ(game.hunt.directionChanges, 4);
}

TEST_F(TargetingTest, BounceThatMakesTheSecondChangeDropsItsStepAndSwitches) {
  random.PushDirection(2);
  Hit(2, 5);
  ASSERT_EQ(Choose(), (Square{3, 5}));
  Miss(3, 5);
  ASSERT_EQ(Choose(), (Square{1, 5}));
  ASSERT_EQ(game.hunt.directionChanges, 1);
  Hit(1, 5);
  // Up from row 1 bounces (second change) and is dropped: the walk goes on
  // from the origin along the row.
  EXPECT_EQ(Choose(), (Square{2, 6}));
  EXPECT_EQ(game.hunt.huntDirection, 4);
  EXPECT_EQ(game.hunt.directionChanges, 3);
}

TEST_F(TargetingTest, SwitchAxisTurnsAQuarterAndReturnsToTheOrigin) {
  const int turned[] = {0, 3, 4, 1, 2};
  for (int d = 1; d <= 4; ++d) {
    game.hunt.huntOrigin = {4, 4};
    game.hunt.huntCursor = {4, 7};
    game.hunt.huntDirection = d;
    game.hunt.directionChanges = 2;
    game.SwitchAxis();
    EXPECT_EQ(game.hunt.huntDirection, turned[d]) << "from " << d;
    EXPECT_EQ(game.hunt.huntCursor, (Square{4, 4}));
    EXPECT_EQ(game.hunt.directionChanges, 3);
  }
}

TEST_F(TargetingTest, ResetHuntKeepsDirectionAndLastShot) {
  game.hunt = {1, {3, 3}, {3, 5}, 4, 3};
  game.lastComputerShot = 1;
  game.ResetHunt();
  EXPECT_EQ(game.hunt.huntMode, -1);
  EXPECT_EQ(game.hunt.huntOrigin, (Square{0, 0}));
  EXPECT_EQ(game.hunt.huntCursor, (Square{0, 0}));
  EXPECT_EQ(game.hunt.directionChanges, 0);
  EXPECT_EQ(game.hunt.huntDirection, 4);
  EXPECT_EQ(game.lastComputerShot, 1);
}

}  // namespace
}  // namespace keelmark
