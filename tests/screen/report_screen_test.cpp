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

TEST_F(ReportScreen, LinesStartAtColumnTwentyWithZonedNumbersInCyanOnDarkGrey) {
  terminal.TypeText("k");
  game.ShowGameReport();

  // "You sank " ends exactly at a zone start (29), so a whole zone of
  // blanks follows; row 2 runs to column 81, whose full stop wraps onto C1;
  // the round's digits at 72 stay visible after row 1.
  EXPECT_EQ(terminal.Picture(1, 4), Golden(R"(
                   Computer sank           2             of your ships.42
                   You sank                3             of the computer's ships
.                  The game lasted         42            rounds.
                   Press any key to exit.
)"));
  EXPECT_EQ(terminal.ColourPicture(1, 1, 4, 73), Golden(R"(
7777777777777777777333333333333333333333333333333333333333333333333333377
7777777777777777777333333333333333333333333333333333333333333333333333333
3777777777777777777333333333333333333333333333333333333333333333777777777
7777777777777777777333333333333333333333377777777777777777777777777777777
)"));
  EXPECT_EQ(terminal.ColourPicture(1, 1, 3, 73, true), Golden(R"(
0000000000000000000888888888888888888888888888888888888888888888888888800
0000000000000000000888888888888888888888888888888888888888888888888888888
8000000000000000000888888888888888888888888888888888888888888888000000000
)"));
  EXPECT_EQ(game.entryText, "k");
}

TEST_F(ReportScreen, EachLineIsSpokenBeforeItIsPrintedExceptTheLast) {
  terminal.TypeText("k");
  game.ShowGameReport();
  const std::vector<std::string> spoken = {
      "Computer sank  2 of your ships.", "You sank  3 of the computer's ships.",
      "The game lasted  42 rounds.", "Press any key to exit."};
  EXPECT_EQ(log.Spoken(), spoken);
  for (int row = 1; row <= 3; ++row) {
    EXPECT_LT(At(Spoke{spoken[row - 1]}), WriteAt(row, 20)) << "row " << row << Dump();
    EXPECT_LT(WriteAt(row, 20), At(Spoke{spoken[row]})) << "row " << row << Dump();
  }
  const int printedLast = WriteAt(4, 20);
  const int spokenLast = At(Spoke{"Press any key to exit."});
  EXPECT_LT(printedLast, spokenLast) << Dump();
  EXPECT_LT(spokenLast, FirstInput()) << Dump();
}

TEST_F(ReportScreen, AMouseButtonEndsTheReportLikeAKey) {
  terminal.Click(7, 7);
  game.ShowGameReport();
  EXPECT_EQ(game.entryText, std::string("\xFF\xFF\x04\x01", 4));
}

using IntroScreen = ScreenTest;

TEST_F(IntroScreen, PromptIsSpokenThenPrintedAndAutoIsAnnounced) {
  terminal.TypeText("auto\r");
  game.IntroPrompt();
  const std::string generating = "Generating ship locations, please wait.";
  EXPECT_EQ(log.Spoken(), (std::vector<std::string>{"Press any key to continue.", "auto",
                                                    generating}));
  EXPECT_LT(At(Spoke{"Press any key to continue."}),
            log.IndexOfWriteContaining("Press any key to continue."));
  EXPECT_LT(At(Spoke{generating}), log.IndexOfWriteContaining(generating));
  EXPECT_EQ(terminal.Picture(1, 4), Golden(R"(
Press any key to continue.
auto♪Generating ship locations, please wait.


)"));
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
