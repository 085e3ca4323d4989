#pragma once
// What the game needs of the system it runs on, made once at start-up: the
// terminal, the audio output and the voices to try. Each platform folder has
// its own OpenPlatform, and the build takes the one for the system it builds
// for, so the game and main never ask which system this is.

#include <memory>
#include <vector>

#include "presentation/sound_effects.h"
#include "presentation/speech.h"
#include "presentation/terminal.h"

namespace keelmark {

class Platform {
 public:
  virtual ~Platform() = default;

  virtual Terminal& Screen() = 0;
  virtual AudioOut& Audio() = 0;
  // The voices in the order they are tried; they may use Audio(), so they
  // are made and released while the platform lives.
  virtual std::vector<Speech::VoiceFactory> Voices() = 0;
  // Where those voices are made and what their texts are converted from;
  // the game's own CP437 and a voice made in the background unless the
  // system says otherwise.
  virtual SpeechOptions ChooseSpeechOptions() { return {}; }
};

// Takes over the terminal; the platform gives it back when it goes.
std::unique_ptr<Platform> OpenPlatform();

}  // namespace keelmark
