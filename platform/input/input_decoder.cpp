#include "platform/input/input_decoder.h"

#include <charconv>
#include <cwchar>
#include <utility>

#include "presentation/cp437.h"

namespace keelmark {

int scan::FunctionKey(int n) {
  if (n >= 1 && n <= 10) return F1 + (n - 1);
  if (n == 11) return F11;
  if (n == 12) return F12;
  return 0;
}

namespace {

// Longer than any key or mouse report a terminal sends; a sequence that
// runs on past this is noise and must not keep the keys behind it waiting.
constexpr std::size_t longestSequence = 64;

// xterm mouse report codes: the low two bits name the button (3 is the X10
// release), then modifier bits, motion and the wheel.
constexpr int mouseButtonBits = 3;
constexpr int mouseReleaseCode = 3;
constexpr int mouseMotionBit = 32;
constexpr int mouseWheelBit = 64;
constexpr int x10Offset = 32;

bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsParameterByte(unsigned char c) { return c >= 0x20 && c <= 0x3F; }
bool IsFinalByte(unsigned char c) { return c >= 0x40 && c <= 0x7E; }

int ButtonBitOfCode(int code) {
  switch (code & mouseButtonBits) {
    case 0: return LeftButton;
    case 1: return MiddleButton;
    case 2: return RightButton;
    default: return 0;
  }
}

// Numbers separated by ';'; an empty or malformed field is -1.
std::vector<int> Numbers(std::string_view text) {
  std::vector<int> numbers;
  while (true) {
    const std::string_view field = text.substr(0, text.find(';'));
    int value = -1;
    auto [at, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || at != field.data() + field.size()) value = -1;
    numbers.push_back(value);
    if (field.size() == text.size()) return numbers;
    text.remove_prefix(field.size() + 1);
  }
}

// The "CSI number ~" keys of xterm, vt220 and rxvt.
int ScanCodeOfTildeKey(int number) {
  switch (number) {
    case 1: case 7: return scan::Home;
    case 2: return scan::Insert;
    case 3: return scan::Delete;
    case 4: case 8: return scan::End;
    case 5: return scan::PageUp;
    case 6: return scan::PageDown;
    case 11: case 12: case 13: case 14: case 15: return scan::FunctionKey(number - 10);
    case 17: case 18: case 19: case 20: case 21: return scan::FunctionKey(number - 11);
    case 23: case 24: return scan::FunctionKey(number - 12);
    default: return 0;
  }
}

// The final byte shared by the CSI and SS3 forms of the cursor keys and of
// F1 to F4; lower-case a to d are rxvt's arrows with a modifier.
int ScanCodeOfFinal(char final) {
  switch (final) {
    case 'A': case 'a': return scan::Up;
    case 'B': case 'b': return scan::Down;
    case 'C': case 'c': return scan::Right;
    case 'D': case 'd': return scan::Left;
    case 'H': return scan::Home;
    case 'F': return scan::End;
    case 'E': case 'G': return scan::Centre;
    case 'P': case 'Q': case 'R': case 'S': return scan::FunctionKey(final - 'P' + 1);
    default: return 0;
  }
}

}  // namespace

InputDecoder::InputDecoder(InputDecoderOptions options) : options_(std::move(options)) {}

InputEvent InputDecoder::TakeEvent() {
  InputEvent event = events_.front();
  events_.pop_front();
  return event;
}

void InputDecoder::Feed(std::string_view bytes, std::int64_t arrivedMs) {
  if (bytes.empty()) return;
  // Bytes read late together may have arrived far apart: a lone Esc that
  // had waited out its delay before these came is a key of its own.
  Expire(arrivedMs);
  if (held_.empty()) heldSince_ = arrivedMs;
  now_ = arrivedMs;
  held_.append(bytes);
  Process(false);
}

std::optional<std::int64_t> InputDecoder::Deadline() const {
  if (held_.empty()) return std::nullopt;
  return heldSince_ + options_.escapeDelayMs;
}

void InputDecoder::Expire(std::int64_t nowMs) {
  if (held_.empty() || nowMs < heldSince_ + options_.escapeDelayMs) return;
  now_ = nowMs;
  Process(true);
}

void InputDecoder::Process(bool final) {
  std::size_t used = 0;
  while (used < held_.size()) {
    const std::size_t step = DecodeOne(std::string_view(held_).substr(used), final);
    if (step == 0) break;
    used += step;
  }
  if (used > 0) {
    held_.erase(0, used);
    // What is left began arriving with the bytes just read.
    heldSince_ = now_;
  }
}

std::size_t InputDecoder::DecodeOne(std::string_view s, bool final) {
  const auto first = static_cast<unsigned char>(s[0]);
  if (first == escapeKey) return DecodeEscape(s, final);
  if (first >= 0x80) return DecodeCharacter(s, final);
  switch (first) {
    case backspaceKey: case 0x7F: Key(backspaceKey); break;
    case '\n': case '\r': Key(enterKey); break;
    default: Key(first); break;
  }
  return 1;
}

std::size_t InputDecoder::DecodeCharacter(std::string_view s, bool final) {
  std::mbstate_t state{};
  wchar_t character = 0;
  const std::size_t length = std::mbrtowc(&character, s.data(), s.size(), &state);
  const bool incomplete = length == static_cast<std::size_t>(-2);
  if (incomplete && !final) return 0;
  // glibc also reads the old five- and six-byte forms, past the last code point.
  if (incomplete || length == static_cast<std::size_t>(-1) || length == 0 ||
      static_cast<std::uint32_t>(character) > 0x10FFFF) {
    // A byte that means nothing in the locale's encoding is still a key the
    // player pressed: it arrives as the CP437 character of that number.
    Key(static_cast<unsigned char>(s[0]));
    return 1;
  }
  // A character without a CP437 form cannot be typed into the game.
  const int byte = Cp437FromUnicode(static_cast<char32_t>(character));
  if (byte >= 0) Key(byte);
  return length;
}

bool InputDecoder::KnownKey(std::string_view sequence) {
  for (const KeyString& key : options_.keyStrings) {
    if (key.bytes != sequence) continue;
    if (key.character >= 0) {
      Key(key.character);
    } else {
      ScanKey(key.scanCode);
    }
    return true;
  }
  return false;
}

std::size_t InputDecoder::DecodeEscape(std::string_view s, bool final) {
  // An escape that is not (yet) the start of anything: the Esc key itself.
  auto loneEscape = [this] { Key(escapeKey); return std::size_t{1}; };
  // Alt with a letter: the console gives the letter key's scan code.
  auto altLetter = [this](unsigned char letter) {
    InputEvent event = InputEvent::Char(letter);
    event.alt = true;
    events_.push_back(event);
    return std::size_t{2};
  };
  if (s.size() < 2) return final ? loneEscape() : 0;
  const auto second = static_cast<unsigned char>(s[1]);
  if (second == 'O') {
    std::size_t at = 2;
    for (; at < s.size() && at < longestSequence; ++at) {
      const auto c = static_cast<unsigned char>(s[at]);
      if (IsFinalByte(c)) {
        if (!KnownKey(s.substr(0, at + 1))) Ss3(static_cast<char>(c));
        return at + 1;
      }
      if (c < 0x30 || c > 0x3F) break;
    }
    // Not an SS3 sequence after all: Alt with a capital O.
    if (at < s.size() || at >= longestSequence || final) return altLetter('O');
    return 0;
  }
  if (second != '[') return IsAsciiLetter(second) ? altLetter(second) : loneEscape();

  if (s.size() < 3) return final ? loneEscape() : 0;
  const auto third = static_cast<unsigned char>(s[2]);
  if (third == 'M') {
    // X10 mouse report: three raw bytes follow, whatever their values.
    if (s.size() < 6) return final ? loneEscape() : 0;
    const int code = static_cast<unsigned char>(s[3]) - x10Offset;
    MouseReport(code, static_cast<unsigned char>(s[4]) - x10Offset,
                static_cast<unsigned char>(s[5]) - x10Offset,
                (code & mouseButtonBits) == mouseReleaseCode);
    return 6;
  }
  if (third == '[') {
    // The Linux console's F1 to F5.
    if (s.size() < 4) return final ? loneEscape() : 0;
    const auto fourth = static_cast<unsigned char>(s[3]);
    if (!IsFinalByte(fourth)) return loneEscape();
    if (!KnownKey(s.substr(0, 4)) && fourth >= 'A' && fourth <= 'E') {
      ScanKey(scan::FunctionKey(fourth - 'A' + 1));
    }
    return 4;
  }
  for (std::size_t at = 2; at < s.size() && at < longestSequence; ++at) {
    const auto c = static_cast<unsigned char>(s[at]);
    // rxvt ends its shifted editing keys with '$'.
    if (IsFinalByte(c) || (c == '$' && at > 2)) {
      if (!KnownKey(s.substr(0, at + 1))) Csi(s.substr(2, at - 2), static_cast<char>(c));
      return at + 1;
    }
    if (!IsParameterByte(c)) return loneEscape();
  }
  return final || s.size() >= longestSequence ? loneEscape() : 0;
}

void InputDecoder::Csi(std::string_view parameters, char final) {
  const char marker = parameters.empty() ? '\0' : parameters[0];
  if (marker == '<') {
    // SGR mouse report: button code, column, row; M a press, m a release.
    const std::vector<int> n = Numbers(parameters.substr(1));
    if ((final == 'M' || final == 'm') && n.size() == 3 && n[0] >= 0) {
      MouseReport(n[0], n[1], n[2], final == 'm');
    }
    return;
  }
  // Other private forms are the terminal's answers, not keys.
  if (marker == '?' || marker == '>' || marker == '=') return;
  const std::vector<int> n = Numbers(parameters);
  switch (final) {
    case 'M':
      // urxvt's mouse report: the X10 code and plain numbers.
      if (n.size() == 3 && n[0] >= x10Offset) {
        const int code = n[0] - x10Offset;
        MouseReport(code, n[1], n[2], (code & mouseButtonBits) == mouseReleaseCode);
      }
      return;
    case 'Z': Key(tabKey); return;
    case '~': case '^': case '@': case '$':
      ScanKey(ScanCodeOfTildeKey(n[0]));
      return;
    default:
      // A modifier (CSI 1;5A is Ctrl+Up) leaves the key's own scan code.
      ScanKey(ScanCodeOfFinal(final));
      return;
  }
}

void InputDecoder::Ss3(char final) {
  // The keypad in application mode sends its digits and signs this way.
  static constexpr std::string_view keypadSigns = "*+,-./0123456789";
  if (final >= 'j' && final <= 'y') {
    Key(keypadSigns[static_cast<std::size_t>(final - 'j')]);
    return;
  }
  switch (final) {
    case 'M': Key(enterKey); return;
    case 'X': Key('='); return;
    case 'I': Key(tabKey); return;
    default: ScanKey(ScanCodeOfFinal(final)); return;
  }
}

void InputDecoder::MouseReport(int code, int column, int row, bool release) {
  if (column < 1 || row < 1) return;
  if (code & mouseWheelBit) return MouseEvent(row, column, MouseWheeled);
  if (code & mouseMotionBit) return MouseEvent(row, column, MouseMoved);

  if (release) {
    // The X10 form does not say which button came up: all of them did.
    const int released = (code & mouseButtonBits) == mouseReleaseCode ? buttons_ : ButtonBitOfCode(code);
    for (int bit : {LeftButton, RightButton, MiddleButton}) {
      if (!(released & bit) || !(buttons_ & bit)) continue;
      buttons_ &= ~bit;
      MouseEvent(row, column);
      if (bit == LeftButton && lastLeftWasPlain_) lastLeftReleased_ = true;
    }
    return;
  }

  const int bit = ButtonBitOfCode(code);
  if (bit == 0) return;
  if (buttons_ & bit) {
    // The release of the last press never came. Report it now, so that this
    // press is a change the console sees; and a press without a release
    // opens no double click.
    buttons_ &= ~bit;
    MouseEvent(row, column);
    if (bit == LeftButton) lastLeftWasPlain_ = false;
  }
  buttons_ |= bit;
  if (bit != LeftButton) return MouseEvent(row, column);
  // The xterm protocol knows no double clicks; the console does, and its
  // rules skip them. A second press on the same cell soon after a complete
  // click is one, timed by when the presses arrived.
  const bool doubleClick = lastLeftWasPlain_ && lastLeftReleased_ && row == lastLeftRow_ &&
                           column == lastLeftColumn_ &&
                           now_ - lastLeftPressMs_ <= options_.doubleClickMs;
  MouseEvent(row, column, doubleClick ? MouseDoubleClick : MouseButtonChange);
  lastLeftWasPlain_ = !doubleClick;
  lastLeftReleased_ = false;
  lastLeftPressMs_ = now_;
  lastLeftRow_ = row;
  lastLeftColumn_ = column;
}

}  // namespace keelmark
