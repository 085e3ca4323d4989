#include "platform/posix/embedded_clips.h"

#include <algorithm>

namespace keelmark {

namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

const EmbeddedClip* FindClip(std::string_view name) {
  for (const EmbeddedClip& clip : EmbeddedClips()) {
    std::string_view clipName(clip.name);
    if (clipName.size() == name.size() &&
        std::equal(name.begin(), name.end(), clipName.begin(),
                   [](char a, char b) { return AsciiUpper(a) == AsciiUpper(b); }))
      return &clip;
  }
  return nullptr;
}

}  // namespace keelmark
