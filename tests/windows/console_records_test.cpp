// Console input records, with the field values a Windows console gives them,
// turned into events and read back through the game's own WaitKey: what the
// player types and clicks must come out as the keys the game expects. Mouse
// records cannot be injected into a console under Wine, so the clicks are
// covered only here.

#include <gtest/gtest.h>

#include <string>

#include "platform/windows/console_records.h"
#include "presentation/console.h"
#include "tests/doubles/event_log.h"
#include "tests/doubles/virtual_terminal.h"

namespace keelmark {
namespace {

using testing::EventLog;
using testing::VirtualTerminal;

constexpr std::uint32_t shiftPressed = 0x0010;
constexpr std::uint32_t mouseDoubleClick = 2;
constexpr std::uint32_t mouseWheeled = 4;
constexpr std::uint32_t mouseMoved = 1;

ConsoleKeyRecord Key(int virtualKey, int scanCode, int character, std::uint32_t state = 0) {
  ConsoleKeyRecord record;
  record.virtualKeyCode = virtualKey;
  record.virtualScanCode = scanCode;
  record.character = static_cast<unsigned char>(character);
  record.controlKeyState = state;
  return record;
}

ConsoleMouseRecord Mouse(int x, int y, std::uint32_t buttons, std::uint32_t flags = 0) {
  ConsoleMouseRecord record;
  record.x = x;
  record.y = y;
  record.buttonState = buttons;
  record.eventFlags = flags;
  return record;
}

std::string MouseKey(int kind, int button) {
  return std::string(2, '\xFF') + static_cast<char>(kind) + static_cast<char>(button);
}

class ConsoleRecordsTest : public ::testing::Test {
 protected:
  ConsoleRecordsTest() : terminal(log), console(terminal) {
    console.EnableMouseInput();
    console.SelectMouseEvents(3, 4 | 8);
  }

  // A key as the console reports it: a press and then a release.
  void Press(ConsoleKeyRecord record) {
    for (const InputEvent& event : EventsFromKeyRecord(record)) terminal.Push(event);
    record.keyDown = false;
    for (const InputEvent& event : EventsFromKeyRecord(record)) terminal.Push(event);
  }
  void Feed(const ConsoleMouseRecord& record) { terminal.Push(EventFromMouseRecord(record)); }

  EventLog log;
  VirtualTerminal terminal;
  Console console;
};

TEST_F(ConsoleRecordsTest, TypedCharactersArriveOnePerPress) {
  Press(Key(0x43, 0x2E, 'c'));
  Press(Key(0x37, 0x08, '7'));
  Press(Key(0xBC, 0x33, ','));
  Press(Key(0x08, 0x0E, 8));
  Press(Key(0x0D, 0x1C, 13));
  EXPECT_EQ(console.WaitKey(), "c");
  EXPECT_EQ(console.WaitKey(), "7");
  EXPECT_EQ(console.WaitKey(), ",");
  EXPECT_EQ(console.WaitKey(), "\b");
  EXPECT_EQ(console.WaitKey(), "\r");
}

TEST_F(ConsoleRecordsTest, AHeldKeyRepeatsAsManyTimesAsTheRecordCounts) {
  ConsoleKeyRecord held = Key(0x41, 0x1E, 'a');
  held.repeatCount = 3;
  Press(held);
  Press(Key(0x0D, 0x1C, 13));
  EXPECT_EQ(console.WaitKey(), "a");
  EXPECT_EQ(console.WaitKey(), "a");
  EXPECT_EQ(console.WaitKey(), "a");
  EXPECT_EQ(console.WaitKey(), "\r");
}

TEST_F(ConsoleRecordsTest, ShiftAloneIsSkippedAndTheShiftedLetterArrives) {
  Press(Key(0x10, 0x2A, 0, shiftPressed));
  Press(Key(0x41, 0x1E, 'A', shiftPressed));
  EXPECT_EQ(console.WaitKey(), "A");
}

TEST_F(ConsoleRecordsTest, KeysWithoutACharacterGiveTheirScanCode) {
  const std::string zero(1, '\0');
  Press(Key(0x26, 0x48, 0, EnhancedKey));  // the arrow block's up arrow
  Press(Key(0x70, 0x3B, 0));               // F1
  Press(Key(0x2E, 0x53, 0, EnhancedKey));  // delete
  EXPECT_EQ(console.WaitKey(), zero + '\x48');
  EXPECT_EQ(console.WaitKey(), zero + '\x3B');
  EXPECT_EQ(console.WaitKey(), zero + '\x53');
}

TEST_F(ConsoleRecordsTest, RecordsWithoutAScanCodeTakeItFromTheVirtualKey) {
  const std::string zero(1, '\0');
  Press(Key(0xA1, 0, 0));  // right shift: skipped like any modifier
  Press(Key(0x11, 0, 0));  // control
  Press(Key(0x14, 0, 0));  // caps lock
  Press(Key(0x28, 0, 0));  // down
  Press(Key(0x79, 0, 0));  // F10
  Press(Key(0x7B, 0, 0));  // F12
  EXPECT_EQ(console.WaitKey(), zero + '\x50');
  EXPECT_EQ(console.WaitKey(), zero + '\x44');
  EXPECT_EQ(console.WaitKey(), zero + '\x58');
}

TEST_F(ConsoleRecordsTest, CtrlCIsAnOrdinaryKey) {
  Press(Key(0x11, 0x1D, 0, LeftCtrlPressed));
  Press(Key(0x43, 0x2E, 3, LeftCtrlPressed));
  EXPECT_EQ(console.WaitKey(), "\x03");
}

TEST_F(ConsoleRecordsTest, AltWithALetterGivesTheScanCodeButAltGrTypesItsCharacter) {
  Press(Key(0x46, 0x21, 'f', LeftAltPressed));
  Press(Key(0x46, 0x21, 'f', RightAltPressed));
  // AltGr+Q on a German keyboard types "@"; AltGr is right Alt with left Ctrl.
  Press(Key(0x51, 0x10, '@', RightAltPressed | LeftCtrlPressed));
  EXPECT_EQ(console.WaitKey(), std::string(1, '\0') + '\x21');
  EXPECT_EQ(console.WaitKey(), std::string(1, '\0') + '\x21');
  EXPECT_EQ(console.WaitKey(), "@");

  const InputEvent altGrLetter = EventsFromKeyRecord(Key(0x45, 0x12, 'e', RightAltPressed | LeftCtrlPressed)).front();
  EXPECT_FALSE(altGrLetter.alt);
}

TEST_F(ConsoleRecordsTest, ALeftClickIsAPressAndAReleaseAtItsOneBasedCell) {
  Feed(Mouse(6, 2, 1));
  Feed(Mouse(6, 2, 0));
  EXPECT_EQ(console.WaitKey(), MouseKey(4, 1));
  EXPECT_EQ(console.MouseRow(), 3);
  EXPECT_EQ(console.MouseColumn(), 7);
  EXPECT_EQ(console.WaitKey(), MouseKey(8, 1));
}

TEST_F(ConsoleRecordsTest, TheRightButtonIsReportedAsItselfAndTheMiddleOneNotAtAll) {
  Feed(Mouse(0, 0, 4));  // middle down and up
  Feed(Mouse(0, 0, 0));
  Feed(Mouse(9, 4, 2));
  EXPECT_EQ(console.WaitKey(), MouseKey(4, 2));
  EXPECT_EQ(console.MouseRow(), 5);
  EXPECT_EQ(console.MouseColumn(), 10);
}

TEST_F(ConsoleRecordsTest, TheSecondPressOfADoubleClickIsSkipped) {
  // The console reports the second press with its own double-click flag
  // instead of as a button change; both releases are ordinary.
  Feed(Mouse(3, 1, 1));
  Feed(Mouse(3, 1, 0));
  Feed(Mouse(3, 1, 1, mouseDoubleClick));
  Feed(Mouse(3, 1, 0));
  Press(Key(0x41, 0x1E, 'a'));
  EXPECT_EQ(console.WaitKey(), MouseKey(4, 1));
  EXPECT_EQ(console.WaitKey(), MouseKey(8, 1));
  EXPECT_EQ(console.WaitKey(), MouseKey(8, 1));
  EXPECT_EQ(console.WaitKey(), "a");
}

TEST_F(ConsoleRecordsTest, WheelTurnsAndMovementsAreSkipped) {
  Feed(Mouse(5, 5, 0x00780000u, mouseWheeled));  // one notch away, in the high word
  Feed(Mouse(5, 5, 0xFF880000u, mouseWheeled));  // and back
  Feed(Mouse(6, 6, 1, mouseMoved));              // a drag: the button is already down
  Feed(Mouse(6, 6, 0));
  Press(Key(0x42, 0x30, 'b'));
  EXPECT_EQ(console.WaitKey(), MouseKey(8, 1));
  EXPECT_EQ(console.WaitKey(), "b");
}

}  // namespace
}  // namespace keelmark
