#pragma once
// The sound clips carried inside the binary as byte arrays, each a complete
// RIFF WAVE file, for platforms whose sound player takes clips from memory.

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
