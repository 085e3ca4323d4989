#pragma once
// Turns the bytes a terminal sends into the console's input events: typed
// characters (in the locale's encoding) as CP437 keys, escape sequences as
// keys with PC scan codes, xterm mouse reports (X10 and SGR forms) as button
// changes, with double clicks told apart by their timing.
//
// Pure but for the locale (LC_CTYPE, read through mbrtowc, which serves UTF-8
// and single-byte encodings alike): fed bytes with the time they arrived, it
// hands out events, so every rule can be tried without a terminal. A byte
// that does not decode is one key of its own and never holds up the bytes
// after it; an unfinished sequence waits at most the escape delay.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "presentation/terminal.h"

namespace keelmark {

// PC scan codes of the keys without a character, as the console reports them.
namespace scan {
enum : int {
  F1 = 0x3B,  // F1 to F10 follow on
  Home = 0x47, Up = 0x48, PageUp = 0x49, Left = 0x4B, Centre = 0x4C, Right = 0x4D,
  End = 0x4F, Down = 0x50, PageDown = 0x51, Insert = 0x52, Delete = 0x53,
  F11 = 0x57, F12 = 0x58,
};
// The scan code of function key n (1..12), or 0.
int FunctionKey(int n);
}  // namespace scan

// What one key string from the terminal's description stands for: a
// character (Enter, Backspace, a keypad digit) or a key with a scan code.
struct KeyString {
  std::string bytes;
  int character = -1;
  int scanCode = 0;
};

struct InputDecoderOptions {
  // Keys as the terminal's description spells them; they win over the
  // usual xterm readings of the same sequence.
  std::vector<KeyString> keyStrings;
  // How long an unfinished escape sequence or character may wait for the
  // rest of its bytes before its bytes count on their own.
  std::int64_t escapeDelayMs = 25;
  // Two left presses on one cell this close together are a double click:
  // the time of desktops that do not tell a terminal program theirs (GNOME's
  // and Windows' default).
  std::int64_t doubleClickMs = 500;
};

class InputDecoder {
 public:
  explicit InputDecoder(InputDecoderOptions options = {});

  // Bytes that arrived from the terminal at arrivedMs (any monotonic
  // millisecond clock, never going back). Bytes held from before that had
  // already waited out the escape delay by then count on their own first.
  void Feed(std::string_view bytes, std::int64_t arrivedMs);
  // When held bytes stop waiting for the rest of their sequence; nothing
  // while no bytes are held.
  std::optional<std::int64_t> Deadline() const;
  // Lets held bytes count on their own once their deadline has passed.
  void Expire(std::int64_t nowMs);

  bool HasEvent() const { return !events_.empty(); }
  InputEvent TakeEvent();
  std::size_t HeldBytes() const { return held_.size(); }

 private:
  // Decodes one key or report from the front of the bytes and returns how
  // many it used: 0 when it needs more, unless `final` says none will come.
  std::size_t DecodeOne(std::string_view bytes, bool final);
  std::size_t DecodeEscape(std::string_view bytes, bool final);
  std::size_t DecodeCharacter(std::string_view bytes, bool final);
  void Key(int character) { events_.push_back(InputEvent::Char(character)); }
  void ScanKey(int scanCode) {
    if (scanCode != 0) events_.push_back(InputEvent::Scan(scanCode));
  }
  bool KnownKey(std::string_view sequence);
  void Csi(std::string_view parameters, char final);
  void Ss3(char final);
  void MouseReport(int code, int column, int row, bool release);
  void MouseEvent(int row, int column, int flags = MouseButtonChange) {
    events_.push_back(InputEvent::Mouse(buttons_, row, column, flags));
  }
  void Process(bool final);

  InputDecoderOptions options_;
  std::string held_;
  std::int64_t heldSince_ = 0;
  std::int64_t now_ = 0;
  std::deque<InputEvent> events_;

  int buttons_ = 0;  // down after the last mouse report
  // The last left press was a plain one (not the second of a double click)
  // and its release has come: the next left press may pair with it.
  bool lastLeftWasPlain_ = false;
  bool lastLeftReleased_ = false;
  std::int64_t lastLeftPressMs_ = 0;
  int lastLeftRow_ = 0;
  int lastLeftColumn_ = 0;
};

}  // namespace keelmark
