#pragma once
// The espeak-ng library as the voice when no speech service answers: its
// samples go through the game's own audio output, like the clips.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "presentation/speech.h"

namespace keelmark {

// Where rendered speech is heard: pieces played as they arrive, so that the
// first starts before the whole text is rendered.
class SpeechSamplesOut {
 public:
  virtual ~SpeechSamplesOut() = default;
  // False when there is nothing to hear speech on.
  virtual bool HasDevice() = 0;
  virtual void BeginSamples(int sampleRate) = 0;
  virtual void QueueSamples(const std::int16_t* samples, std::size_t count) = 0;
  // Returns when the last queued sample has been heard.
  virtual void FinishSamples() = 0;
};

// Null when there is nothing to hear it on, or espeak-ng cannot load its data.
std::unique_ptr<Voice> OpenEspeakVoice(SpeechSamplesOut& audio);

}  // namespace keelmark
