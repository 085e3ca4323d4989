// Bytes on screen are shown as their code page 437 glyphs; voices get UTF-8.

#include <gtest/gtest.h>
#include <iconv.h>

#include <set>
#include <string>

#include "presentation/cp437.h"

namespace keelmark {
namespace {

TEST(Cp437Glyph, AsciiIsItself) {
  for (int b = 32; b <= 126; ++b) EXPECT_EQ(Cp437Glyph(static_cast<unsigned char>(b)), char32_t(b));
}

// The C library's own converter is a second, independent copy of the code
// page's upper half, so a slip in any entry of the game's table shows.
TEST(Cp437Glyph, HighBytesAreTheLettersOfTheSystemsConverter) {
  const iconv_t converter = iconv_open("UTF-32LE", "IBM437");
  ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1)) << "no IBM437 converter on this system";
  for (int b = 128; b <= 255; ++b) {
    char byte = static_cast<char>(b);
    unsigned char utf32[4] = {};
    char* in = &byte;
    char* out = reinterpret_cast<char*>(utf32);
    std::size_t inLeft = 1;
    std::size_t outLeft = sizeof utf32;
    ASSERT_NE(iconv(converter, &in, &inLeft, &out, &outLeft), static_cast<std::size_t>(-1)) << b;
    const char32_t expected = utf32[0] | utf32[1] << 8 | utf32[2] << 16 | char32_t{utf32[3]} << 24;
    EXPECT_EQ(Cp437Glyph(static_cast<unsigned char>(b)), expected) << "byte " << b;
  }
  iconv_close(converter);
}

TEST(Cp437FromUnicode, EveryHighByteRoundTrips) {
  std::set<char32_t> glyphs;
  for (int b = 128; b <= 255; ++b) {
    const char32_t glyph = Cp437Glyph(static_cast<unsigned char>(b));
    glyphs.insert(glyph);
    EXPECT_EQ(Cp437FromUnicode(glyph), b) << "byte " << b;
  }
  EXPECT_EQ(glyphs.size(), 128u) << "each high byte has its own glyph";
  for (int b = 32; b <= 126; ++b) EXPECT_EQ(Cp437FromUnicode(char32_t(b)), b);
}

TEST(Cp437FromUnicode, CharactersWithoutACp437FormAreRefused) {
  EXPECT_EQ(Cp437FromUnicode(U'\u20AC'), -1);  // euro sign
  EXPECT_EQ(Cp437FromUnicode(U'\u4E2D'), -1);
  EXPECT_EQ(Cp437FromUnicode(U'\U0001F600'), -1);
}

TEST(Cp437ToUtf8, HighBytesBecomeTheirLettersTheRestStays) {
  EXPECT_EQ(Cp437ToUtf8("Round  10"), "Round  10");
  EXPECT_EQ(Cp437ToUtf8("caf\x82"), "caf\xC3\xA9");
  EXPECT_EQ(Cp437ToUtf8("\xE1"), "\xC3\x9F");
  EXPECT_EQ(Cp437ToUtf8("\xB0"), "\xE2\x96\x91");
  EXPECT_EQ(Cp437ToUtf8(std::string("a\rb\0c", 5)), std::string("a\rb\0c", 5));
  EXPECT_EQ(Cp437ToUtf8(""), "");
}

TEST(AppendUtf8, EncodesOneToFourBytes) {
  std::string out;
  AppendUtf8(out, U'A');
  AppendUtf8(out, U'\u00E9');
  AppendUtf8(out, U'\u266A');
  AppendUtf8(out, U'\U0001F600');
  EXPECT_EQ(out, "A\xC3\xA9\xE2\x99\xAA\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace keelmark
