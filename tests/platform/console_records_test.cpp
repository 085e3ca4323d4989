// Console input records, with the field values a Windows console gives them,
// turned into events and read back through the game's own WaitKey: what the
// player types and clicks must come out as the keys the game expects. Mouse
// records cannot be injected into a console under Wine, so the clicks are
// covered only here.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <variant>
#include <vector>

#include "platform/input/console_records.h"
#include "presentation/console.h"
#include "tests/doubles/event_log.h"
#include "tests/doubles/virtual_terminal.h"

namespace keelmark {
namespace {

using testing::EventLog;
using testing::MouseKey;
using testing::ScanKey;
using testing::VirtualTerminal;

constexpr std::uint32_t shiftPressed = 0x0010;
constexpr std::uint32_t mouseDoubleClick = 2;
constexpr std::uint32_t mouseWheeled = 4;
constexpr std::uint32_t mouseMoved = 1;

ConsoleKeyRecord Key(int virtualKey, int scanCode, int character, std::uint32_t state = 0,
                     int repeatCount = 1) {
  ConsoleKeyRecord record;
  record.virtualKeyCode = virtualKey;
  record.virtualScanCode = scanCode;
  record.character = static_cast<unsigned char>(character);
  record.controlKeyState = state;
  record.repeatCount = repeatCount;
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

using Record = std::variant<ConsoleKeyRecord, ConsoleMouseRecord>;

// Records fed in order (a key record as a press and then a release, as the
// console reports it), and the keys WaitKey gives for them with the game's
// selection; the mouse cell is the console's after the last key.
struct RecordCase {
  const char* name;
  std::vector<Record> records;
  std::vector<std::string> keys;
  int mouseRow = 0;
  int mouseColumn = 0;
};

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }

class ConsoleRecords : public ::testing::TestWithParam<RecordCase> {};

TEST_P(ConsoleRecords, ArriveAsTheGamesKeys) {
  EventLog log;
  VirtualTerminal terminal(log);
  Console console(terminal);
  console.EnableMouseInput();
  console.SelectMouseEvents(3, 4 | 8);
  for (const Record& record : GetParam().records) {
    if (const auto* mouse = std::get_if<ConsoleMouseRecord>(&record)) {
      terminal.Push(EventFromMouseRecord(*mouse));
      continue;
    }
    ConsoleKeyRecord key = std::get<ConsoleKeyRecord>(record);
    for (const InputEvent& event : EventsFromKeyRecord(key)) terminal.Push(event);
    key.keyDown = false;
    for (const InputEvent& event : EventsFromKeyRecord(key)) terminal.Push(event);
  }
  terminal.TypeText(".");  // no key more than the listed ones comes before it
  for (const std::string& key : GetParam().keys) EXPECT_EQ(console.WaitKey(), key);
  EXPECT_EQ(console.MouseRow(), GetParam().mouseRow);
  EXPECT_EQ(console.MouseColumn(), GetParam().mouseColumn);
  EXPECT_EQ(console.WaitKey(), ".");
}

INSTANTIATE_TEST_SUITE_P(
    Records, ConsoleRecords,
    ::testing::Values(
        RecordCase{"typed_characters_arrive_one_per_press",
                   {Key(0x43, 0x2E, 'c'), Key(0x37, 0x08, '7'), Key(0xBC, 0x33, ','), Key(0x08, 0x0E, 8),
                    Key(0x0D, 0x1C, 13)},
                   {"c", "7", ",", "\b", "\r"}},
        RecordCase{"a_held_key_repeats_as_many_times_as_the_record_counts",
                   {Key(0x41, 0x1E, 'a', 0, 3), Key(0x0D, 0x1C, 13)}, {"a", "a", "a", "\r"}},
        RecordCase{"shift_alone_is_skipped_and_the_shifted_letter_arrives",
                   {Key(0x10, 0x2A, 0, shiftPressed), Key(0x41, 0x1E, 'A', shiftPressed)}, {"A"}},
        // The arrow block's up arrow, F1, delete.
        RecordCase{"keys_without_a_character_give_their_scan_code",
                   {Key(0x26, 0x48, 0, EnhancedKey), Key(0x70, 0x3B, 0), Key(0x2E, 0x53, 0, EnhancedKey)},
                   {ScanKey(0x48), ScanKey(0x3B), ScanKey(0x53)}},
        // Right shift, control and caps lock are skipped like any modifier;
        // then down, F10, F12.
        RecordCase{"records_without_a_scan_code_take_it_from_the_virtual_key",
                   {Key(0xA1, 0, 0), Key(0x11, 0, 0), Key(0x14, 0, 0), Key(0x28, 0, 0), Key(0x79, 0, 0),
                    Key(0x7B, 0, 0)},
                   {ScanKey(0x50), ScanKey(0x44), ScanKey(0x58)}},
        RecordCase{"ctrl_c_is_an_ordinary_key",
                   {Key(0x11, 0x1D, 0, LeftCtrlPressed), Key(0x43, 0x2E, 3, LeftCtrlPressed)}, {"\x03"}},
        // AltGr+Q on a German keyboard types "@"; AltGr is right Alt with
        // left Ctrl.
        RecordCase{"alt_with_a_letter_gives_the_scan_code_but_alt_gr_types_its_character",
                   {Key(0x46, 0x21, 'f', LeftAltPressed), Key(0x46, 0x21, 'f', RightAltPressed),
                    Key(0x51, 0x10, '@', RightAltPressed | LeftCtrlPressed),
                    Key(0x45, 0x12, 'e', RightAltPressed | LeftCtrlPressed)},
                   {ScanKey(0x21), ScanKey(0x21), "@", "e"}},
        RecordCase{"a_left_click_is_a_press_and_a_release_at_its_one_based_cell",
                   {Mouse(6, 2, 1), Mouse(6, 2, 0)}, {MouseKey(4, 1), MouseKey(8, 1)}, 3, 7},
        RecordCase{"the_right_button_is_reported_as_itself_and_the_middle_one_not_at_all",
                   {Mouse(0, 0, 4), Mouse(0, 0, 0), Mouse(9, 4, 2)}, {MouseKey(4, 2)}, 5, 10},
        // The console reports the second press with its own double-click
        // flag instead of as a button change; both releases are ordinary.
        RecordCase{"the_second_press_of_a_double_click_is_skipped",
                   {Mouse(3, 1, 1), Mouse(3, 1, 0), Mouse(3, 1, 1, mouseDoubleClick), Mouse(3, 1, 0),
                    Key(0x41, 0x1E, 'a')},
                   {MouseKey(4, 1), MouseKey(8, 1), MouseKey(8, 1), "a"}, 2, 4},
        // A wheel notch away and back, in the high word; then a drag, whose
        // button is already down.
        RecordCase{"wheel_turns_and_movements_are_skipped",
                   {Mouse(5, 5, 0x00780000u, mouseWheeled), Mouse(5, 5, 0xFF880000u, mouseWheeled),
                    Mouse(6, 6, 1, mouseMoved), Mouse(6, 6, 0), Key(0x42, 0x30, 'b')},
                   {MouseKey(8, 1), "b"}, 7, 7}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace keelmark
