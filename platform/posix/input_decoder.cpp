#include "platform/posix/input_decoder.h"

#include <charconv>
#include <utility>

#include "presentation/console.h"
#include "presentation/cp437.h"

namespace keelmark {

int scan::FunctionKey(int n) {
  if (n >= 1 && n <= 10) return F1 + (n - 1);
  if (n == 11) return F11;
  if (n == 12) return F12;
  return 0;
}

std::array<int, 256> AsciiOnlyTable() {
  std::array<int, 256> table{};
  for (int b = 0; b < 256; ++b) table[static_cast<std::size_t>(b)] = b < 128 ? b : -1;
  return table;
}

namespace {

constexpr unsigned char escapeByte = 0x1B;
constexpr unsigned char deleteByte = 0x7F;
constexpr unsigned char lineFeedByte = 0x0A;
constexpr unsigned char carriageReturnByte = 0x0D;

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
    case 0: return leftButton;
    case 1: return middleButton;
    case 2: return rightButton;
    default: return 0;
  }
}

// Numbers separated by ';' (a private marker in front is skipped by the
// caller); an empty field is -1.
std::vector<int> Numbers(std::string_view text) {
  std::vector<int> numbers;
  while (true) {
    const std::size_t end = text.find(';');
    const std::string_view field = text.substr(0, end);
    int value = -1;
    if (!field.empty()) {
      auto [at, error] = std::from_chars(field.data(), field.data() + field.size(), value);
      if (error != std::errc() || at != field.data() + field.size()) value = -1;
    }
    numbers.push_back(value);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return numbers;
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
    case 'P': return scan::FunctionKey(1);
    case 'Q': return scan::FunctionKey(2);
    case 'R': return scan::FunctionKey(3);
    case 'S': return scan::FunctionKey(4);
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

void InputDecoder::Feed(std::string_view bytes, std::int64_t nowMs) {
  if (bytes.empty()) return;
  if (held_.empty()) heldSince_ = nowMs;
  now_ = nowMs;
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
  if (first == escapeByte) return DecodeEscape(s, final);
  if (first < 0x80) {
    switch (first) {
      case backspaceCharacter:
      case deleteByte:
        events_.push_back(InputEvent::Char(backspaceCharacter));
        break;
      case lineFeedByte:
      case carriageReturnByte:
        events_.push_back(InputEvent::Char(enterCharacter));
        break;
      default:
        events_.push_back(InputEvent::Char(first));
        break;
    }
    return 1;
  }
  return DecodeCharacter(s, final);
}

std::size_t InputDecoder::DecodeCharacter(std::string_view s, bool final) {
  const auto lead = static_cast<unsigned char>(s[0]);
  if (!options_.utf8) {
    const int character = options_.singleByte[lead];
    if (character >= 0) {
      EmitCharacter(static_cast<char32_t>(character));
    } else {
      EmitByte(lead);
    }
    return 1;
  }

  std::size_t length = 0;
  char32_t value = 0;
  // The range the second byte must fall in keeps out overlong forms,
  // surrogates and values past U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    EmitByte(lead);
    return 1;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (k >= s.size()) {
      if (!final) return 0;
      EmitByte(lead);
      return 1;
    }
    const auto next = static_cast<unsigned char>(s[k]);
    const unsigned char min = k == 1 ? low : 0x80;
    const unsigned char max = k == 1 ? high : 0xBF;
    if (next < min || next > max) {
      EmitByte(lead);
      return 1;
    }
    value = (value << 6) | (next & 0x3F);
  }
  EmitCharacter(value);
  return length;
}

void InputDecoder::EmitCharacter(char32_t character) {
  const int byte = Cp437FromUnicode(character);
  if (byte >= 0) events_.push_back(InputEvent::Char(byte));
}

// A byte that means nothing in the locale's encoding is still a key the
// player pressed: it arrives as the CP437 character of that number.
void InputDecoder::EmitByte(unsigned char byte) { events_.push_back(InputEvent::Char(byte)); }

void InputDecoder::EmitScan(int scanCode) {
  if (scanCode != 0) events_.push_back(InputEvent::Scan(scanCode));
}

void InputDecoder::EmitAltLetter(char letter) {
  InputEvent event = InputEvent::Char(static_cast<unsigned char>(letter));
  event.alt = true;
  event.scanCode = ScanCodeOfLetter(letter);
  events_.push_back(event);
}

const KeyString* InputDecoder::KnownKeyString(std::string_view sequence) const {
  for (const KeyString& key : options_.keyStrings) {
    if (key.bytes == sequence) return &key;
  }
  return nullptr;
}

bool InputDecoder::EmitKnown(std::string_view sequence) {
  const KeyString* key = KnownKeyString(sequence);
  if (key == nullptr) return false;
  if (key->character >= 0) {
    events_.push_back(InputEvent::Char(key->character));
  } else {
    EmitScan(key->scanCode);
  }
  return true;
}

std::size_t InputDecoder::DecodeEscape(std::string_view s, bool final) {
  // An escape that is not (yet) the start of anything: the Esc key itself.
  auto loneEscape = [this] {
    events_.push_back(InputEvent::Char(escapeCharacter));
    return std::size_t{1};
  };
  if (s.size() < 2) return final ? loneEscape() : 0;
  const auto second = static_cast<unsigned char>(s[1]);

  if (second == '[') {
    if (s.size() < 3) return final ? loneEscape() : 0;
    const auto third = static_cast<unsigned char>(s[2]);
    if (third == 'M') {
      // X10 mouse report: three raw bytes follow, whatever their values.
      if (s.size() < 6) return final ? loneEscape() : 0;
      const int code = static_cast<unsigned char>(s[3]) - x10Offset;
      const int column = static_cast<unsigned char>(s[4]) - x10Offset;
      const int row = static_cast<unsigned char>(s[5]) - x10Offset;
      EmitMouse(code, column, row, (code & mouseButtonBits) == mouseReleaseCode);
      return 6;
    }
    if (third == '[') {
      // The Linux console's F1 to F5.
      if (s.size() < 4) return final ? loneEscape() : 0;
      const auto fourth = static_cast<unsigned char>(s[3]);
      if (!IsFinalByte(fourth)) return loneEscape();
      if (!EmitKnown(s.substr(0, 4)) && fourth >= 'A' && fourth <= 'E') {
        EmitScan(scan::FunctionKey(fourth - 'A' + 1));
      }
      return 4;
    }
    std::size_t at = 2;
    while (at < s.size() && at < longestSequence) {
      const auto c = static_cast<unsigned char>(s[at]);
      // rxvt ends its shifted editing keys with '$'.
      if (IsFinalByte(c) || (c == '$' && at > 2)) {
        if (!EmitKnown(s.substr(0, at + 1))) EmitCsi(s.substr(2, at - 2), static_cast<char>(c));
        return at + 1;
      }
      if (!IsParameterByte(c)) return loneEscape();
      ++at;
    }
    if (at >= longestSequence) return loneEscape();
    return final ? loneEscape() : 0;
  }

  if (second == 'O') {
    std::size_t at = 2;
    while (at < s.size() && at < longestSequence) {
      const auto c = static_cast<unsigned char>(s[at]);
      if (IsFinalByte(c)) {
        if (!EmitKnown(s.substr(0, at + 1))) EmitSs3(static_cast<char>(c));
        return at + 1;
      }
      if (c < 0x30 || c > 0x3F) break;
      ++at;
    }
    if (at < s.size() || at >= longestSequence || final) {
      // Not an SS3 sequence after all: Alt with a capital O.
      EmitAltLetter('O');
      return 2;
    }
    return 0;
  }

  if (IsAsciiLetter(second)) {
    EmitAltLetter(static_cast<char>(second));
    return 2;
  }
  return loneEscape();
}

void InputDecoder::EmitCsi(std::string_view parameters, char final) {
  if (!parameters.empty() && parameters[0] == '<') {
    // SGR mouse report: button code, column, row; M a press, m a release.
    if (final != 'M' && final != 'm') return;
    const std::vector<int> n = Numbers(parameters.substr(1));
    if (n.size() != 3 || n[0] < 0) return;
    EmitMouse(n[0], n[1], n[2], final == 'm');
    return;
  }
  // Other private forms are the terminal's answers, not keys.
  if (!parameters.empty() && (parameters[0] == '?' || parameters[0] == '>' || parameters[0] == '=')) {
    return;
  }
  const std::vector<int> n = Numbers(parameters);
  if (final == 'M') {
    // urxvt's mouse report: the X10 code and plain numbers.
    if (n.size() == 3 && n[0] >= x10Offset) {
      const int code = n[0] - x10Offset;
      EmitMouse(code, n[1], n[2], (code & mouseButtonBits) == mouseReleaseCode);
    }
    return;
  }
  switch (final) {
    case 'Z':
      events_.push_back(InputEvent::Char(tabCharacter));
      return;
    case '~':
    case '^':
    case '@':
    case '$':
      EmitScan(ScanCodeOfTildeKey(n[0]));
      return;
    default:
      // A modifier (CSI 1;5A is Ctrl+Up) leaves the key's own scan code.
      EmitScan(ScanCodeOfFinal(final));
      return;
  }
}

void InputDecoder::EmitSs3(char final) {
  // The keypad in application mode sends its digits and signs this way.
  static constexpr std::string_view keypadSigns = "*+,-./0123456789";
  if (final >= 'j' && final <= 'y') {
    events_.push_back(InputEvent::Char(static_cast<unsigned char>(keypadSigns[final - 'j'])));
    return;
  }
  switch (final) {
    case 'M':
      events_.push_back(InputEvent::Char(enterCharacter));
      return;
    case 'X':
      events_.push_back(InputEvent::Char('='));
      return;
    case 'I':
      events_.push_back(InputEvent::Char(tabCharacter));
      return;
    default:
      EmitScan(ScanCodeOfFinal(final));
      return;
  }
}

void InputDecoder::PushMouse(int row, int column, int flags) {
  events_.push_back(InputEvent::Mouse(buttons_, row, column, flags));
}

void InputDecoder::EmitMouse(int code, int column, int row, bool release) {
  if (column < 1 || row < 1) return;
  if (code & mouseWheelBit) {
    PushMouse(row, column, MouseWheeled);
    return;
  }
  if (code & mouseMotionBit) {
    PushMouse(row, column, MouseMoved);
    return;
  }

  if (release) {
    // The X10 form does not say which button came up: all of them did.
    const int released = (code & mouseButtonBits) == mouseReleaseCode ? buttons_ : ButtonBitOfCode(code);
    for (int bit : {leftButton, rightButton, middleButton}) {
      if (!(released & bit) || !(buttons_ & bit)) continue;
      buttons_ &= ~bit;
      PushMouse(row, column);
      if (bit == leftButton && lastLeftWasPlain_) lastLeftReleased_ = true;
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
    PushMouse(row, column);
    if (bit == leftButton) lastLeftWasPlain_ = false;
  }
  buttons_ |= bit;
  if (bit != leftButton) {
    PushMouse(row, column);
    return;
  }
  // The xterm protocol knows no double clicks; the console does, and its
  // rules skip them. A second press on the same cell soon after a complete
  // click is one.
  const bool doubleClick = lastLeftWasPlain_ && lastLeftReleased_ && row == lastLeftRow_ &&
                           column == lastLeftColumn_ &&
                           now_ - lastLeftPressMs_ <= options_.doubleClickMs;
  if (doubleClick) {
    PushMouse(row, column, MouseDoubleClick);
    lastLeftWasPlain_ = false;
  } else {
    PushMouse(row, column);
    lastLeftWasPlain_ = true;
  }
  lastLeftReleased_ = false;
  lastLeftPressMs_ = now_;
  lastLeftRow_ = row;
  lastLeftColumn_ = column;
}

}  // namespace keelmark
