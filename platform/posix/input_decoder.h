#pragma once
// Turns the bytes a terminal sends into the console's input events: typed
// characters (in the locale's encoding) as CP437 keys, escape sequences as
// keys with PC scan codes, xterm mouse reports (X10 and SGR forms) as button
// changes, with double clicks told apart by their timing.
//
// Pure: it is fed bytes with the time they were read and hands out events,
// so every rule here can be tried without a terminal. A byte that does not
// decode becomes one key of its own and never holds up the bytes after it;
// an unfinished sequence waits at most the escape delay.

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "presentation/terminal.h"

namespace keelmark {

// What one key string from the terminal's description stands for: a
// character (Enter, Backspace, a keypad digit) or a key with a scan code.
struct KeyString {
  std::string bytes;
  int character = -1;
  int scanCode = 0;
};

// PC scan codes of the keys without a character, as the console reports them.
namespace scan {
enum : int {
  Home = 0x47,
  Up = 0x48,
  PageUp = 0x49,
  Left = 0x4B,
  Centre = 0x4C,
  Right = 0x4D,
  End = 0x4F,
  Down = 0x50,
  PageDown = 0x51,
  Insert = 0x52,
  Delete = 0x53,
  F1 = 0x3B,  // F1 to F10 follow on
  F11 = 0x57,
  F12 = 0x58,
};
// The scan code of function key n (1..12), or 0.
int FunctionKey(int n);
}  // namespace scan

// The characters the console delivers for these keys, whatever the
// terminal sends for them.
inline constexpr int enterCharacter = 13;
inline constexpr int backspaceCharacter = 8;
inline constexpr int tabCharacter = 9;
inline constexpr int escapeCharacter = 27;

// Button bits of InputEvent::buttonState.
inline constexpr int leftButton = 1;
inline constexpr int rightButton = 2;
inline constexpr int middleButton = 4;

struct InputDecoderOptions {
  // The locale's encoding: UTF-8, or one byte per character with this table
  // (byte to Unicode, -1 where the byte means nothing on its own).
  bool utf8 = true;
  std::array<int, 256> singleByte{};
  // Keys as the terminal's description spells them; they win over the
  // usual xterm readings of the same sequence.
  std::vector<KeyString> keyStrings;
  // How long an unfinished escape sequence or character may wait for the
  // rest of its bytes before its bytes count on their own.
  std::int64_t escapeDelayMs = 25;
  // Two left presses on one cell this close together are a double click.
  std::int64_t doubleClickMs = 500;
};

// A single-byte table that maps 0..127 to themselves and nothing else: the
// "C" locale.
std::array<int, 256> AsciiOnlyTable();

class InputDecoder {
 public:
  explicit InputDecoder(InputDecoderOptions options = {});

  // Bytes read from the terminal at nowMs (any monotonic millisecond clock).
  void Feed(std::string_view bytes, std::int64_t nowMs);
  // When held bytes stop waiting for the rest of their sequence; nothing
  // while no bytes are held.
  std::optional<std::int64_t> Deadline() const;
  // Lets held bytes count on their own once their deadline has passed.
  void Expire(std::int64_t nowMs);

  bool HasEvent() const { return !events_.empty(); }
  InputEvent TakeEvent();
  std::size_t HeldBytes() const { return held_.size(); }

 private:
  // Decodes one key or report from the front of the bytes; `final` means no
  // more bytes will join them. Returns how many bytes it used, or 0 when it
  // needs more (never 0 when final).
  std::size_t DecodeOne(std::string_view bytes, bool final);
  std::size_t DecodeEscape(std::string_view bytes, bool final);
  std::size_t DecodeCharacter(std::string_view bytes, bool final);
  void EmitCharacter(char32_t character);
  void EmitByte(unsigned char byte);
  void EmitScan(int scanCode);
  void EmitAltLetter(char letter);
  void EmitCsi(std::string_view parameters, char final);
  void EmitSs3(char final);
  void EmitMouse(int code, int column, int row, bool release);
  void PushMouse(int row, int column, int flags = MouseButtonChange);
  const KeyString* KnownKeyString(std::string_view sequence) const;
  bool EmitKnown(std::string_view sequence);
  void Process(bool final);

  InputDecoderOptions options_;
  std::string held_;
  std::int64_t heldSince_ = 0;
  std::int64_t now_ = 0;
  std::deque<InputEvent> events_;

  // Mouse: the buttons down after the last report, and the last left press
  // that could open a double click.
  int buttons_ = 0;
  // The last left press was a plain one (not the second of a double click)
  // and its release has come: the next left press may pair with it.
  bool lastLeftWasPlain_ = false;
  bool lastLeftReleased_ = false;
  std::int64_t lastLeftPressMs_ = 0;
  int lastLeftRow_ = 0;
  int lastLeftColumn_ = 0;
};

}  // namespace keelmark
