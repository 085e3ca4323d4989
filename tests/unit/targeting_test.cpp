// The computer's follow-up walk, step by step: each test sets the targeting
// memory as the computer's turn would leave it and checks the next target.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

// A hunt from its first hit: the direction drawn, squares fired at before
// it began, then each shot's outcome and the square the walk chooses next.
struct Walk {
  const char* name;
  int direction;
  std::vector<Square> firedBefore;
  Square firstHit;
  std::vector<std::pair<bool, Square>> shots;  // hit there?, the square chosen
  int directionChanges;                        // after the last choice
};

void PrintTo(const Walk& w, std::ostream* os) { *os << w.name; }

class HuntWalk : public TargetingTest, public ::testing::WithParamInterface<Walk> {};

TEST_P(HuntWalk, ChoosesTheseSquares) {
  const Walk& w = GetParam();
  random.PushDirection(w.direction);
  for (Square s : w.firedBefore) Cell(s.row, s.column) = firedMark;
  Hit(w.firstHit.row, w.firstHit.column);
  Square previous = Choose();
  for (const auto& [hit, next] : w.shots) {
    ASSERT_EQ(previous, next) << "after " << previous.row << "," << previous.column;
    if (hit) Hit(next.row, next.column);
    else Miss(next.row, next.column);
    previous = Choose();
  }
  EXPECT_EQ(game.entryText, SquareText(previous.row, previous.column)) << "no comma";
  EXPECT_EQ(game.hunt.huntOrigin, w.firstHit);
  EXPECT_EQ(game.hunt.directionChanges, w.directionChanges);
  EXPECT_EQ(random.Remaining(), 0u) << "one draw per hunt";
}

// Each listed square is the one chosen after the shot before it landed;
// the changes are counted after the choice that follows the last shot.
INSTANTIATE_TEST_SUITE_P(
    Hunts, HuntWalk,
    ::testing::Values(
        Walk{"first_step_up", 1, {}, {5, 5}, {{true, {4, 5}}}, 0},
        Walk{"first_step_down", 2, {}, {5, 5}, {{true, {6, 5}}}, 0},
        Walk{"first_step_left", 3, {}, {5, 5}, {{true, {5, 4}}}, 0},
        Walk{"first_step_right", 4, {}, {5, 5}, {{true, {5, 6}}}, 0},
        Walk{"keeps_going_after_a_hit", 1, {}, {5, 5}, {{true, {4, 5}}, {true, {3, 5}}}, 0},
        Walk{"passes_over_squares_fired_at_before", 1, {{4, 5}, {3, 5}}, {5, 5}, {{true, {2, 5}}}, 0},
        Walk{"turns_back_past_the_origin_after_a_miss", 1, {}, {5, 5}, {{false, {4, 5}}, {true, {6, 5}}}, 1},
        Walk{"turn_back_passes_over_a_fired_square", 3, {{5, 6}}, {5, 5}, {{false, {5, 4}}, {true, {5, 7}}}, 1},
        Walk{"second_change_switches_axis_beside_the_origin", 1, {}, {5, 5},
             {{false, {4, 5}}, {false, {6, 5}}, {false, {5, 4}}, {true, {5, 6}}}, 4},
        Walk{"bounces_off_the_edge", 1, {}, {1, 1}, {{true, {2, 1}}}, 1},
        Walk{"corner_miss_leads_along_the_top_row", 1, {}, {1, 1}, {{false, {2, 1}}, {true, {1, 2}}}, 4},
        Walk{"a_bounce_that_is_the_second_change_drops_its_step", 2, {}, {2, 5},
             {{false, {3, 5}}, {true, {1, 5}}, {true, {2, 6}}}, 3},
        Walk{"a_bounce_far_from_the_origin_goes_on_across_beside_the_origin", 1, {}, {3, 5},
             {{false, {2, 5}}, {true, {4, 5}}, {true, {5, 5}}, {true, {6, 5}}, {true, {7, 5}},
              {true, {8, 5}}, {true, {9, 5}}, {true, {10, 5}}, {false, {3, 4}}}, 4}),
    [](const auto& info) { return std::string(info.param.name); });

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

}  // namespace
}  // namespace keelmark
