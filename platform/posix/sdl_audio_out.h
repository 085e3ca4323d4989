#pragma once
// Sound through SDL2's audio subsystem, without a window: the embedded clips
// and rendered speech samples, each call returning once its last sample has
// been heard. One device, opened at start-up and kept until the game ends.

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "presentation/sound_effects.h"

namespace keelmark {

class SdlAudioOut : public AudioOut {
 public:
  SdlAudioOut();
  ~SdlAudioOut() override;
  SdlAudioOut(const SdlAudioOut&) = delete;
  SdlAudioOut& operator=(const SdlAudioOut&) = delete;

  // False when there is no audio device: then every sound is skipped at once.
  bool HasDevice() const { return deviceAvailable_; }

  void PlayClip(const std::string& name) override;
  void StopAll() override;

  // Rendered speech arrives in pieces while it is being made; queuing each
  // piece at once lets it start before the whole text is rendered.
  void BeginSamples(int sampleRate);
  void QueueSamples(const std::int16_t* samples, std::size_t count);
  // Returns when the last queued sample has been heard.
  void FinishSamples();

 private:
  bool OpenDevice();
  void CloseDevice();
  void QueueConverted(SDL_AudioStream* stream);
  void WaitUntilHeard();
  const std::vector<std::uint8_t>* ConvertedClip(const std::string& name);

  bool subsystemReady_ = false;
  bool deviceAvailable_ = false;
  SDL_AudioDeviceID device_ = 0;
  SDL_AudioSpec deviceSpec_{};
  SDL_AudioStream* speechStream_ = nullptr;
  // Clips converted to the device's format, by upper-case name, on first use.
  std::map<std::string, std::vector<std::uint8_t>> convertedClips_;
};

}  // namespace keelmark
