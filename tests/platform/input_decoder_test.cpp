// The terminal's bytes as the console's input events, without a terminal:
// keys and their scan codes, bytes the locale cannot decode, sequences cut
// short, X10 and SGR mouse reports, double clicks and escapes timed by when
// their bytes arrived.

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <ostream>
#include <string>
#include <vector>

#include "platform/input/input_decoder.h"

namespace keelmark {
namespace {

std::string Char(int c) { return "char " + std::to_string(c); }
std::string Scan(int s) { return "scan " + std::to_string(s); }
std::string Mouse(int buttons, int row, int column, int flags = MouseButtonChange) {
  return "mouse " + std::to_string(buttons) + " at " + std::to_string(row) + "," +
         std::to_string(column) + " flags " + std::to_string(flags);
}

// One event as a short readable text, so a failure shows what arrived.
std::string Describe(const InputEvent& e) {
  switch (e.kind) {
    case InputEvent::Kind::Key:
      if (e.alt) return "alt " + std::to_string(e.character);
      return e.character >= 0 ? Char(e.character) : Scan(e.scanCode);
    case InputEvent::Kind::Mouse:
      return Mouse(e.buttonState, e.row, e.column, e.eventFlags);
    case InputEvent::Kind::Resize:
      return "resize";
    default:
      return "other";
  }
}

std::vector<std::string> Drain(InputDecoder& decoder) {
  std::vector<std::string> out;
  while (decoder.HasEvent()) out.push_back(Describe(decoder.TakeEvent()));
  return out;
}

// Feeds the bytes at time 0, then lets the escape delay run out.
std::vector<std::string> DecodeAll(std::string_view bytes, InputDecoderOptions options = {}) {
  InputDecoder decoder(std::move(options));
  decoder.Feed(bytes, 0);
  decoder.Expire(1000);
  return Drain(decoder);
}

// The locale whose encoding the typed characters are in: UTF-8, the C
// locale (ASCII only), or a single-byte one that knows all of Latin-1.
enum class Locale { utf8, ascii, latin1 };

// Sets LC_CTYPE for one test and puts back the one before.
class LocaleForTest {
 public:
  explicit LocaleForTest(Locale locale) : previous_(std::setlocale(LC_CTYPE, nullptr)) {
    static constexpr const char* names[] = {"C.UTF-8", "C", "en_US.ISO-8859-1"};
    available_ = std::setlocale(LC_CTYPE, names[static_cast<int>(locale)]) != nullptr;
  }
  ~LocaleForTest() { std::setlocale(LC_CTYPE, previous_.c_str()); }
  bool Available() const { return available_; }

 private:
  std::string previous_;
  bool available_ = false;
};

// Bytes from the terminal and the events they must give.
struct KeyCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> expected;
  Locale locale = Locale::utf8;
};
// ctest names each case by what this prints.
void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.name; }

// A case's name as gtest takes it: letters, digits and underscores.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name = info.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

std::vector<KeyCase> KeyCases() {
  return {
      {"letter", "a", {Char('a')}},
      {"digits and comma", "b2,", {Char('b'), Char('2'), Char(',')}},
      {"delete is backspace", "\x7f", {Char(8)}},
      {"control h is backspace", "\x08", {Char(8)}},
      {"carriage return is enter", "\r", {Char(13)}},
      {"line feed is enter", "\n", {Char(13)}},
      {"tab", "\t", {Char(9)}},
      {"ctrl c is a character", "\x03", {Char(3)}},
      {"ctrl z is a character", "\x1a", {Char(26)}},
      {"up csi", "\x1b[A", {Scan(0x48)}},
      {"up ss3", "\x1bOA", {Scan(0x48)}},
      {"ctrl up", "\x1b[1;5A", {Scan(0x48)}},
      {"rxvt shift up", "\x1b[a", {Scan(0x48)}},
      {"down", "\x1b[B", {Scan(0x50)}},
      {"right", "\x1bOC", {Scan(0x4D)}},
      {"left", "\x1b[D", {Scan(0x4B)}},
      {"home csi h", "\x1b[H", {Scan(0x47)}},
      {"home ss3 h", "\x1bOH", {Scan(0x47)}},
      {"home tilde", "\x1b[1~", {Scan(0x47)}},
      {"home rxvt", "\x1b[7~", {Scan(0x47)}},
      {"end", "\x1b[F", {Scan(0x4F)}},
      {"end tilde", "\x1b[4~", {Scan(0x4F)}},
      {"page up", "\x1b[5~", {Scan(0x49)}},
      {"ctrl page up", "\x1b[5;5~", {Scan(0x49)}},
      {"page down", "\x1b[6~", {Scan(0x51)}},
      {"insert", "\x1b[2~", {Scan(0x52)}},
      {"delete", "\x1b[3~", {Scan(0x53)}},
      {"shift delete", "\x1b[3;2~", {Scan(0x53)}},
      {"rxvt shift insert", "\x1b[2$", {Scan(0x52)}},
      {"keypad centre", "\x1b[E", {Scan(0x4C)}},
      {"f1 ss3", "\x1bOP", {Scan(0x3B)}},
      {"f1 tilde", "\x1b[11~", {Scan(0x3B)}},
      {"f1 linux console", "\x1b[[A", {Scan(0x3B)}},
      {"shift f1", "\x1b[1;2P", {Scan(0x3B)}},
      {"f4", "\x1bOS", {Scan(0x3E)}},
      {"f5", "\x1b[15~", {Scan(0x3F)}},
      {"f5 linux console", "\x1b[[E", {Scan(0x3F)}},
      {"f6", "\x1b[17~", {Scan(0x40)}},
      {"f10", "\x1b[21~", {Scan(0x44)}},
      {"f11", "\x1b[23~", {Scan(0x57)}},
      {"f12", "\x1b[24~", {Scan(0x58)}},
      {"ctrl f12", "\x1b[24;5~", {Scan(0x58)}},
      {"back tab", "\x1b[Z", {Char(9)}},
      {"keypad enter", "\x1bOM", {Char(13)}},
      {"keypad digit", "\x1bOq", {Char('1')}},
      {"alt a", "\x1b" "a", {"alt 97"}},
      {"alt capital q", "\x1bQ", {"alt 81"}},
      {"alt capital o alone", "\x1bO", {"alt 79"}},
      {"lone escape", "\x1b", {Char(27)}},
      {"two escapes", "\x1b\x1b", {Char(27), Char(27)}},
      {"escape then digit", "\x1b" "5", {Char(27), Char('5')}},
      {"escape then up", "\x1b\x1b[A", {Char(27), Scan(0x48)}},
      {"unknown tilde key", "\x1b[99~", {}},
      {"terminal answer", "\x1b[?1;2c", {}},
      {"focus report", "\x1b[I", {}},
      // Cut short: the bytes count on their own once the delay has passed.
      {"csi cut short", "\x1b[", {Char(27), Char('[')}},
      {"csi parameters cut short", "\x1b[1;5", {Char(27), Char('['), Char('1'), Char(';'), Char('5')}},
      {"x10 report cut short", "\x1b[M!", {Char(27), Char('['), Char('M'), Char('!')}},
      {"linux f key cut short", "\x1b[[", {Char(27), Char('['), Char('[')}},
      {"control byte inside csi", "\x1b[1\x01z", {Char(27), Char('['), Char('1'), Char(1), Char('z')}},
      // Characters of the locale's encoding (UTF-8 here).
      {"e acute", "\xc3\xa9", {Char(130)}},
      {"box corner", "\xe2\x94\x8c", {Char(218)}},
      {"euro sign has no code page form", "\xe2\x82\xac" "5", {Char('5')}},
      {"byte ff", "\xff", {Char(0xFF)}},
      {"byte ff then a shot", "\xff" "b2\r", {Char(0xFF), Char('b'), Char('2'), Char(13)}},
      {"lead byte cut short by a letter", "\xc3" "b", {Char(0xC3), Char('b')}},
      {"three-byte lead cut short", "\xe2\x82" "b", {Char(0xE2), Char(0x82), Char('b')}},
      {"lead byte alone", "\xc3", {Char(0xC3)}},
      {"stray continuation byte", "\x80" "a", {Char(0x80), Char('a')}},
      {"overlong form", "\xc0\xaf", {Char(0xC0), Char(0xAF)}},
      {"surrogate", "\xed\xa0\x80", {Char(0xED), Char(0xA0), Char(0x80)}},
      {"past the last code point", "\xf4\x90\x80\x80", {Char(0xF4), Char(0x90), Char(0x80), Char(0x80)}},
      {"six-byte form", "\xfc\x84\x80\x80\x80\x80",
       {Char(0xFC), Char(0x84), Char(0x80), Char(0x80), Char(0x80), Char(0x80)}},
  };
}

class KeyTranslation : public ::testing::TestWithParam<KeyCase> {
 protected:
  void SetUp() override {
    // scripts/setup.sh makes the Latin-1 locale.
    if (!locale_.Available()) GTEST_SKIP() << "the locale of this case is not installed";
  }
  LocaleForTest locale_{GetParam().locale};
};

TEST_P(KeyTranslation, GivesTheConsoleKeys) {
  EXPECT_EQ(DecodeAll(GetParam().bytes), GetParam().expected);
}

// Terminals split their writes where they like: one byte at a time, close
// together, must decode exactly as the whole.
TEST_P(KeyTranslation, GivesTheSameKeysByteByByte) {
  InputDecoder decoder;
  for (char byte : GetParam().bytes) decoder.Feed(std::string_view(&byte, 1), 0);
  decoder.Expire(1000);
  EXPECT_EQ(Drain(decoder), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyTranslation, ::testing::ValuesIn(KeyCases()), CaseName<KeyCase>);

TEST(InputDecoder, KeepsEveryKeyAfterUndecodableBytes) {
  // 14 KB of bytes that mean nothing, then "quit": every byte is one key and
  // the command still arrives whole.
  InputDecoder decoder;
  const std::string noise(14 * 1024, '\xff');
  for (std::size_t at = 0; at < noise.size(); at += 4096) {
    decoder.Feed(std::string_view(noise).substr(at, 4096), 0);
  }
  decoder.Feed("quit\r", 1);
  std::vector<std::string> events = Drain(decoder);
  ASSERT_EQ(events.size(), noise.size() + 5);
  EXPECT_EQ(events[0], Char(0xFF));
  EXPECT_EQ(events[noise.size() - 1], Char(0xFF));
  EXPECT_EQ(std::vector<std::string>(events.end() - 5, events.end()),
            (std::vector<std::string>{Char('q'), Char('u'), Char('i'), Char('t'), Char(13)}));
  EXPECT_EQ(decoder.HeldBytes(), 0u);
}

TEST(InputDecoder, HoldsNoMoreThanOneSequenceOfEndlessParameters) {
  InputDecoder decoder;
  decoder.Feed("\x1b[" + std::string(10000, '1') + "b", 0);
  decoder.Expire(1000);
  std::vector<std::string> events = Drain(decoder);
  EXPECT_LE(decoder.HeldBytes(), 0u);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), Char(27));
  EXPECT_EQ(events.back(), Char('b'));
}

TEST(InputDecoder, LoneEscapeWaitsOnlyTheEscapeDelay) {
  InputDecoderOptions options;
  options.escapeDelayMs = 25;
  InputDecoder decoder(options);
  decoder.Feed("\x1b", 100);
  ASSERT_TRUE(decoder.Deadline().has_value());
  EXPECT_EQ(*decoder.Deadline(), 125);
  decoder.Expire(124);
  EXPECT_FALSE(decoder.HasEvent());
  decoder.Expire(125);
  EXPECT_EQ(Drain(decoder), std::vector<std::string>{Char(27)});
  EXPECT_FALSE(decoder.Deadline().has_value());
}

TEST(InputDecoder, SequenceCompletedInASecondReadIsOneKey) {
  InputDecoder decoder;
  decoder.Feed("\x1b[2", 0);
  decoder.Expire(10);
  EXPECT_FALSE(decoder.HasEvent());
  decoder.Feed("4~", 20);
  EXPECT_EQ(Drain(decoder), std::vector<std::string>{Scan(0x58)});
}

TEST(InputDecoder, TerminalsOwnKeyStringsWin) {
  InputDecoderOptions options;
  options.keyStrings = {{"\x1b[11~", -1, 0x3C}, {"\x1bOw", -1, 0x47}, {"\x1b[[A", -1, 0x3D}};
  EXPECT_EQ(DecodeAll("\x1b[11~\x1bOw\x1b[[A", options),
            (std::vector<std::string>{Scan(0x3C), Scan(0x47), Scan(0x3D)}));
}

INSTANTIATE_TEST_SUITE_P(
    Locales, KeyTranslation,
    ::testing::Values(
        // The C locale: "é" typed on a UTF-8 keyboard is two bytes, each a key.
        KeyCase{"CLocaleUtf8Bytes", "\xc3\xa9" "b2\r",
                {Char(0xC3), Char(0xA9), Char('b'), Char('2'), Char(13)}, Locale::ascii},
        KeyCase{"CLocaleHighByte", "\xff" "a", {Char(0xFF), Char('a')}, Locale::ascii},
        KeyCase{"Latin1EAcute", "\xe9", {Char(130)}, Locale::latin1},
        KeyCase{"Latin1NoCodePageForm", "\xa4" "a", {Char('a')}, Locale::latin1},
        KeyCase{"X10ReportUntouchedByTable", "\x1b[M \xe9\xb0", {"mouse 1 at 144,201 flags 0"},
                Locale::ascii}),
    CaseName<KeyCase>);

// --- Mouse ---------------------------------------------------------------

std::string Sgr(int code, int row, int column, bool press) {
  return "\x1b[<" + std::to_string(code) + ";" + std::to_string(column) + ";" +
         std::to_string(row) + (press ? "M" : "m");
}

std::string X10(int code, int row, int column) {
  std::string report = "\x1b[M";
  report += static_cast<char>(32 + code);
  report += static_cast<char>(32 + column);
  report += static_cast<char>(32 + row);
  return report;
}

// Mouse reports go through the key cases' tests, whole and byte by byte.
using MouseCase = KeyCase;
INSTANTIATE_TEST_SUITE_P(
    Mouse, KeyTranslation,
    ::testing::Values(
        MouseCase{"SgrLeftClick", Sgr(0, 3, 7, true) + Sgr(0, 3, 7, false),
                  {Mouse(1, 3, 7), Mouse(0, 3, 7)}},
        MouseCase{"SgrRightClick", Sgr(2, 5, 9, true) + Sgr(2, 5, 9, false),
                  {Mouse(2, 5, 9), Mouse(0, 5, 9)}},
        MouseCase{"SgrMiddleClick", Sgr(1, 5, 9, true) + Sgr(1, 5, 9, false),
                  {Mouse(4, 5, 9), Mouse(0, 5, 9)}},
        MouseCase{"SgrWithCtrlHeld", Sgr(16, 2, 2, true), {Mouse(1, 2, 2)}},
        MouseCase{"SgrFarCell", Sgr(0, 300, 400, true), {Mouse(1, 300, 400)}},
        MouseCase{"SgrWheel", Sgr(64, 4, 4, true), {Mouse(0, 4, 4, MouseWheeled)}},
        MouseCase{"SgrMotionWhileHeld", Sgr(0, 4, 4, true) + Sgr(32, 4, 5, true),
                  {Mouse(1, 4, 4), Mouse(1, 4, 5, MouseMoved)}},
        MouseCase{"SgrReleaseOfButtonNotDown", Sgr(0, 4, 4, false), {}},
        MouseCase{"SgrMalformed", "\x1b[<0;4M" "a", {Char('a')}},
        MouseCase{"X10LeftClick", X10(0, 3, 7) + X10(3, 3, 7), {Mouse(1, 3, 7), Mouse(0, 3, 7)}},
        MouseCase{"X10RightClick", X10(2, 3, 7) + X10(3, 3, 7), {Mouse(2, 3, 7), Mouse(0, 3, 7)}},
        // A high coordinate byte is not a character of the locale.
        MouseCase{"X10HighRow", X10(0, 150, 5), {Mouse(1, 150, 5)}},
        MouseCase{"X10ReleaseOfTwoButtons", X10(0, 3, 7) + X10(2, 3, 7) + X10(3, 3, 7),
                  {Mouse(1, 3, 7), Mouse(3, 3, 7), Mouse(2, 3, 7), Mouse(0, 3, 7)}},
        MouseCase{"X10CellZeroIsDropped", X10(0, 0, 7) + "a", {Char('a')}},
        MouseCase{"UrxvtLeftPress", "\x1b[32;7;3M", {Mouse(1, 3, 7)}},
        // A press whose release never came: the next press is still a click.
        MouseCase{"PressWithoutRelease", Sgr(0, 2, 5, true) + Sgr(0, 2, 6, true),
                  {Mouse(1, 2, 5), Mouse(0, 2, 6), Mouse(1, 2, 6)}},
        MouseCase{"KeysAroundAReport", "a" + Sgr(0, 1, 1, true) + "b",
                  {Char('a'), Mouse(1, 1, 1), Char('b')}},
        // All at one instant, so every second left press is quick enough.
        MouseCase{"ThirdQuickPressIsAClickAgain", Sgr(0, 3, 7, true) + Sgr(0, 3, 7, false) +
                  Sgr(0, 3, 7, true) + Sgr(0, 3, 7, false) + Sgr(0, 3, 7, true) + Sgr(0, 3, 7, false),
                  {Mouse(1, 3, 7), Mouse(0, 3, 7), Mouse(1, 3, 7, MouseDoubleClick),
                   Mouse(0, 3, 7), Mouse(1, 3, 7), Mouse(0, 3, 7)}},
        MouseCase{"RightPressesAreNeverDoubleClicks", Sgr(2, 3, 7, true) + Sgr(2, 3, 7, false) +
                  Sgr(2, 3, 7, true) + Sgr(2, 3, 7, false),
                  {Mouse(2, 3, 7), Mouse(0, 3, 7), Mouse(2, 3, 7), Mouse(0, 3, 7)}}),
    CaseName<MouseCase>);

struct DoubleClickCase {
  const char* name;
  std::int64_t gapMs;  // from the first press to the second
  int secondRow;
  int secondColumn;
  bool firstReleased;
  int expectedFlags;  // of the second press
};
void PrintTo(const DoubleClickCase& c, std::ostream* out) { *out << c.name; }

class DoubleClickTiming : public ::testing::TestWithParam<DoubleClickCase> {};

TEST_P(DoubleClickTiming, SecondPressIsADoubleClickOnlyWhenQuickOnOneCell) {
  const DoubleClickCase& c = GetParam();
  InputDecoderOptions options;
  options.doubleClickMs = 500;
  InputDecoder decoder(options);
  decoder.Feed(Sgr(0, 3, 7, true), 1000);
  if (c.firstReleased) decoder.Feed(Sgr(0, 3, 7, false), 1000 + c.gapMs / 2);
  Drain(decoder);
  decoder.Feed(Sgr(0, c.secondRow, c.secondColumn, true), 1000 + c.gapMs);
  const std::vector<std::string> events = Drain(decoder);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), Mouse(1, c.secondRow, c.secondColumn, c.expectedFlags));
}

INSTANTIATE_TEST_SUITE_P(
    Timing, DoubleClickTiming,
    ::testing::Values(DoubleClickCase{"Quick", 200, 3, 7, true, MouseDoubleClick},
                      DoubleClickCase{"AtTheLimit", 500, 3, 7, true, MouseDoubleClick},
                      DoubleClickCase{"JustTooSlow", 501, 3, 7, true, MouseButtonChange},
                      DoubleClickCase{"OtherCell", 200, 3, 8, true, MouseButtonChange},
                      DoubleClickCase{"OtherRow", 200, 4, 7, true, MouseButtonChange},
                      DoubleClickCase{"FirstNeverReleased", 200, 3, 7, false, MouseButtonChange}),
    CaseName<DoubleClickCase>);

}  // namespace
}  // namespace keelmark
