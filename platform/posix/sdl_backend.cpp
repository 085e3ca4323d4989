// SDL2's audio device: where no PulseAudio server answers (ALSA, say), and
// into a file or nowhere for the tests.

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/posix/audio_backend.h"

namespace keelmark {

namespace {

// What a sound waits behind: 1024 frames (21 ms) is the shortest that SDL
// over a sound server on a busy two-core machine played without breaking up.
constexpr Uint16 deviceBufferFrames = 1024;

class SdlBackend : public AudioBackend {
 public:
  explicit SdlBackend(bool closesWhenQuiet) : closesWhenQuiet_(closesWhenQuiet) {}
  ~SdlBackend() override {
    Close();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  // Opened paused, its first buffer holds the sound.
  bool Open() override {
    SDL_AudioSpec wanted{};
    wanted.freq = audioFramesPerSecond;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = audioChannels;
    wanted.samples = deviceBufferFrames;
    if (device_ == 0) device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    return device_ != 0;
  }
  bool Write(const void* data, std::size_t bytes) override {
    if (SDL_QueueAudio(device_, data, static_cast<Uint32>(bytes)) != 0) return false;
    SDL_PauseAudioDevice(device_, 0);
    return true;
  }
  // SDL tells nobody when its queue has drained: the thread sleeps for as
  // long as the queue still plays, then watches the last buffer a
  // millisecond at a time, since the moment it is taken is what the return
  // is timed from. A device that was lost (unplugged) stops.
  bool Drain() override {
    for (;;) {
      const Uint32 queued = SDL_GetQueuedAudioSize(device_);
      const SDL_AudioStatus status = SDL_GetAudioDeviceStatus(device_);
      if (queued == 0 || status != SDL_AUDIO_PLAYING) return status != SDL_AUDIO_STOPPED;
      SDL_Delay(std::max<Uint32>(static_cast<Uint32>(std::uint64_t{queued} * 1000 / audioBytesPerSecond), 1));
    }
  }
  // The mixing buffer and the sound server's own, about as long again.
  std::chrono::microseconds Latency() override {
    return std::chrono::microseconds(2 * 1000000 * deviceBufferFrames / audioFramesPerSecond + 1000);
  }
  void Close() override {
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    device_ = 0;
  }
  bool ClosesWhenQuiet() const override { return closesWhenQuiet_; }

 private:
  bool closesWhenQuiet_;
  SDL_AudioDeviceID device_ = 0;
};

}  // namespace

std::unique_ptr<AudioBackend> OpenSdlBackend(WhenQuiet whenQuiet) {
  // The terminal's own signal handlers put the screen back on SIGINT and
  // SIGTERM; SDL's would swallow those signals instead.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
  // An open device keeps SDL's thread and the sound server waking hundreds
  // of times a second even when paused. The file and dummy drivers cost
  // nothing open, and the file driver would start its file afresh.
  const char* driver = SDL_GetCurrentAudioDriver();
  const bool costsNothing = driver && (std::strcmp(driver, "disk") == 0 || std::strcmp(driver, "dummy") == 0);
  auto backend = std::make_unique<SdlBackend>(whenQuiet == WhenQuiet::CloseAnyDevice || !costsNothing);
  return backend->Open() ? std::move(backend) : nullptr;
}

}  // namespace keelmark
