#include "platform/clips/embedded_clips.h"

#include "platform/clips/clip_table.h"

namespace keelmark {

const EmbeddedClip* FindClip(std::string_view name) {
  const std::string_view clipName = ClipNameOf(name);
  if (clipName.empty()) return nullptr;
  for (const EmbeddedClip& clip : EmbeddedClips()) {
    if (clipName == clip.name) return &clip;
  }
  return nullptr;
}

}  // namespace keelmark
