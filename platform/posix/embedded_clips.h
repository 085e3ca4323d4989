#pragma once
// The sound clips the binary carries, each a complete RIFF WAVE file.

#include <cstddef>
#include <string_view>
#include <vector>

namespace keelmark {

struct EmbeddedClip {
  const char* name;  // upper case, as the clip files are named
  const unsigned char* data;
  std::size_t size;
};

const std::vector<EmbeddedClip>& EmbeddedClips();

// The clip of this effect name, whatever its case; null when there is none.
const EmbeddedClip* FindClip(std::string_view name);

}  // namespace keelmark
