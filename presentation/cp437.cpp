#include "presentation/cp437.h"

#include <algorithm>
#include <array>
#include <utility>

namespace keelmark {

namespace {

// Bytes 0 to 31 and 127 show as the console's picture glyphs; NUL shows blank.
constexpr std::array<char32_t, 32> controlGlyphs = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
};
constexpr char32_t deleteGlyph = 0x2302;

constexpr std::array<char32_t, 128> upperGlyphs = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// Look-alikes a keyboard or input method is as likely to produce as the
// code page's own character.
constexpr std::array<std::pair<char32_t, int>, 7> aliases = {{
    {0x03B2, 0xE1},  // Greek beta for the sharp s
    {0x03BC, 0xE6},  // Greek mu for the micro sign
    {0x2126, 0xEA},  // ohm sign for omega
    {0x2211, 0xE4},  // n-ary sum for sigma
    {0x03D5, 0xED},  // phi symbol
    {0x2205, 0xED},  // empty set, drawn like phi
    {0x2208, 0xEE},  // element of, drawn like epsilon
}};

using ReverseEntry = std::pair<char32_t, int>;

// Sorted by glyph, built once, for the reverse look-up of typed characters:
// 31 control glyphs, the delete glyph and the 128 upper glyphs.
const std::array<ReverseEntry, 160>& ReverseTable() {
  static const std::array<ReverseEntry, 160> table = [] {
    std::array<ReverseEntry, 160> entries{};
    std::size_t n = 0;
    for (int byte = 1; byte < 32; ++byte) entries[n++] = {controlGlyphs[byte], byte};
    entries[n++] = {deleteGlyph, 127};
    for (int byte = 128; byte < 256; ++byte) entries[n++] = {upperGlyphs[byte - 128], byte};
    std::sort(entries.begin(), entries.end());
    return entries;
  }();
  return table;
}

}  // namespace

char32_t Cp437Glyph(unsigned char byte) {
  if (byte < 32) return controlGlyphs[byte];
  if (byte == 127) return deleteGlyph;
  if (byte < 128) return byte;
  return upperGlyphs[byte - 128];
}

int Cp437FromUnicode(char32_t character) {
  if (character < 128) return static_cast<int>(character);
  const auto& table = ReverseTable();
  const auto end = table.end();
  const auto found = std::lower_bound(table.begin(), end, ReverseEntry{character, 0},
                                      [](const ReverseEntry& a, const ReverseEntry& b) {
                                        return a.first < b.first;
                                      });
  if (found != end && found->first == character) return found->second;
  for (const auto& [glyph, byte] : aliases) {
    if (glyph == character) return byte;
  }
  return -1;
}

std::string Cp437ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 128) {
      out.push_back(c);
    } else {
      AppendUtf8(out, upperGlyphs[byte - 128]);
    }
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t character) {
  // Surrogates and values past the Unicode range have no UTF-8 form.
  if ((character >= 0xD800 && character <= 0xDFFF) || character > 0x10FFFF) {
    character = 0xFFFD;
  }
  if (character < 0x80) {
    out.push_back(static_cast<char>(character));
  } else if (character < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (character >> 6)));
    out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
  } else if (character < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (character >> 12)));
    out.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (character >> 18)));
    out.push_back(static_cast<char>(0x80 | ((character >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((character >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (character & 0x3F)));
  }
}

}  // namespace keelmark
