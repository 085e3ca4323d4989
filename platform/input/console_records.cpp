#include "platform/input/console_records.h"

#include <algorithm>

namespace keelmark {

namespace {

// A real console fills in the scan code, but records made by other programs
// (and some consoles' own translation of terminal input) carry only the
// virtual key. The codes are those of the PC keyboard the game's key texts
// are made of.
struct VirtualKeyScanCode {
  int virtualKeyCode;
  int scanCode;
};

constexpr VirtualKeyScanCode virtualKeyScanCodes[] = {
    {0x10, 0x2A}, {0xA0, 0x2A}, {0xA1, 0x36},                // shift, left, right
    {0x11, 0x1D}, {0xA2, 0x1D}, {0xA3, 0x1D},                // control
    {0x12, 0x38}, {0xA4, 0x38}, {0xA5, 0x38},                // alt
    {0x14, 0x3A}, {0x90, 0x45}, {0x91, 0x46},                // caps, num, scroll lock
    {0x21, 0x49}, {0x22, 0x51}, {0x23, 0x4F}, {0x24, 0x47},  // page up, page down, end, home
    {0x25, 0x4B}, {0x26, 0x48}, {0x27, 0x4D}, {0x28, 0x50},  // left, up, right, down
    {0x2D, 0x52}, {0x2E, 0x53},                              // insert, delete
    {0x7A, 0x57}, {0x7B, 0x58},                              // F11, F12
};

constexpr int virtualKeyF1 = 0x70;
constexpr int virtualKeyF10 = 0x79;
constexpr int scanCodeF1 = 0x3B;

// AltGr is reported as right Alt together with left Ctrl; what it types is
// a character, not an Alt combination.
bool AltHeld(std::uint32_t controlKeyState) {
  if (controlKeyState & LeftAltPressed) return true;
  return (controlKeyState & RightAltPressed) != 0 && (controlKeyState & LeftCtrlPressed) == 0;
}

}  // namespace

int ScanCodeOfVirtualKey(int virtualKeyCode) {
  if (virtualKeyCode >= virtualKeyF1 && virtualKeyCode <= virtualKeyF10)
    return scanCodeF1 + (virtualKeyCode - virtualKeyF1);
  for (const VirtualKeyScanCode& entry : virtualKeyScanCodes) {
    if (entry.virtualKeyCode == virtualKeyCode) return entry.scanCode;
  }
  return 0;
}

std::vector<InputEvent> EventsFromKeyRecord(const ConsoleKeyRecord& record) {
  InputEvent event;
  event.kind = InputEvent::Kind::Key;
  event.keyDown = record.keyDown;
  event.character = record.character != 0 ? record.character : -1;
  event.scanCode = record.virtualScanCode != 0 ? record.virtualScanCode
                                               : ScanCodeOfVirtualKey(record.virtualKeyCode);
  event.alt = AltHeld(record.controlKeyState);
  if (!record.keyDown) return {event};
  return std::vector<InputEvent>(static_cast<std::size_t>(std::max(record.repeatCount, 1)), event);
}

InputEvent EventFromMouseRecord(const ConsoleMouseRecord& record) {
  // The whole button state goes on, the wheel's distance in its high word
  // included: the game reports it as the button of a wheel event.
  return InputEvent::Mouse(static_cast<int>(record.buttonState), record.y + 1, record.x + 1,
                           static_cast<int>(record.eventFlags));
}

}  // namespace keelmark
