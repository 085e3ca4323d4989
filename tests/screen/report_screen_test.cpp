// The end report over the play screen, and the introduction's prompt.

#include <string>
#include <vector>

#include "tests/screen/screen_fixture.h"

namespace keelmark {
namespace {

class ReportScreen : public ScreenTest {
 protected:
  ReportScreen() {
    game.state.playerShipsSunk = 2;
    game.state.computerShipsSunk = 3;
    game.state.roundNumber = 42;
    console.SetColors(7, 0);
    // What the play phase leaves: the round line, a board cell under the
    // wrapped full stop.
    Paint(1, 60, "Round " + std::string(6, ' ') + "42 ");
    Paint(3, 1, "x");
  }
};

TEST_F(ReportScreen, LinesStartAtColumnTwentyWithZonedNumbers) {
  terminal.TypeText("k");
  game.ShowGameReport();

  EXPECT_EQ(terminal.Text(1, 20, 14), "Computer sank ");
  EXPECT_EQ(terminal.Text(1, 34, 9), std::string(9, ' '));
  EXPECT_EQ(terminal.Text(1, 43, 3), " 2 ");
  EXPECT_EQ(terminal.Text(1, 57, 15), " of your ships.");
  EXPECT_EQ(terminal.Text(1, 72, 2), "42") << "the round digits stay visible";

  EXPECT_EQ(terminal.Text(2, 20, 9), "You sank ");
  EXPECT_EQ(terminal.Text(2, 29, 14), std::string(14, ' ')) << "a whole zone from 29";
  EXPECT_EQ(terminal.Text(2, 43, 3), " 3 ");
  EXPECT_EQ(terminal.Text(2, 46, 11), std::string(11, ' '));
  EXPECT_EQ(terminal.Text(2, 57, 24), " of the computer's ships");
  EXPECT_EQ(terminal.Text(3, 1, 1), ".") << "column 81 wraps onto C1";

  EXPECT_EQ(terminal.Text(3, 20, 16), "The game lasted ");
  EXPECT_EQ(terminal.Text(3, 43, 4), " 42 ");
  EXPECT_EQ(terminal.Text(3, 57, 8), " rounds.");

  EXPECT_EQ(terminal.Text(4, 20, 22), "Press any key to exit.");
  EXPECT_EQ(game.entryText, "k");
}

TEST_F(ReportScreen, EverythingIsCyanOnDarkGrey) {
  terminal.TypeText("k");
  game.ShowGameReport();
  for (auto [row, column] : {std::pair{1, 20}, {1, 43}, {1, 71}, {2, 29}, {2, 80}, {3, 1},
                             {3, 64}, {4, 20}}) {
    EXPECT_EQ(terminal.AttributeAt(row, column), 0x83) << row << "," << column;
  }
  EXPECT_EQ(terminal.AttributeAt(1, 72), 0x07) << "untouched cells keep their colours";
}

TEST_F(ReportScreen, EachLineIsSpokenBeforeItIsPrintedExceptTheLast) {
  terminal.TypeText("k");
  game.ShowGameReport();
  const std::vector<std::string> spoken = {
      "Computer sank  2 of your ships.", "You sank  3 of the computer's ships.",
      "The game lasted  42 rounds.", "Press any key to exit."};
  EXPECT_EQ(log.Spoken(), spoken);
  for (int row = 1; row <= 3; ++row) {
    EXPECT_LT(At("speak: " + spoken[row - 1]), WriteAt(row, 20)) << "row " << row << Dump();
    EXPECT_LT(WriteAt(row, 20), At("speak: " + spoken[row])) << "row " << row << Dump();
  }
  const int printedLast = WriteAt(4, 20);
  const int spokenLast = At("speak: Press any key to exit.");
  EXPECT_LT(printedLast, spokenLast) << Dump();
  EXPECT_LT(spokenLast, log.Index("key: ")) << Dump();
}

TEST_F(ReportScreen, AMouseButtonEndsTheReportLikeAKey) {
  terminal.Click(7, 7);
  game.ShowGameReport();
  EXPECT_EQ(game.entryText, std::string("\xFF\xFF\x04\x01", 4));
}

class IntroScreen : public ScreenTest {
 protected:
  IntroScreen() { console.SetColors(7, 0); }
};

TEST_F(IntroScreen, PromptIsSpokenThenPrintedAndAutoIsAnnounced) {
  terminal.TypeText("auto\r");
  game.IntroPrompt();
  const std::string generating = "Generating ship locations, please wait.";
  EXPECT_EQ(log.Spoken(), (std::vector<std::string>{"Press any key to continue.", "auto",
                                                    generating}));
  EXPECT_LT(At("speak: Press any key to continue."),
            log.IndexOfWriteContaining("Press any key to continue."));
  EXPECT_LT(At("speak: " + generating), log.IndexOfWriteContaining(generating));
  EXPECT_EQ(terminal.Text(1, 1, 26), "Press any key to continue.");
  EXPECT_EQ(terminal.Text(2, 1, 5), "auto\r");
  EXPECT_EQ(game.state.autoPlacement, 1);
}

TEST_F(IntroScreen, BareEnterGoesOnWithoutAnnouncement) {
  terminal.TypeText("\r");
  game.IntroPrompt();
  EXPECT_EQ(log.Spoken(), (std::vector<std::string>{"Press any key to continue.", ""}));
  EXPECT_EQ(game.lastComputerShot, -1);
  EXPECT_EQ(game.state.autoPlacement, 0);
}

}  // namespace
}  // namespace keelmark
