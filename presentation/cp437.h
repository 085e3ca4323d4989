#pragma once
// The game's texts are 8-bit, in the console code page of the original
// platform (CP437). Terminals and voices want Unicode.

#include <string>
#include <string_view>

namespace keelmark {

// The glyph the console shows for a stored byte: control bytes too, so a
// stored carriage return shows as a note and a backspace as an inverse dot.
char32_t Cp437Glyph(unsigned char byte);
// The byte whose glyph is this character, or -1 when CP437 has none.
// Plain ASCII maps to itself.
int Cp437FromUnicode(char32_t character);
// Text for a voice: bytes 128 and up become their CP437 letters, the rest
// stays as it is.
std::string Cp437ToUtf8(std::string_view text);
void AppendUtf8(std::string& out, char32_t character);

}  // namespace keelmark
