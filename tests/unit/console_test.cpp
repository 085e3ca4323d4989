// The console operations over the virtual terminal: number forms, print
// zones, wrapping and scrolling, cursor and colour rules, key and mouse
// classification, repainting after a resize.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "presentation/console.h"
#include "tests/doubles/event_log.h"
#include "tests/doubles/virtual_terminal.h"

namespace keelmark {
namespace {

using testing::AltLetter;
using testing::EventLog;
using testing::Golden;
using testing::MouseKey;
using testing::ScanKey;
using testing::VirtualTerminal;

class ConsoleTest : public ::testing::Test {
 protected:
  explicit ConsoleTest(int rows = 25, int columns = 80)
      : terminal(log, rows, columns), console(terminal) {}

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

TEST_F(ConsoleTest, NextPrintZoneMovesToTheNextZoneStart) {
  const std::pair<int, int> moves[] = {{60, 71}, {66, 71}, {1, 15}, {2, 15},
                                       {14, 15}, {29, 43}, {43, 57}, {57, 71}};
  for (auto [from, to] : moves) {
    console.MoveCursor(3, from);
    console.NextPrintZone();
    EXPECT_EQ(console.CursorRow(), 3) << "from " << from;
    EXPECT_EQ(console.CursorColumn(), to) << "from " << from;
  }
  // From the last zone the blanks run past the edge and wrap like text.
  console.MoveCursor(6, 71);
  console.NextPrintZone();
  EXPECT_EQ(console.CursorRow(), 7);
  EXPECT_EQ(console.CursorColumn(), 5);
}

// Wrapping and scrolling, on a screen of 4 rows by 10 columns whose rows
// are labelled so that a scroll shows.
struct ScrollCase {
  const char* name;
  std::function<void(Console&)> steps;
  const char* picture;
  int cursorRow;
  int cursorColumn;
  bool pendingWrap;
};

void PrintTo(const ScrollCase& c, std::ostream* os) { *os << c.name; }

class Scrolling : public ConsoleTest, public ::testing::WithParamInterface<ScrollCase> {
 protected:
  Scrolling() : ConsoleTest(4, 10) {
    for (int r = 1; r <= 3; ++r) {
      console.MoveCursor(r, 1);
      console.PrintText("r" + std::to_string(r));
    }
  }
};

TEST_P(Scrolling, LeavesTheScreenAndTheCursorSo) {
  GetParam().steps(console);
  EXPECT_EQ(terminal.Picture(), Golden(GetParam().picture));
  EXPECT_EQ(console.CursorRow(), GetParam().cursorRow);
  EXPECT_EQ(console.CursorColumn(), GetParam().cursorColumn);
  EXPECT_EQ(console.PendingWrap(), GetParam().pendingWrap);
}

void FillBottomRowEnd(Console& console) {
  console.MoveCursor(4, 8);
  console.PrintText("abc");
}

INSTANTIATE_TEST_SUITE_P(
    Steps, Scrolling,
    ::testing::Values(
        ScrollCase{"wrap_at_the_right_edge",
                   [](Console& c) { c.MoveCursor(1, 8); c.PrintText("abcde"); },
                   "\nr1     abc\nde\nr3\n\n", 2, 3, false},
        ScrollCase{"filling_a_row_above_the_bottom_moves_on",
                   [](Console& c) { c.MoveCursor(2, 6); c.PrintText("vwxyz"); },
                   "\nr1\nr2   vwxyz\nr3\n\n", 3, 1, false},
        ScrollCase{"filling_the_bottom_row_leaves_a_wrap_pending",
                   FillBottomRowEnd, "\nr1\nr2\nr3\n       abc\n", 4, 1, true},
        ScrollCase{"writing_with_a_wrap_pending_scrolls_first",
                   [](Console& c) { FillBottomRowEnd(c); c.PrintText("d"); },
                   "\nr2\nr3\n       abc\nd\n", 4, 2, false},
        ScrollCase{"text_past_the_bottom_row_goes_on_a_fresh_row",
                   [](Console& c) { c.MoveCursor(4, 9); c.PrintText("wxyz"); },
                   "\nr2\nr3\n        wx\nyz\n", 4, 3, false},
        ScrollCase{"end_line_above_the_bottom_moves_down",
                   [](Console& c) { c.MoveCursor(2, 5); c.EndLine(); },
                   "\nr1\nr2\nr3\n\n", 3, 1, false},
        ScrollCase{"end_line_on_the_bottom_row_scrolls_once",
                   [](Console& c) { c.MoveCursor(4, 1); c.PrintText("bottom"); c.EndLine(); },
                   "\nr2\nr3\nbottom\n\n", 4, 1, false},
        ScrollCase{"end_line_with_a_wrap_pending_scrolls_twice",
                   [](Console& c) { FillBottomRowEnd(c); c.EndLine(); },
                   "\nr3\n       abc\n\n\n", 4, 1, false},
        ScrollCase{"moving_the_cursor_clears_a_pending_wrap",
                   [](Console& c) { FillBottomRowEnd(c); c.MoveCursor(4, 1); c.PrintText("z"); },
                   "\nr1\nr2\nr3\nz      abc\n", 4, 2, false},
        ScrollCase{"clearing_clears_a_pending_wrap",
                   [](Console& c) { FillBottomRowEnd(c); c.ClearScreen(); c.PrintText("q"); },
                   "\nq\n\n\n\n", 1, 2, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConsoleTest, AScrollFillsTheNewBottomRowInTheCurrentColours) {
  console.MoveCursor(25, 1);
  console.SetColors(2, 1);
  console.EndLine();
  EXPECT_EQ(terminal.AttributeAt(25, 40), 0x12);
}

// However tall the screen, a clear or a scroll is one operation of the
// device, never every row written again.
TEST_F(ConsoleTest, ClearAndScrollAreOneDeviceOperationEach) {
  console.ClearScreen();
  console.MoveCursor(25, 1);
  console.EndLine();
  EXPECT_EQ(terminal.Clears(), 1);
  EXPECT_EQ(terminal.Scrolls(), 1);
}

// A window shrunk under the game: the device cannot scroll rows it does not
// have, so what the game's bottom rows held is painted in instead.
TEST_F(ConsoleTest, AScrollOnASmallerDeviceShowsTheRowsThatMovedUpIntoIt) {
  console.MoveCursor(21, 1);
  console.PrintText("kept");
  terminal.Resize(20, 80);
  ASSERT_EQ(console.WaitKeyOrResize(), std::nullopt);
  console.MoveCursor(25, 1);
  console.EndLine();
  EXPECT_EQ(terminal.Text(20, 1, 4), "kept");
}

TEST_F(ConsoleTest, MoveCursorIgnoresEachOutOfRangeCoordinateOnItsOwn) {
  const struct {
    int row, column;
    int expectedRow, expectedColumn;
  } moves[] = {{10, 20, 10, 20}, {0, 5, 10, 5},   {26, 7, 10, 7},  {12, 0, 12, 7},
               {13, 81, 13, 7},  {-1, 90, 13, 7}, {25, 80, 25, 80}};
  for (const auto& m : moves) {
    console.MoveCursor(m.row, m.column);
    EXPECT_EQ(console.CursorRow(), m.expectedRow) << m.row << "," << m.column;
    EXPECT_EQ(console.CursorColumn(), m.expectedColumn) << m.row << "," << m.column;
  }
}

TEST_F(ConsoleTest, SetColorsKeepsAColourOutsideZeroToFifteenAndTextTakesTheCurrentOnes) {
  const struct {
    int foreground, background;
    int attribute;
  } changes[] = {{3, 8, 0x83}, {14, -1, 0x8E}, {16, 2, 0x2E}, {-5, 15, 0xFE}, {0, 0, 0x00}};
  // The device writes in the current colours too, from the start.
  EXPECT_EQ(terminal.TextAttribute(), 0x07);
  int column = 1;
  for (const auto& c : changes) {
    console.SetColors(c.foreground, c.background);
    EXPECT_EQ(terminal.TextAttribute(), c.attribute) << c.foreground << "," << c.background;
    console.MoveCursor(2, column);
    console.PrintText("Y");
    EXPECT_EQ(terminal.AttributeAt(2, column), c.attribute) << c.foreground << "," << c.background;
    EXPECT_EQ(console.CellAt(2, column++).attribute, c.attribute);
  }
}

// The one device setting no other test sees: a terminal shows its cursor
// unasked, the Windows console not always.
TEST_F(ConsoleTest, ShowCursorReachesTheDevice) {
  console.ShowCursor();
  EXPECT_TRUE(terminal.CursorVisible());
}

TEST_F(ConsoleTest, ClearScreenFillsEveryCellInTheCurrentColours) {
  console.MoveCursor(3, 3);
  console.PrintText("left over");
  console.SetColors(3, 8);
  console.ClearScreen();
  EXPECT_EQ(console.CursorRow(), 1);
  EXPECT_EQ(console.CursorColumn(), 1);
  EXPECT_EQ(terminal.Picture(), std::string(25, '\n'));
  EXPECT_EQ(console.CellAt(25, 80).attribute, 0x83);
}

// What WaitKey makes of the events the device delivers, with mouse input
// enabled or not and the buttons of the game's selection.
struct KeyCase {
  const char* name;
  std::vector<InputEvent> events;
  bool mouseEnabled;
  int kinds;
  std::vector<std::string> keys;
  int mouseRow;  // after the last key
  int mouseColumn;
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

InputEvent Release(int character) {
  InputEvent e = InputEvent::Char(character);
  e.keyDown = false;
  return e;
}

InputEvent Buttons(int state, int row, int column, int flags = MouseButtonChange) {
  return InputEvent::Mouse(state, row, column, flags);
}

const std::string leftPress = MouseKey(PressEvent, LeftButton);
const std::string leftRelease = MouseKey(ReleaseEvent, LeftButton);
const std::string rightPress = MouseKey(PressEvent, RightButton);
const std::string rightRelease = MouseKey(ReleaseEvent, RightButton);
constexpr int gameKinds = PressEvent | ReleaseEvent;

class WaitKeyCases : public ConsoleTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(WaitKeyCases, GiveTheseKeys) {
  const KeyCase& c = GetParam();
  if (c.mouseEnabled) console.EnableMouseInput();
  console.SelectMouseEvents(LeftButton | RightButton, c.kinds);
  for (const InputEvent& e : c.events) terminal.Push(e);
  for (const std::string& key : c.keys) EXPECT_EQ(console.WaitKey(), key);
  EXPECT_EQ(terminal.PendingInput(), 0u) << "every event taken";
  EXPECT_EQ(console.MouseRow(), c.mouseRow);
  EXPECT_EQ(console.MouseColumn(), c.mouseColumn);
}

INSTANTIATE_TEST_SUITE_P(
    Events, WaitKeyCases,
    ::testing::Values(
        KeyCase{"characters_as_they_are",
                {InputEvent::Char('a'), InputEvent::Char(13), InputEvent::Char(8), InputEvent::Char(27)},
                true, gameKinds, {"a", "\r", "\b", "\x1b"}, 0, 0},
        KeyCase{"keys_without_a_character_give_zero_and_the_scan_code",
                {InputEvent::Scan(0x48), InputEvent::Scan(0x3B), AltLetter('a', 0x1E),
                 AltLetter('q', 0)},
                true, gameKinds,
                {ScanKey(0x48), ScanKey(0x3B), ScanKey(0x1E), ScanKey(0x10)}, 0, 0},
        KeyCase{"modifiers_alone_and_releases_are_skipped",
                {InputEvent::Scan(0x1D), InputEvent::Scan(0x2A), InputEvent::Scan(0x36),
                 InputEvent::Scan(0x38), InputEvent::Scan(0x3A), InputEvent::Scan(0x45),
                 InputEvent::Scan(0x46), Release('x'), InputEvent::Char('b')},
                true, gameKinds, {"b"}, 0, 0},
        KeyCase{"left_and_right_press_and_release",
                {Buttons(1, 3, 7), Buttons(0, 3, 7), Buttons(2, 5, 9), Buttons(0, 5, 9)},
                true, gameKinds, {leftPress, leftRelease, rightPress, rightRelease}, 5, 9},
        KeyCase{"the_button_is_the_lowest_that_changed",
                {Buttons(1, 2, 2), Buttons(3, 2, 2), Buttons(2, 2, 2), Buttons(0, 2, 2)},
                true, gameKinds, {leftPress, rightPress, leftRelease, rightRelease}, 2, 2},
        KeyCase{"two_buttons_changing_at_once_count_as_the_lowest",
                {Buttons(3, 2, 2), Buttons(0, 2, 2)}, true, gameKinds, {leftPress, leftRelease}, 2, 2},
        KeyCase{"middle_button_moves_and_wheel_are_skipped_and_keep_the_position",
                {Buttons(1, 3, 7), Buttons(0, 3, 7), Buttons(4, 8, 8), Buttons(0, 8, 8),
                 Buttons(0, 9, 9, MouseMoved), Buttons(0, 9, 9, MouseWheeled), InputEvent::Char('z')},
                true, gameKinds, {leftPress, leftRelease, "z"}, 3, 7},
        KeyCase{"a_skipped_double_click_still_counts_its_button_state",
                {Buttons(1, 6, 4, MouseDoubleClick), Buttons(0, 6, 4)},
                true, gameKinds, {leftRelease}, 6, 4},
        KeyCase{"an_event_without_a_button_change_is_skipped",
                {Buttons(0, 2, 2), InputEvent::Char('n')}, true, gameKinds, {"n"}, 0, 0},
        KeyCase{"movement_when_its_kind_is_selected",
                {Buttons(0, 4, 6, MouseMoved)}, true, MoveEvent | gameKinds,
                {MouseKey(MoveEvent, 0)}, 4, 6},
        KeyCase{"no_mouse_before_mouse_input_is_enabled",
                {Buttons(1, 3, 7), Buttons(0, 3, 7), InputEvent::Char('q')}, false, gameKinds, {"q"}, 0, 0},
        KeyCase{"no_mouse_before_a_kind_is_selected",
                {Buttons(1, 3, 7), Buttons(0, 3, 7), InputEvent::Char('q')}, true, 0, {"q"}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// WaitKey goes on past a resize; WaitKeyOrResize stops at it. Either has
// repainted the blanked device from the console's cells by then.
TEST_F(ConsoleTest, AResizeRepaintsTheDeviceFromTheConsolesCells) {
  console.SetColors(14, 1);
  console.MoveCursor(2, 3);
  console.PrintText("Hello");
  console.SetColors(7, 0);
  console.MoveCursor(25, 76);
  console.PrintText("edge!");
  terminal.Resize(25, 80);
  terminal.TypeText("k");
  terminal.Resize(25, 80);
  terminal.TypeText("j");
  const auto expectRepainted = [&] {
    EXPECT_EQ(terminal.Text(2, 3, 5), "Hello");
    EXPECT_EQ(terminal.AttributeAt(2, 3), 0x1E);
    EXPECT_EQ(terminal.Text(25, 76, 5), "edge!");
    EXPECT_EQ(terminal.AttributeAt(25, 80), 0x07);
  };
  EXPECT_EQ(console.WaitKey(), "k");
  expectRepainted();
  EXPECT_EQ(console.WaitKeyOrResize(), std::nullopt);
  expectRepainted();
  EXPECT_EQ(console.WaitKeyOrResize(), std::optional<std::string>("j"));
}

}  // namespace
}  // namespace keelmark
