#pragma once
// A game over doubles, prepared as start-up leaves it, with both grids water
// and an empty log, for calling one routine at a time.

#include <gtest/gtest.h>

#include <string>

#include "core/game.h"
#include "tests/doubles/test_random.h"
#include "tests/doubles/test_rig.h"

namespace keelmark {

using testing::Golden;

class ScreenTest : public ::testing::Test {
 protected:
  explicit ScreenTest(int rows = 25, int columns = 80) : rig(random, rows, columns) {
    FillWithWater(game.state.playerGrid);
    FillWithWater(game.state.computerGrid);
    game.ResetHunt();
    rig.PrepareLikeStartUp();
  }

  // Writes text at a position without leaving anything in the log, to set
  // up what an earlier step left on the screen.
  void Paint(int row, int column, const std::string& text) {
    console.MoveCursor(row, column);
    console.PrintText(text);
    rig.log.Clear();
  }

  // The player's grid and the computer's, one cell at a time.
  char& Home(int row, int column) { return CellOf(game.state.playerGrid, row, column); }
  char& Target(int row, int column) { return CellOf(game.state.computerGrid, row, column); }

  int At(const testing::Event& event, int from = 0) const { return rig.log.IndexOf(event, from); }
  int FirstInput(int from = 0) const { return rig.log.IndexOfKind<testing::Took>(from); }
  int WriteAt(int row, int column, int from = 0) const {
    return rig.log.IndexOfWriteCovering(row, column, from);
  }
  std::string Dump() const { return rig.log.Dump(); }

  testing::ScriptedRandom random;
  testing::TestRig rig;
  Game& game = rig.game;
  testing::VirtualTerminal& terminal = rig.terminal;
  Console& console = rig.console;
  testing::EventLog& log = rig.log;

  static constexpr int notFound = testing::EventLog::notFound;
  using Spoke = testing::Spoke;
  using Sounded = testing::Sounded;
};

}  // namespace keelmark
