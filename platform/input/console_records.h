#pragma once
// The Windows console's input records turned into the game's input events.
// The records' fields are copied into plain values first, so this holds no
// Windows types and is tried on every system.

#include <cstdint>
#include <vector>

#include "presentation/terminal.h"

namespace keelmark {

// Bits of dwControlKeyState, as the console sets them.
enum ConsoleControlKey : std::uint32_t {
  RightAltPressed = 0x0001,
  LeftAltPressed = 0x0002,
  RightCtrlPressed = 0x0004,
  LeftCtrlPressed = 0x0008,
  EnhancedKey = 0x0100,
};

// A KEY_EVENT_RECORD read with ReadConsoleInputA.
struct ConsoleKeyRecord {
  bool keyDown = true;
  int repeatCount = 1;
  int virtualKeyCode = 0;
  int virtualScanCode = 0;
  // uChar.AsciiChar as a byte, 0 for a key that produces no character.
  unsigned char character = 0;
  std::uint32_t controlKeyState = 0;
};

// A MOUSE_EVENT_RECORD: dwMousePosition is 0-based.
struct ConsoleMouseRecord {
  int x = 0;
  int y = 0;
  std::uint32_t buttonState = 0;
  std::uint32_t controlKeyState = 0;
  std::uint32_t eventFlags = 0;
};

// One event per repetition of the key: a key held down arrives as one record
// with a count, and the game must see every character it typed.
std::vector<InputEvent> EventsFromKeyRecord(const ConsoleKeyRecord& record);

InputEvent EventFromMouseRecord(const ConsoleMouseRecord& record);

// The PC scan code of a virtual key without a character (arrows, function
// keys, the modifiers), or 0 when it has none.
int ScanCodeOfVirtualKey(int virtualKeyCode);

}  // namespace keelmark
