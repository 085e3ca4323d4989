#pragma once
// The game's sound output, without a window: the embedded clips and rendered
// speech samples, each call returning once its last sample has been heard.
// Through the sound server's own client library where SDL finds a PulseAudio
// server (or PipeWire's PulseAudio service), otherwise through SDL2's audio
// device. One stream at a time, opened for the first sound and closed again
// once the game has been quiet for a while.

#include <SDL.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/pulse_playback.h"
#include "presentation/sound_effects.h"

namespace keelmark {

class SdlAudioOut : public AudioOut {
 public:
  // How long the device stays open after a sound: sounds closer together
  // than this share one stream, so a shot's clips follow each other at once.
  static constexpr std::chrono::milliseconds idleBeforeClosing{1000};

  // A device that writes to a file (SDL's disk driver) or nowhere stays open
  // unless told otherwise: closing costs it nothing and would start its
  // recording afresh.
  enum class WhenQuiet { CloseSoundDevice, CloseAnyDevice };

  // Starts the audio subsystem on a thread of its own, so that nothing on
  // the screen waits for the sound server; every call below waits for it.
  explicit SdlAudioOut(WhenQuiet whenQuiet = WhenQuiet::CloseSoundDevice);
  ~SdlAudioOut() override;
  SdlAudioOut(const SdlAudioOut&) = delete;
  SdlAudioOut& operator=(const SdlAudioOut&) = delete;

  // False when there is no audio device: then every sound is skipped at once.
  bool HasDevice();
  // True while a device is open (between a sound and the quiet after it).
  bool DeviceIsOpen();

  void PlayClip(const std::string& name) override;
  void StopAll() override;

  // Rendered speech arrives in pieces while it is being made; queuing each
  // piece at once lets it start before the whole text is rendered.
  void BeginSamples(int sampleRate);
  void QueueSamples(const std::int16_t* samples, std::size_t count);
  // Returns when the last queued sample has been heard.
  void FinishSamples();

 private:
  using Clock = std::chrono::steady_clock;

  void StartSubsystem();
  void AwaitSubsystem();
  bool OpenDevice();
  void CloseDevice();
  bool IsOpen() const { return usePulse_ ? pulse_ != nullptr : device_ != 0; }
  void Queue(const void* data, std::size_t bytes);
  void QueueConverted(SDL_AudioStream* stream);
  void WaitUntilHeard();
  void SoundFinished(std::unique_lock<std::mutex>& lock);
  void CloseWhenQuiet();
  const std::vector<std::uint8_t>* ConvertedClip(const std::string& name);

  std::shared_future<void> subsystemStarting_;
  bool subsystemReady_ = false;
  bool deviceAvailable_ = false;
  WhenQuiet whenQuiet_;
  bool closeWhenQuiet_ = false;
  SDL_AudioDeviceID device_ = 0;
  bool usePulse_ = false;
  std::unique_ptr<PulsePlayback> pulse_;
  SDL_AudioSpec deviceSpec_{};
  SDL_AudioStream* speechStream_ = nullptr;
  std::vector<std::uint8_t> convertedSpeech_;
  // Clips converted to the device's format, by upper-case name, on first use.
  std::map<std::string, std::vector<std::uint8_t>> convertedClips_;

  // Guards the device against the thread that closes it when quiet.
  std::mutex mutex_;
  std::condition_variable quietChanged_;
  bool soundInProgress_ = false;
  bool ending_ = false;
  Clock::time_point lastSoundHeard_{};
  std::thread closer_;
};

}  // namespace keelmark
