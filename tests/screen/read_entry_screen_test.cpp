// Reading one entry: echo, the accepted characters, the square text of a
// click, the commands, refusals with the buzzer and the one empty entry.

#include <ostream>
#include <string>
#include <vector>

#include "tests/screen/screen_fixture.h"

namespace keelmark {
namespace {

class ReadEntryScreen : public ScreenTest {
 protected:
  explicit ReadEntryScreen(int rows = 25, int columns = 80) : ScreenTest(rows, columns) {
    game.lastComputerShot = -1;  // past the introduction unless a test says so
    game.currentRow = 6;
    game.currentColumn = 6;
    console.MoveCursor(24, 14);
    log.Clear();
  }

  Square Current() const { return {game.currentRow, game.currentColumn}; }
};

struct TypedCase {
  std::string typed;  // Enter follows
  Square square;
  std::string rest;   // what entryText keeps
  std::string spoken;
};
// ctest names each case by what this prints.
void PrintTo(const TypedCase& c, std::ostream* out) { *out << c.typed; }

class TypedSquare : public ReadEntryScreen, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(TypedSquare, IsEchoedSpokenAndLeavesTheRestOfTheText) {
  const TypedCase& c = GetParam();
  terminal.TypeText(c.typed + "\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), c.square);
  EXPECT_EQ(game.entryText, c.rest);
  EXPECT_EQ(log.Spoken(), std::vector<std::string>{c.spoken});
  EXPECT_EQ(terminal.Text(24, 14, static_cast<int>(c.typed.size()) + 1), c.typed + "\r");
  EXPECT_TRUE(log.Played().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Entries, TypedSquare,
    ::testing::Values(TypedCase{"b7", {2, 7}, "7", "b7"}, TypedCase{"B7", {2, 7}, "7", "B7"},
                      TypedCase{"b07", {2, 7}, "07", "b07"},
                      TypedCase{"j10", {10, 10}, "10", "j10"},
                      TypedCase{"a1e1", {1, 10}, "1e1", "a1e1"},
                      // Signs and blanks would change the number if kept.
                      TypedCase{"a -.1", {1, 1}, "1", "a1"}));

TEST_F(ReadEntryScreen, KeysWithoutACharacterAndRightClicksAreIgnoredAndNotEchoed) {
  terminal.TypeText("c");
  terminal.PressScanKey(0x4B);
  terminal.Push(testing::AltLetter('x', 0x2D));
  terminal.RightClick(3, 7);
  terminal.TypeText("3\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{3, 3}));
  EXPECT_EQ(terminal.Text(24, 14, 3), "c3\r");
  EXPECT_EQ(log.Spoken(), std::vector<std::string>{"c3"});
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

TEST_F(ReadEntryScreen, RefusedEntriesBuzzAndStartOverWithoutClearingTheEchoUntilQuit) {
  terminal.TypeText("a12\rk5\rQuit\ra0\rc3\r" "k5\rquit\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{3, 3}));
  EXPECT_THROW(game.ReadEntry(), QuitGame);
  EXPECT_EQ(log.Spoken(),
            (std::vector<std::string>{"a12", "k5", "Quit", "a0", "c3", "k5", "quit"}));
  EXPECT_EQ(log.Played(), std::vector<std::string>(5, "buzzer")) << "none for quit";
  for (const char* refused : {"a12", "k5", "Quit", "a0"}) {
    // The buzzer answers the entry, before the next one is spoken.
    const int spoken = At(Spoke{refused});
    EXPECT_LT(At(Sounded{"buzzer"}, spoken), log.IndexOfKind<Spoke>(spoken + 1)) << refused;
  }
  EXPECT_EQ(Current(), (Square{3, 3})) << "neither a refusal nor quit takes the square";
  EXPECT_EQ(terminal.Text(24, 14, 18), "a12\rk5\rQuit\ra0\rc3\r");
}

TEST_F(ReadEntryScreen, LongEntriesComeBackWholeAndUnexaminedAndOnlyTheirStartIsReadBack) {
  const std::string usable = "a010,a007,andsomewordsxy";  // 24 characters, all kept
  const std::string pasted(3000, 'q');
  terminal.TypeText("a1,a5\r" + usable + "\r" + pasted + "\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Long);
  EXPECT_EQ(game.entryText, "a1,a5");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Long);
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Long);
  EXPECT_EQ(game.entryText, pasted) << "the entry itself is kept whole";
  EXPECT_EQ(log.Spoken(),
            (std::vector<std::string>{"a1,a5", usable, std::string(24, 'q') + ", and so on."}));
  EXPECT_TRUE(log.Played().empty());
  EXPECT_EQ(Current(), (Square{6, 6}));
}

// The introduction's screen tests show what the first bare Enter leaves.
TEST_F(ReadEntryScreen, OnlyTheFirstBareEnterBeforeTheComputersFirstShotIsAccepted) {
  game.lastComputerShot = 0;
  terminal.TypeText("\r" "\rc3\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Empty);
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{3, 3}));
  EXPECT_EQ(log.Spoken(), (std::vector<std::string>{"", "", "c3"}));
  EXPECT_TRUE(log.Played().empty()) << "a later bare Enter is ignored silently";

  // So is one after the computer has fired.
  game.lastComputerShot = 1;
  terminal.TypeText("\rd4\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{4, 4}));
  EXPECT_EQ(game.lastComputerShot, 1);
}

TEST_F(ReadEntryScreen, LeftClickPrintsTheSquareTextAndSpeaksItTwice) {
  console.MoveCursor(5, 5);
  terminal.TypeText("b");  // replaced by the click
  terminal.Click(3, 7);
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{3, 7}));
  EXPECT_EQ(game.entryText, " 7");
  EXPECT_EQ(terminal.Text(24, 14, 3), "C 7");
  EXPECT_EQ(log.Spoken(), (std::vector<std::string>{"C 7", "C 7"}));
  const int print = log.IndexOfWriteContaining("C 7");
  EXPECT_LT(At(Spoke{"C 7"}), print) << Dump();
  EXPECT_LT(print, At(Spoke{"C 7"}, print)) << Dump();

  // Column ten leaves the number with its blank.
  terminal.Click(10, 10);
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(Current(), (Square{10, 10}));
  EXPECT_EQ(game.entryText, " 10");
  EXPECT_EQ(terminal.Text(24, 14, 4), "J 10");
}

// Clicks anywhere but the target board's squares: the square text is
// printed and spoken twice like any click, then refused with the buzzer.
struct OffBoardClick {
  int screenRows;
  int screenColumns;
  int row;
  int column;
  std::string text;  // printed and spoken
};

void PrintTo(const OffBoardClick& c, std::ostream* os) {
  *os << "row " << c.row << " column " << c.column;
}

class OffBoardClickScreen : public ReadEntryScreen,
                            public ::testing::WithParamInterface<OffBoardClick> {
 protected:
  OffBoardClickScreen() : ReadEntryScreen(GetParam().screenRows, GetParam().screenColumns) {}
};

TEST_P(OffBoardClickScreen, IsRefusedWithTheBuzzer) {
  const OffBoardClick& c = GetParam();
  terminal.Click(c.row, c.column);
  terminal.TypeText("b2\r");
  EXPECT_EQ(game.ReadEntry(), EntryOutcome::Square);
  EXPECT_EQ(terminal.Text(24, 14, static_cast<int>(c.text.size())), c.text);
  EXPECT_EQ(log.Spoken(), (std::vector<std::string>{c.text, c.text, "b2"}));
  EXPECT_EQ(log.Played(), std::vector<std::string>{"buzzer"});
  EXPECT_EQ(Current(), (Square{2, 2}));
}

// Rows from 33 on have lower-case letters, which would read as rows 1 to
// 10; columns from 100 on make a text as long as a placement text.
INSTANTIATE_TEST_SUITE_P(
    Clicks, OffBoardClickScreen,
    ::testing::Values(OffBoardClick{25, 80, 13, 2, "M 2"}, OffBoardClick{25, 80, 4, 11, "D 11"},
                      OffBoardClick{25, 80, 11, 5, "K 5"}, OffBoardClick{25, 80, 22, 5, "V 5"},
                      OffBoardClick{50, 80, 32, 5, "` 5"}, OffBoardClick{50, 80, 33, 5, "a 5"},
                      OffBoardClick{50, 80, 42, 5, "j 5"}, OffBoardClick{25, 140, 3, 99, "C 99"},
                      OffBoardClick{25, 140, 3, 100, "C 100"},
                      OffBoardClick{25, 140, 3, 123, "C 123"}));

}  // namespace
}  // namespace keelmark
