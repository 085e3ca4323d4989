// The player's turn on screen: the round line, the prompt, the echo, the
// target mark, and the order of voice, screen and clips.

#include <vector>

#include "tests/screen/screen_fixture.h"

namespace keelmark {
namespace {

class PlayerTurnScreen : public ScreenTest {
 protected:
  char& Target(int row, int column) { return CellOf(game.state.computerGrid, row, column); }
};

TEST_F(PlayerTurnScreen, RoundTenLineSitsAtColumnsSixtyToSeventyFour) {
  game.state.roundNumber = 10;
  console.SetColors(12, -1);  // the turn sets no colour of its own
  Paint(1, 60, "################");
  terminal.TypeText("a1\r");
  game.PlayerTurn();

  EXPECT_EQ(terminal.Text(1, 60, 6), "Round ");
  EXPECT_EQ(terminal.Text(1, 66, 6), "      ") << "zone blanks 66-70, sign place 71";
  EXPECT_EQ(terminal.Text(1, 72, 2), "10");
  EXPECT_EQ(terminal.Text(1, 74, 1), " ");
  EXPECT_EQ(terminal.Text(1, 75, 1), "#") << "the round line ends at column 74";
  EXPECT_EQ(terminal.ForegroundAt(1, 60), 12);
  EXPECT_EQ(terminal.ForegroundAt(1, 72), 12);
}

TEST_F(PlayerTurnScreen, SpeaksTheRoundBeforePrintingItAndNeverPrintsCoordinatesQuestion) {
  game.state.roundNumber = 10;
  terminal.TypeText("a1\r");
  game.PlayerTurn();

  const int spokenRound = At("speak: round  10");
  const int printedRound = WriteAt(1, 60);
  const int spokenQuestion = At("speak: Coordinates?");
  const int erased = WriteAt(24, 14);
  const int prompt = log.IndexOfWriteContaining("coordinates: ");
  const int firstKey = log.Index("key: ");
  ASSERT_NE(spokenRound, notFound) << Dump();
  EXPECT_LT(spokenRound, printedRound) << Dump();
  EXPECT_LT(printedRound, spokenQuestion) << Dump();
  EXPECT_LT(spokenQuestion, erased) << Dump();
  EXPECT_LT(erased, prompt) << Dump();
  EXPECT_LT(prompt, firstKey) << Dump();
  EXPECT_EQ(log.IndexOfWriteContaining("Coordinates?"), notFound);
  EXPECT_EQ(log.IndexOfWriteContaining("oordinates?"), notFound);
}

TEST_F(PlayerTurnScreen, PromptAtRowTwentyFourBlanksOnlyFourColumnsOfTheOldEcho) {
  game.state.roundNumber = 1;
  Paint(24, 1, "coordinates: b10,zz");
  terminal.TypeText("a1\r");
  game.PlayerTurn();

  EXPECT_EQ(terminal.Text(24, 1, 13), "coordinates: ");
  EXPECT_EQ(terminal.Text(24, 14, 3), "a1\r") << "the echo starts at column 14";
  EXPECT_EQ(terminal.Text(24, 17, 1), " ");
  EXPECT_EQ(terminal.Text(24, 18, 2), "zz") << "columns past 17 keep the old echo";
}

TEST_F(PlayerTurnScreen, MissPlaysDropMarksRedZeroThenPlaysMiss) {
  game.state.roundNumber = 1;
  console.SetColors(7, 0);
  terminal.TypeText("c7\r");
  game.PlayerTurn();

  EXPECT_EQ(Target(3, 7), firedMark);
  EXPECT_EQ(terminal.Text(3, 7, 1), "0");
  EXPECT_EQ(terminal.ForegroundAt(3, 7), 4);
  EXPECT_EQ(log.Played(), (std::vector<std::string>{"drop", "miss"}));
  const int drop = At("play: drop");
  const int mark = WriteAt(3, 7);
  const int miss = At("play: miss");
  EXPECT_LT(At("speak: c7"), drop) << Dump();
  EXPECT_LT(drop, mark) << Dump();
  EXPECT_LT(mark, miss) << Dump();
  EXPECT_EQ(game.state.computerShipHits, ShipHits{});
}

TEST_F(PlayerTurnScreen, SinkingHitPlaysDropHitSinkAndMarksBlueO) {
  game.state.roundNumber = 4;
  Target(2, 2) = firedMark;
  Target(2, 3) = 'D';
  game.state.computerShipHits[static_cast<int>(ShipType::Destroyer)] = 1;
  terminal.TypeText("b3\r");
  game.PlayerTurn();

  EXPECT_EQ(log.Played(), (std::vector<std::string>{"drop", "hit", "sink"}));
  EXPECT_EQ(game.state.computerShipsSunk, 1);
  EXPECT_EQ(game.state.computerShipHits[static_cast<int>(ShipType::Destroyer)], 2);
  EXPECT_EQ(Target(2, 3), firedMark);
  EXPECT_EQ(terminal.Text(2, 3, 1), "o");
  EXPECT_EQ(terminal.ForegroundAt(2, 3), 1);
  EXPECT_LT(WriteAt(2, 3), At("play: hit")) << Dump();
}

TEST_F(PlayerTurnScreen, FiringAtAFiredSquareBuzzesAndAnnouncesTheRoundAgain) {
  game.state.roundNumber = 10;
  Target(1, 1) = firedMark;
  Target(2, 2) = 'S';
  terminal.TypeText("a1\rb2\r");
  game.PlayerTurn();

  EXPECT_EQ(log.Played(), (std::vector<std::string>{"buzzer", "drop", "hit"}));
  EXPECT_EQ(log.Count("speak: round  10"), 2);
  EXPECT_EQ(log.Count("speak: Coordinates?"), 2);
  EXPECT_LT(At("play: buzzer"), log.IndexExact("speak: round  10", At("speak: round  10") + 1));
  EXPECT_EQ(game.state.roundNumber, 10);
  EXPECT_EQ(game.state.computerShipsSunk, 0);
  EXPECT_EQ(game.state.computerShipHits[static_cast<int>(ShipType::Submarine)], 1);
}

}  // namespace
}  // namespace keelmark
