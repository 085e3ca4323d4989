#include "platform/clips/clip_table.h"

#include <algorithm>

namespace keelmark {

namespace {

// ASCII only: the locale must not decide which clip a name finds.
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string_view ClipNameOf(std::string_view effectName) {
  for (std::string_view clipName : clipNames) {
    if (clipName.size() == effectName.size() &&
        std::equal(effectName.begin(), effectName.end(), clipName.begin(),
                   [](char a, char b) { return AsciiUpper(a) == b; }))
      return clipName;
  }
  return {};
}

}  // namespace keelmark
