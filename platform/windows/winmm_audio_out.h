#pragma once
// The clips through the system's own sound player, from the resources of
// type "SOUND" inside the executable.

#include "presentation/sound_effects.h"

namespace keelmark {

class WinmmAudioOut : public AudioOut {
 public:
  void PlayClip(const std::string& name) override;
  void StopAll() override;
};

}  // namespace keelmark
