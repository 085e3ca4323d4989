// The console operations over the virtual terminal: number forms, print
// zones, wrapping and scrolling, cursor and colour rules, key and mouse
// classification, repainting after a resize.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "presentation/console.h"
#include "tests/doubles/event_log.h"
#include "tests/doubles/virtual_terminal.h"

namespace keelmark {
namespace {

using testing::EventLog;
using testing::VirtualTerminal;

std::string Bytes(std::initializer_list<int> codes) {
  std::string out;
  for (int c : codes) out += static_cast<char>(c);
  return out;
}

class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest() : terminal(log), console(terminal) { console.AdoptTerminalSize(); }

  // Writes a label at column 1 of each of the first rows, so a scroll shows.
  void LabelRows(int count) {
    for (int r = 1; r <= count; ++r) {
      console.MoveCursor(r, 1);
      console.PrintText("r" + std::to_string(r));
    }
  }
  // Fills the bottom row to its last column, which leaves a wrap pending.
  void FillBottomRowEnd() {
    console.MoveCursor(25, 78);
    console.PrintText("abc");
  }

  EventLog log;
  VirtualTerminal terminal;
  Console console;
};

TEST(NumberText, SignPlaceThenDigitsNothingAfter) {
  EXPECT_EQ(NumberText(5), " 5");
  EXPECT_EQ(NumberText(0), " 0");
  EXPECT_EQ(NumberText(12), " 12");
  EXPECT_EQ(NumberText(-3), "-3");
  EXPECT_EQ(NumberText(-2147483648LL), "-2147483648");
  EXPECT_EQ(NumberText(1234567890123LL), " 1234567890123");
}

TEST_F(ConsoleTest, PrintNumberAddsOneTrailingBlank) {
  console.MoveCursor(5, 10);
  console.PrintText("#####");
  console.MoveCursor(5, 10);
  console.PrintNumber(3);
  EXPECT_EQ(terminal.Text(5, 10, 4), " 3 #");
  EXPECT_EQ(console.CursorColumn(), 13);
  console.PrintNumber(-12);
  EXPECT_EQ(terminal.Text(5, 13, 4), "-12 ");
  EXPECT_EQ(console.CursorColumn(), 17);
}

TEST_F(ConsoleTest, NextPrintZoneMovesToTheNextZoneStart) {
  console.MoveCursor(1, 60);
  console.PrintText("Round ");
  console.PrintText("######");
  console.MoveCursor(1, 66);
  console.NextPrintZone();
  EXPECT_EQ(console.CursorColumn(), 71);
  EXPECT_EQ(terminal.Text(1, 60, 12), "Round      #") << "five blanks from column 66";

  const std::pair<int, int> moves[] = {{60, 71}, {1, 15}, {2, 15}, {14, 15}, {29, 43},
                                       {43, 57}, {57, 71}};
  for (auto [from, to] : moves) {
    console.MoveCursor(3, from);
    console.NextPrintZone();
    EXPECT_EQ(console.CursorRow(), 3) << "from " << from;
    EXPECT_EQ(console.CursorColumn(), to) << "from " << from;
  }
}

TEST_F(ConsoleTest, NextPrintZoneWritesBlanksInTheCurrentColours) {
  console.MoveCursor(4, 20);
  console.PrintText("XXXXXXXXXXXX");
  console.SetColors(3, 8);
  console.MoveCursor(4, 20);
  console.NextPrintZone();
  EXPECT_EQ(terminal.Text(4, 20, 10), std::string(9, ' ') + "X");
  EXPECT_EQ(terminal.AttributeAt(4, 20), 0x83);
  EXPECT_EQ(terminal.AttributeAt(4, 28), 0x83);
}

TEST_F(ConsoleTest, NextPrintZoneFromTheLastZoneWrapsLikeText) {
  console.MoveCursor(6, 71);
  console.NextPrintZone();
  EXPECT_EQ(console.CursorRow(), 7);
  EXPECT_EQ(console.CursorColumn(), 5);
}

TEST_F(ConsoleTest, PrintTextStoresControlCodesOneCellEach) {
  console.MoveCursor(24, 14);
  console.PrintText("a\rb\bc");
  EXPECT_EQ(terminal.Text(24, 14, 5), "a\rb\bc");
  EXPECT_EQ(console.CursorRow(), 24);
  EXPECT_EQ(console.CursorColumn(), 19);
}

TEST_F(ConsoleTest, PrintTextWrapsAtTheRightEdge) {
  console.MoveCursor(1, 78);
  console.PrintText("abcde");
  EXPECT_EQ(terminal.Text(1, 78, 3), "abc");
  EXPECT_EQ(terminal.Text(2, 1, 2), "de");
  EXPECT_EQ(console.CursorRow(), 2);
  EXPECT_EQ(console.CursorColumn(), 3);

  console.MoveCursor(3, 76);
  console.PrintText("vwxyz");
  EXPECT_EQ(console.CursorRow(), 4);
  EXPECT_EQ(console.CursorColumn(), 1);
  EXPECT_FALSE(console.PendingWrap());
}

TEST_F(ConsoleTest, FillingTheBottomRowLeavesAWrapPendingWithoutScrolling) {
  LabelRows(3);
  FillBottomRowEnd();
  EXPECT_TRUE(console.PendingWrap());
  EXPECT_EQ(console.CursorRow(), 25);
  EXPECT_EQ(console.CursorColumn(), 1);
  EXPECT_EQ(terminal.Text(1, 1, 2), "r1") << "nothing scrolls until the next write";
  EXPECT_EQ(terminal.Text(25, 78, 3), "abc");
}

TEST_F(ConsoleTest, WritingWithAPendingWrapScrollsFirst) {
  LabelRows(3);
  FillBottomRowEnd();
  console.SetColors(2, 1);
  console.PrintText("d");
  EXPECT_FALSE(console.PendingWrap());
  EXPECT_EQ(terminal.Text(1, 1, 2), "r2");
  EXPECT_EQ(terminal.Text(24, 78, 3), "abc");
  EXPECT_EQ(terminal.Text(25, 1, 1), "d");
  EXPECT_EQ(terminal.Text(25, 2, 79), std::string(79, ' '));
  EXPECT_EQ(terminal.AttributeAt(25, 40), 0x12) << "the new bottom row takes the current colours";
  EXPECT_EQ(console.CursorRow(), 25);
  EXPECT_EQ(console.CursorColumn(), 2);
}

TEST_F(ConsoleTest, TextRunningPastTheBottomRowContinuesOnAFreshRow) {
  LabelRows(2);
  console.MoveCursor(25, 79);
  console.PrintText("wxyz");
  EXPECT_EQ(terminal.Text(24, 79, 2), "wx");
  EXPECT_EQ(terminal.Text(25, 1, 3), "yz ");
  EXPECT_EQ(terminal.Text(1, 1, 2), "r2");
  EXPECT_EQ(console.CursorRow(), 25);
  EXPECT_EQ(console.CursorColumn(), 3);
}

TEST_F(ConsoleTest, EndLineAboveTheBottomMovesToTheNextRow) {
  LabelRows(2);
  console.MoveCursor(5, 30);
  console.EndLine();
  EXPECT_EQ(console.CursorRow(), 6);
  EXPECT_EQ(console.CursorColumn(), 1);
  EXPECT_EQ(terminal.Text(1, 1, 2), "r1");
}

TEST_F(ConsoleTest, EndLineOnTheBottomRowScrollsOnce) {
  LabelRows(3);
  console.MoveCursor(25, 1);
  console.PrintText("bottom");
  console.EndLine();
  EXPECT_EQ(terminal.Text(1, 1, 2), "r2");
  EXPECT_EQ(terminal.Text(24, 1, 6), "bottom");
  EXPECT_EQ(terminal.Picture(25, 25), "\n");
  EXPECT_EQ(console.CursorRow(), 25);
  EXPECT_EQ(console.CursorColumn(), 1);
}

TEST_F(ConsoleTest, EndLineWithAPendingWrapScrollsTwice) {
  LabelRows(3);
  FillBottomRowEnd();
  console.EndLine();
  EXPECT_FALSE(console.PendingWrap());
  EXPECT_EQ(terminal.Text(1, 1, 2), "r3");
  EXPECT_EQ(terminal.Text(23, 78, 3), "abc");
  EXPECT_EQ(console.CursorRow(), 25);
  EXPECT_EQ(console.CursorColumn(), 1);
}

TEST_F(ConsoleTest, MoveCursorIgnoresEachOutOfRangeCoordinateOnItsOwn) {
  console.MoveCursor(10, 20);
  console.MoveCursor(0, 5);
  EXPECT_EQ(console.CursorRow(), 10);
  EXPECT_EQ(console.CursorColumn(), 5);
  console.MoveCursor(26, 7);
  EXPECT_EQ(console.CursorRow(), 10);
  EXPECT_EQ(console.CursorColumn(), 7);
  console.MoveCursor(12, 0);
  EXPECT_EQ(console.CursorRow(), 12);
  EXPECT_EQ(console.CursorColumn(), 7);
  console.MoveCursor(13, 81);
  EXPECT_EQ(console.CursorRow(), 13);
  EXPECT_EQ(console.CursorColumn(), 7);
  console.MoveCursor(-1, 90);
  EXPECT_EQ(console.CursorRow(), 13);
  EXPECT_EQ(console.CursorColumn(), 7);
  console.MoveCursor(25, 80);
  EXPECT_EQ(console.CursorRow(), 25);
  EXPECT_EQ(console.CursorColumn(), 80);
}

TEST_F(ConsoleTest, MoveCursorClearsAPendingWrap) {
  LabelRows(1);
  FillBottomRowEnd();
  console.MoveCursor(25, 1);
  EXPECT_FALSE(console.PendingWrap());
  console.PrintText("z");
  EXPECT_EQ(terminal.Text(1, 1, 2), "r1");
  EXPECT_EQ(terminal.Text(25, 78, 3), "abc");
  EXPECT_EQ(terminal.Text(25, 1, 1), "z");
}

TEST_F(ConsoleTest, SetColorsKeepsAColourOutsideZeroToFifteen) {
  console.SetColors(3, 8);
  EXPECT_EQ(console.Foreground(), 3);
  EXPECT_EQ(console.Background(), 8);
  console.SetColors(14, -1);
  EXPECT_EQ(console.Foreground(), 14);
  EXPECT_EQ(console.Background(), 8);
  console.SetColors(16, 2);
  EXPECT_EQ(console.Foreground(), 14);
  EXPECT_EQ(console.Background(), 2);
  console.SetColors(-5, 15);
  EXPECT_EQ(console.Foreground(), 14);
  EXPECT_EQ(console.Background(), 15);
  console.SetColors(0, 0);
  EXPECT_EQ(console.Foreground(), 0);
  EXPECT_EQ(console.Background(), 0);
}

TEST_F(ConsoleTest, TextTakesTheCurrentColours) {
  EXPECT_EQ(console.Foreground(), 7);
  EXPECT_EQ(console.Background(), 0);
  console.SetColors(1, 8);
  console.SetColors(14, -1);
  console.MoveCursor(2, 2);
  console.PrintText("Y");
  EXPECT_EQ(terminal.ForegroundAt(2, 2), 14);
  EXPECT_EQ(terminal.BackgroundAt(2, 2), 8);
  EXPECT_EQ(console.CellAt(2, 2).attribute, 0x8E);
}

TEST_F(ConsoleTest, ClearScreenFillsEveryCellInTheCurrentColours) {
  LabelRows(5);
  FillBottomRowEnd();
  console.SetColors(3, 8);
  console.ClearScreen();
  EXPECT_EQ(console.CursorRow(), 1);
  EXPECT_EQ(console.CursorColumn(), 1);
  EXPECT_EQ(terminal.Picture(), std::string(25, '\n'));
  for (int r = 1; r <= 25; ++r) {
    for (int c = 1; c <= 80; ++c) {
      ASSERT_EQ(terminal.AttributeAt(r, c), 0x83) << r << "," << c;
      ASSERT_EQ(console.CellAt(r, c).attribute, 0x83) << r << "," << c;
      ASSERT_EQ(console.CellAt(r, c).character, ' ') << r << "," << c;
    }
  }
  console.PrintText("q");
  EXPECT_EQ(terminal.Text(1, 1, 1), "q") << "no wrap may survive a clear";
}

TEST_F(ConsoleTest, ShowCursorAndEnableMouseInputReachTheDevice) {
  console.ShowCursor();
  console.EnableMouseInput();
  EXPECT_TRUE(terminal.CursorVisible());
  EXPECT_TRUE(terminal.MouseEnabled());
}

class WaitKeyTest : public ConsoleTest {
 protected:
  void UseGameSelection() {
    console.EnableMouseInput();
    console.SelectMouseEvents(3, 4 | 8);
  }
};

TEST_F(WaitKeyTest, KeysWithACharacterGiveThatCharacter) {
  terminal.TypeText("a\r\b\x1b");
  EXPECT_EQ(console.WaitKey(), "a");
  EXPECT_EQ(console.WaitKey(), "\r");
  EXPECT_EQ(console.WaitKey(), "\b");
  EXPECT_EQ(console.WaitKey(), "\x1b");
}

TEST_F(WaitKeyTest, KeysWithoutACharacterGiveZeroAndTheScanCode) {
  terminal.PressScanKey(0x48);
  terminal.PressScanKey(0x3B);
  EXPECT_EQ(console.WaitKey(), Bytes({0, 0x48}));
  EXPECT_EQ(console.WaitKey(), Bytes({0, 0x3B}));
}

TEST_F(WaitKeyTest, AltWithALetterGivesTheTwoCharacterForm) {
  terminal.PressAltLetter('a', 0x1E);
  EXPECT_EQ(console.WaitKey(), Bytes({0, 0x1E}));
}

TEST_F(WaitKeyTest, ModifierKeysAloneAndReleasesAreSkipped) {
  for (int scan : {0x1D, 0x2A, 0x36, 0x38, 0x3A, 0x45, 0x46}) terminal.PressScanKey(scan);
  InputEvent release = InputEvent::Char('x');
  release.keyDown = false;
  terminal.Push(release);
  terminal.TypeText("b");
  EXPECT_EQ(console.WaitKey(), "b");
  EXPECT_EQ(terminal.PendingInput(), 0u);
}

TEST_F(WaitKeyTest, LeftAndRightButtonsGivePressAndRelease) {
  UseGameSelection();
  terminal.Click(3, 7);
  terminal.RightClick(5, 9);
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 4, 1}));
  EXPECT_EQ(console.MouseRow(), 3);
  EXPECT_EQ(console.MouseColumn(), 7);
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 8, 1}));
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 4, 2}));
  EXPECT_EQ(console.MouseRow(), 5);
  EXPECT_EQ(console.MouseColumn(), 9);
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 8, 2}));
}

TEST_F(WaitKeyTest, MouseRowAndColumnAreZeroBeforeAnyMouseEvent) {
  EXPECT_EQ(console.MouseRow(), 0);
  EXPECT_EQ(console.MouseColumn(), 0);
}

TEST_F(WaitKeyTest, TheButtonIsTheLowestOneThatChanged) {
  UseGameSelection();
  terminal.Push(InputEvent::Mouse(1, 2, 2));  // left down
  terminal.Push(InputEvent::Mouse(3, 2, 2));  // right down as well
  terminal.Push(InputEvent::Mouse(2, 2, 2));  // left up, right still down
  terminal.Push(InputEvent::Mouse(0, 2, 2));  // right up
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 4, 1}));
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 4, 2}));
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 8, 1}));
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 8, 2}));
}

TEST_F(WaitKeyTest, GameSelectionSkipsMiddleButtonMovesAndWheel) {
  UseGameSelection();
  terminal.Click(3, 7);
  terminal.Click(8, 8, 4);                                  // middle button
  terminal.Push(InputEvent::Mouse(0, 9, 9, MouseMoved));    // movement
  terminal.Push(InputEvent::Mouse(0, 9, 9, MouseWheeled));  // wheel
  terminal.TypeText("z");
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 4, 1}));
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 8, 1}));
  EXPECT_EQ(console.WaitKey(), "z");
  EXPECT_EQ(console.MouseRow(), 3) << "skipped events must not move the mouse position";
  EXPECT_EQ(console.MouseColumn(), 7);
}

TEST_F(WaitKeyTest, ASkippedDoubleClickStillUpdatesTheButtonState) {
  UseGameSelection();
  // The double click itself is skipped, but its state (left down) is taken
  // in, so the release that follows is a left release.
  terminal.Push(InputEvent::Mouse(1, 6, 4, MouseDoubleClick));
  terminal.Push(InputEvent::Mouse(0, 6, 4));
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 8, 1}));
  EXPECT_EQ(console.MouseRow(), 6);
  EXPECT_EQ(console.MouseColumn(), 4);
}

TEST_F(WaitKeyTest, AnEventWithNoButtonChangeIsSkipped) {
  UseGameSelection();
  terminal.Push(InputEvent::Mouse(0, 2, 2));
  terminal.TypeText("n");
  EXPECT_EQ(console.WaitKey(), "n");
}

TEST_F(WaitKeyTest, MovementIsReportedWhenItsKindIsSelected) {
  console.EnableMouseInput();
  console.SelectMouseEvents(3, 1 | 4 | 8);
  terminal.Push(InputEvent::Mouse(0, 4, 6, MouseMoved));
  EXPECT_EQ(console.WaitKey(), Bytes({255, 255, 1, 0}));
  EXPECT_EQ(console.MouseRow(), 4);
  EXPECT_EQ(console.MouseColumn(), 6);
}

TEST_F(WaitKeyTest, NoMouseEventsBeforeMouseInputIsEnabled) {
  console.SelectMouseEvents(3, 4 | 8);
  terminal.Click(3, 7);
  terminal.TypeText("q");
  EXPECT_EQ(console.WaitKey(), "q");
  EXPECT_EQ(console.MouseRow(), 0);
}

TEST_F(WaitKeyTest, NothingIsReportedBeforeAKindIsSelected) {
  console.EnableMouseInput();
  terminal.Click(3, 7);
  terminal.TypeText("q");
  EXPECT_EQ(console.WaitKey(), "q");
}

TEST_F(WaitKeyTest, AResizeRepaintsTheDeviceFromTheConsolesCells) {
  console.SetColors(14, 1);
  console.MoveCursor(2, 3);
  console.PrintText("Hello");
  console.SetColors(7, 0);
  console.MoveCursor(25, 76);
  console.PrintText("edge!");
  terminal.Resize(25, 80);
  terminal.TypeText("k");
  EXPECT_EQ(console.WaitKey(), "k");
  EXPECT_EQ(terminal.Text(2, 3, 5), "Hello");
  EXPECT_EQ(terminal.AttributeAt(2, 3), 0x1E);
  EXPECT_EQ(terminal.Text(25, 76, 5), "edge!");
  EXPECT_EQ(terminal.AttributeAt(25, 80), 0x07);
}

TEST_F(WaitKeyTest, WaitKeyOrResizeReturnsEmptyOnAResize) {
  console.MoveCursor(2, 3);
  console.PrintText("Hello");
  terminal.Resize(25, 80);
  terminal.TypeText("k");
  EXPECT_EQ(console.WaitKeyOrResize(), std::nullopt);
  EXPECT_EQ(console.WaitKeyOrResize(), std::optional<std::string>("k"));
}

}  // namespace
}  // namespace keelmark
