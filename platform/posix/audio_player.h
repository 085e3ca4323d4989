#pragma once
// The game's sound output: the embedded clips and rendered speech, each call
// returning once its last sample has been heard, through the first backend
// that answers at start-up. The stream is opened for the first sound and
// closed again once the game has been quiet for a while.
//
// Every call on the device runs on the player's own thread, and the game
// waits for it no longer than the sound's length and an allowance: a sound
// server that stops answering (a suspended sink, a stopped process) costs
// the game one allowance, and until it answers again every sound is skipped
// at once.

#include <SDL.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "platform/posix/audio_backend.h"
#include "platform/posix/espeak_voice.h"
#include "presentation/sound_effects.h"

namespace keelmark {

class AudioPlayer : public AudioOut, public SpeechSamplesOut {
 public:
  using Clock = std::chrono::steady_clock;
  using BackendChain = std::vector<std::function<std::unique_ptr<AudioBackend>()>>;

  // Sounds closer together than this share one stream, so a shot's clips
  // follow each other at once.
  static constexpr std::chrono::milliseconds idleBeforeClosing{1000};
  // How late the end of a sound may be heard, and how long opening a stream
  // may take: at most 25 ms on a server shared with four busy processes,
  // a few milliseconds otherwise.
  static constexpr std::chrono::milliseconds lateAllowance{500}, openAllowance{500};

  // Without a chain: the server's own library where a PulseAudio server (or
  // PipeWire's PulseAudio service) answers, else SDL.
  explicit AudioPlayer(BackendChain backends = {OpenPulseBackend, [] { return OpenSdlBackend(); }});
  ~AudioPlayer() override;
  AudioPlayer(const AudioPlayer&) = delete;
  AudioPlayer& operator=(const AudioPlayer&) = delete;

  // True too while the chain is still being tried.
  bool HasDevice() override;
  // True between a sound and the quiet after it.
  bool DeviceIsOpen();
  void PlayClip(const std::string& name) override;
  void StopAll() override;
  void BeginSamples(int sampleRate) override;
  void QueueSamples(const std::int16_t* samples, std::size_t count) override;
  void FinishSamples() override;

 private:
  struct Shared;
  void QueueConverted();
  const std::vector<std::uint8_t>* ConvertedClip(const std::string& name);

  // Shared with the thread, which outlives the player when it is stuck in a
  // call that does not return.
  std::shared_ptr<Shared> shared_;
  std::thread worker_;
  Clock::time_point started_;
  // In the backends' format, by upper-case name, on first use.
  std::map<std::string, std::vector<std::uint8_t>> convertedClips_;
  SDL_AudioStream* speechStream_ = nullptr;
  Clock::time_point speechDue_;  // and the length of its samples
  std::size_t speechBytes_ = 0;
};

}  // namespace keelmark
