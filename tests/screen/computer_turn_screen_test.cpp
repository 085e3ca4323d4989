// The computer's turn on screen: the choice line on row 25, the home mark,
// and the order of voice, screen and clips.

#include <vector>

#include "tests/screen/screen_fixture.h"

namespace keelmark {
namespace {

using ComputerTurnScreen = ScreenTest;

TEST_F(ComputerTurnScreen, ChoiceLineIsSpokenThenPrintedInCyanFromColumnTwenty) {
  console.SetColors(7, 1);
  Paint(25, 40, "OLDCHOICE!#");
  random.PushSquare(3, 7);
  game.ComputerTurn();

  const int spoken = At(Spoke{"Computer chooses: C 7,"});
  ASSERT_NE(spoken, notFound) << Dump();
  const int erase = WriteAt(25, 40);
  const int label = WriteAt(25, 20);
  const int choice = log.IndexOfWriteContaining("C 7,");
  EXPECT_LT(spoken, erase) << Dump();
  EXPECT_LT(erase, label) << Dump();
  EXPECT_LT(label, choice) << Dump();

  // The choice starts at 43, after the zone; ten blanks from 40 erase the
  // old choice, all in cyan over the background that was current.
  EXPECT_EQ(terminal.Picture(25, 25), std::string(19, ' ') + "computer chooses:      C 7,   #\n");
  EXPECT_EQ(terminal.ColourPicture(25, 20, 25, 50), std::string(30, '3') + "7\n");
  EXPECT_EQ(terminal.ColourPicture(25, 20, 25, 50, true), std::string(31, '1') + "\n");
}

TEST_F(ComputerTurnScreen, MissPlaysDropAfterThePrintThenMarksLightRedZeroThenMiss) {
  random.PushSquare(3, 7);
  game.ComputerTurn();

  EXPECT_EQ(log.Played(), (std::vector<std::string>{"drop", "miss"}));
  const int choice = log.IndexOfWriteContaining("C 7,");
  const int drop = At(Sounded{"drop"});
  const int mark = WriteAt(15, 7);
  const int miss = At(Sounded{"miss"});
  EXPECT_LT(choice, drop) << Dump();
  EXPECT_LT(drop, mark) << Dump();
  EXPECT_LT(mark, miss) << Dump();
  EXPECT_EQ(terminal.Text(15, 7, 1), "0");
  EXPECT_EQ(terminal.ForegroundAt(15, 7), 12);
  EXPECT_EQ(console.Foreground(), 12) << "the mark's colour stays current";
  EXPECT_EQ(Home(3, 7), firedMark);
  EXPECT_EQ(game.lastComputerShot, -1);
  EXPECT_EQ(game.hunt.huntMode, -1);
}

TEST_F(ComputerTurnScreen, HitMarksLightBlueOAndStartsTheHunt) {
  for (int c = 7; c <= 9; ++c) Home(3, c) = 'S';
  random.PushSquare(3, 7);
  game.ComputerTurn();

  EXPECT_EQ(log.Played(), (std::vector<std::string>{"drop", "hit"}));
  EXPECT_EQ(terminal.Text(15, 7, 1), "O");
  EXPECT_EQ(terminal.ForegroundAt(15, 7), 9);
  EXPECT_LT(WriteAt(15, 7), At(Sounded{"hit"})) << Dump();
  EXPECT_EQ(game.lastComputerShot, 1);
  EXPECT_EQ(game.hunt.huntMode, 1);
  EXPECT_EQ(game.hunt.huntCursor, (Square{3, 7}));
  EXPECT_EQ(game.state.playerShipHits[static_cast<int>(ShipType::Submarine)], 1);
  EXPECT_EQ(game.state.playerShipsSunk, 0);
}

TEST_F(ComputerTurnScreen, SinkingHitPlaysSinkCountsItAndForgetsTheHunt) {
  Home(3, 7) = 'D';
  Home(3, 8) = firedMark;
  game.state.playerShipHits[static_cast<int>(ShipType::Destroyer)] = 1;
  random.PushSquare(3, 7);
  game.ComputerTurn();

  EXPECT_EQ(log.Played(), (std::vector<std::string>{"drop", "hit", "sink"}));
  EXPECT_EQ(game.state.playerShipsSunk, 1);
  EXPECT_EQ(game.hunt.huntMode, -1);
  EXPECT_EQ(game.hunt.huntOrigin, (Square{0, 0}));
  EXPECT_EQ(game.hunt.directionChanges, 0);
  EXPECT_EQ(game.lastComputerShot, 1);
}

TEST_F(ComputerTurnScreen, OpenSearchDrawsRowAndColumnAgainOverAFiredSquare) {
  Home(3, 7) = firedMark;
  random.PushSquare(3, 7);
  random.PushSquare(4, 4);
  game.ComputerTurn();
  EXPECT_NE(At(Spoke{"Computer chooses: D 4,"}), notFound) << Dump();
  EXPECT_EQ(log.Count(Spoke{"Computer chooses: C 7,"}), 0);
  EXPECT_EQ(Home(4, 4), firedMark);
  EXPECT_EQ(random.Remaining(), 0u);
}

TEST_F(ComputerTurnScreen, FollowUpChoiceHasNoComma) {
  Home(5, 5) = firedMark;
  game.hunt.huntMode = 1;
  game.hunt.huntCursor = {5, 5};
  game.lastComputerShot = 1;
  random.PushDirection(1);
  game.ComputerTurn();
  EXPECT_NE(At(Spoke{"Computer chooses: D 5"}), notFound) << Dump();
  EXPECT_EQ(terminal.Text(25, 43, 4), "D 5 ");
  EXPECT_EQ(Home(4, 5), firedMark);
}

}  // namespace
}  // namespace keelmark
