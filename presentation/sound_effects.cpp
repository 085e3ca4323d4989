#include "presentation/sound_effects.h"

#include <utility>

namespace keelmark {

SoundEffects::SoundEffects(AudioOut& audio, std::function<void()> beforeBlocking)
    : audio_(audio), beforeBlocking_(std::move(beforeBlocking)) {}

void SoundEffects::SetSoundNames() {
  drop = "drop";
  hit = "hit";
  miss = "miss";
  sink = "sink";
  buzzer = "buzzer";
}

void SoundEffects::PlaySoundEffect(std::string name) {
  // The mark a clip belongs to must already be on the screen while it plays.
  if (beforeBlocking_) beforeBlocking_();
  audio_.PlayClip(name);
}

void SoundEffects::ErrorBuzz() { PlaySoundEffect(buzzer); }

void SoundEffects::StopSoundEffects() { audio_.StopAll(); }

}  // namespace keelmark
