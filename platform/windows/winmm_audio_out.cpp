#include "platform/windows/winmm_audio_out.h"

#include <windows.h>
#include <mmsystem.h>

#include <string>

#include "platform/clips/clip_table.h"

namespace keelmark {

// PlaySoundA with SND_RESOURCE looks only among resources of type "WAVE" on
// some systems, and the clips are of type "SOUND"; so the clip is found
// here and handed over from memory.
void WinmmAudioOut::PlayClip(const std::string& name) {
  const std::string clipName(ClipNameOf(name));
  if (clipName.empty()) return;
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC resource = FindResourceA(module, clipName.c_str(), "SOUND");
  if (resource == nullptr) return;
  HGLOBAL loaded = LoadResource(module, resource);
  if (loaded == nullptr) return;
  const void* clip = LockResource(loaded);
  if (clip == nullptr) return;
  // Synchronous, and never the system's default sound in place of a clip
  // that cannot be played.
  PlaySoundA(static_cast<LPCSTR>(clip), nullptr, SND_MEMORY | SND_SYNC | SND_NODEFAULT);
}

void WinmmAudioOut::StopAll() { PlaySoundA("", nullptr, SND_NODEFAULT); }

}  // namespace keelmark
