// Reading one entry: echo, the accepted characters, the square text of a
// click, the commands, refusals with the buzzer and the one empty entry.

#include <vector>

#include "tests/screen/screen_fixture.h"

namespace keelmark {
namespace {

class ReadEntryScreen : public ScreenTest {
 protected:
  explicit ReadEntryScreen(int rows = 25) : ScreenTest(rows) {
    game.lastComputerShot = -1;  // past the introduction unless a test says so
    game.currentRow = 6;
    game.currentColumn = 6;
    console.MoveCursor(24, 14);
    log.Clear();
  }

  Square Current() const { return {game.currentRow, game.currentColumn}; }
};

TEST_F(ReadEntryScreen, TypedSquareIsEchoedSpokenAndLeavesTheRestOfTheText) {
  const struct {
    const char* typed;
    Square square;
    const char* rest;
  } cases[] = {{"b7", {2, 7}, "7"}, {"B7", {2, 7}, "7"}, {"b07", {2, 7}, "07"},
               {"j10", {10, 10}, "10"}, {"a1e1", {1, 10}, "1e1"}};
  for (const auto& c : cases) {
    console.MoveCursor(24, 14);
    log.Clear();
    terminal.TypeText(std::string(c.typed) + "\r");
    EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square) << c.typed;
    EXPECT_EQ(Current(), c.square) << c.typed;
    EXPECT_EQ(game.entryText, c.rest) << c.typed;
    EXPECT_EQ(log.Spoken(), std::vector<std::string>{c.typed});
    EXPECT_EQ(terminal.Text(24, 14, static_cast<int>(std::string(c.typed).size()) + 1),
              std::string(c.typed) + "\r");
    EXPECT_TRUE(log.Played().empty()) << c.typed;
  }
}

TEST_F(ReadEntryScreen, SignsAndBlanksAreEchoedButNotAdded) {
  // "-", "." and blanks would change the number if they were kept.
  terminal.TypeText("a -.1\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{1, 1}));
  EXPECT_EQ(terminal.Text(24, 14, 6), "a -.1\r");
  EXPECT_EQ(log.Spoken(), std::vector<std::string>{"a1"});
}

TEST_F(ReadEntryScreen, KeysWithoutACharacterAreIgnoredAndNotEchoed) {
  terminal.TypeText("c");
  terminal.PressScanKey(0x4B);
  terminal.PressAltLetter('x', 0x2D);
  terminal.TypeText("3\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{3, 3}));
  EXPECT_EQ(terminal.Text(24, 14, 3), "c3\r");
}

TEST_F(ReadEntryScreen, BackspaceRemovesTheLastCharacterAndIsEchoedAsAGlyph) {
  terminal.TypeText("\ba1\b\rb2\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  // "\b" on an empty entry removes nothing; "a1\b" is "a", column 0, refused.
  EXPECT_EQ(log.Spoken(), (std::vector<std::string>{"a", "b2"}));
  EXPECT_EQ(log.Played(), std::vector<std::string>{"buzzer"});
  EXPECT_EQ(Current(), (Square{2, 2}));
  EXPECT_EQ(terminal.Text(24, 14, 8), "\ba1\b\rb2\r");
}

TEST_F(ReadEntryScreen, RefusedEntriesBuzzAndStartOverWithoutClearingTheEcho) {
  terminal.TypeText("a12\rk5\rQuit\ra0\rc3\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(log.Spoken(), (std::vector<std::string>{"a12", "k5", "Quit", "a0", "c3"}));
  EXPECT_EQ(log.Played(), (std::vector<std::string>{"buzzer", "buzzer", "buzzer", "buzzer"}));
  for (const char* refused : {"speak: a12", "speak: k5", "speak: Quit", "speak: a0"}) {
    const int spoken = At(refused);
    EXPECT_EQ(log.Index("play: buzzer", spoken), log.Index("play: ", spoken)) << refused;
  }
  EXPECT_EQ(Current(), (Square{3, 3}));
  EXPECT_EQ(terminal.Text(24, 14, 18), "a12\rk5\rQuit\ra0\rc3\r");
}

TEST_F(ReadEntryScreen, ARefusedEntryLeavesTheSquareAsItWas) {
  terminal.TypeText("k5\r");
  EXPECT_THROW(game.ReadEntry(), testing::InputExhausted);
  EXPECT_EQ(Current(), (Square{6, 6}));
}

TEST_F(ReadEntryScreen, QuitIsSpokenAndLeavesTheGame) {
  terminal.TypeText("quit\r");
  EXPECT_THROW(game.ReadEntry(), QuitGame);
  EXPECT_NE(At("speak: quit"), notFound) << Dump();
  EXPECT_EQ(log.Index("play: "), notFound) << Dump();
}

TEST_F(ReadEntryScreen, AutoSetsTheFlagAndLeavesTheSquare) {
  terminal.TypeText("auto\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Auto);
  EXPECT_EQ(game.state.autoPlacement, 1);
  EXPECT_EQ(game.entryText, "auto");
  EXPECT_EQ(Current(), (Square{6, 6}));
}

TEST_F(ReadEntryScreen, LongEntriesComeBackWholeAndUnexamined) {
  terminal.TypeText("a1,a5\rzzzzzzzz\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Long);
  EXPECT_EQ(game.entryText, "a1,a5");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Long);
  EXPECT_EQ(game.entryText, "zzzzzzzz");
  EXPECT_TRUE(log.Played().empty());
  EXPECT_EQ(Current(), (Square{6, 6}));
}

TEST_F(ReadEntryScreen, OnlyTheFirstBareEnterBeforeTheComputersFirstShotIsAccepted) {
  game.lastComputerShot = 0;
  terminal.TypeText("\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Empty);
  EXPECT_EQ(game.entryText, "");
  EXPECT_EQ(game.lastComputerShot, -1);
  EXPECT_EQ(log.Spoken(), std::vector<std::string>{""}) << "the empty entry is still spoken";

  log.Clear();
  terminal.TypeText("\rc3\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{3, 3}));
  EXPECT_EQ(log.Spoken(), (std::vector<std::string>{"", "c3"}));
  EXPECT_TRUE(log.Played().empty()) << "a later bare Enter is ignored silently";
}

TEST_F(ReadEntryScreen, BareEnterAfterTheComputerHasFiredIsIgnored) {
  game.lastComputerShot = 1;
  terminal.TypeText("\rd4\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{4, 4}));
  EXPECT_EQ(game.lastComputerShot, 1);
}

TEST_F(ReadEntryScreen, LeftClickPrintsTheSquareTextAndSpeaksItTwice) {
  console.MoveCursor(5, 5);
  terminal.Click(3, 7);
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{3, 7}));
  EXPECT_EQ(game.entryText, " 7");
  EXPECT_EQ(terminal.Text(24, 14, 3), "C 7");
  EXPECT_EQ(log.Count("speak: C 7"), 2);
  const int first = At("speak: C 7");
  const int print = log.IndexOfWriteContaining("C 7");
  EXPECT_LT(first, print) << Dump();
  EXPECT_LT(print, log.IndexExact("speak: C 7", first + 1)) << Dump();
}

TEST_F(ReadEntryScreen, AClickReplacesWhatWasTyped) {
  terminal.TypeText("b");
  terminal.Click(10, 10);
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{10, 10}));
  EXPECT_EQ(game.entryText, " 10");
  EXPECT_EQ(terminal.Text(24, 14, 4), "J 10");
}

TEST_F(ReadEntryScreen, RightClickDoesNothing) {
  terminal.RightClick(3, 7);
  terminal.TypeText("a1\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{1, 1}));
  EXPECT_EQ(log.Spoken(), std::vector<std::string>{"a1"});
}

TEST_F(ReadEntryScreen, ClicksOffTheTargetBoardBuzz) {
  // The home board (row 13) and column 11 are off the grid.
  terminal.Click(13, 2);
  terminal.Click(4, 11);
  terminal.TypeText("e5\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{5, 5}));
  EXPECT_EQ(log.Played(), (std::vector<std::string>{"buzzer", "buzzer"}));
  EXPECT_EQ(log.Count("speak: M 2"), 2);
  EXPECT_EQ(log.Count("speak: D 11"), 2);
}

class TallScreenReadEntry : public ReadEntryScreen {
 protected:
  TallScreenReadEntry() : ReadEntryScreen(50) {}
};

TEST_F(TallScreenReadEntry, ClicksOnRowThirtyThreeAndBelowAreRefused) {
  // Their letters are lower case and would otherwise read as rows 1 to 10.
  for (int row : {33, 35, 42}) {
    console.MoveCursor(24, 14);
    log.Clear();
    terminal.Click(row, 5);
    terminal.TypeText("b2\r");
    EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square) << "row " << row;
    const std::string text = std::string(1, static_cast<char>(64 + row)) + " 5";
    EXPECT_EQ(terminal.Text(24, 14, 3), text) << "row " << row;
    EXPECT_EQ(log.Count("speak: " + text), 2) << "row " << row;
    EXPECT_EQ(log.Played(), std::vector<std::string>{"buzzer"}) << "row " << row;
    EXPECT_EQ(Current(), (Square{2, 2})) << "row " << row;
  }
}

TEST_F(TallScreenReadEntry, ClicksOnRowsElevenToThirtyTwoAreRefused) {
  for (int row : {11, 22, 32}) {
    log.Clear();
    terminal.Click(row, 5);
    terminal.TypeText("b2\r");
    EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square) << "row " << row;
    EXPECT_EQ(log.Played(), std::vector<std::string>{"buzzer"}) << "row " << row;
  }
}

}  // namespace
}  // namespace keelmark
