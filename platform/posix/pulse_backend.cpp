// A stream on a PulseAudio server (or PipeWire's PulseAudio service) through
// the server's own simple client library. Unlike an SDL device, which plays
// silence whenever nothing is queued, it holds only the game's own sound: a
// sound starts at once however long the server's buffer, and the server says
// when the last sample has been played rather than leaving it to a guess.

#include <pulse/simple.h>

#include <cstdlib>
#include <cstring>

#include "platform/posix/audio_backend.h"

namespace keelmark {

namespace {

constexpr std::uint32_t BytesFor(int milliseconds) {
  return static_cast<std::uint32_t>(audioBytesPerSecond / 1000 * milliseconds);
}

class PulseBackend : public AudioBackend {
 public:
  ~PulseBackend() override { Close(); }

  // Room in the server for a whole clip, so that each is written at once
  // and a busy machine cannot break it up. Playback starts once 30 ms are
  // in, and the server asks for more only each second, since each ask wakes
  // the game.
  bool Open() override {
    const pa_sample_spec spec{PA_SAMPLE_S16NE, audioFramesPerSecond, audioChannels};
    const pa_buffer_attr buffer{static_cast<std::uint32_t>(-1), BytesFor(4000), BytesFor(30), BytesFor(1000),
                                static_cast<std::uint32_t>(-1)};
    if (!stream_)
      stream_ = pa_simple_new(nullptr, "Keelmark", PA_STREAM_PLAYBACK, nullptr, "game sounds", &spec, nullptr,
                              &buffer, &error_);
    return stream_ != nullptr;
  }
  bool Write(const void* data, std::size_t bytes) override {
    return pa_simple_write(stream_, data, bytes, &error_) == 0;
  }
  // Once the server has mixed the last sample into its output.
  bool Drain() override { return pa_simple_drain(stream_, &error_) == 0; }
  std::chrono::microseconds Latency() override {
    const pa_usec_t stillToPlay = pa_simple_get_latency(stream_, &error_);
    return std::chrono::microseconds(stillToPlay == static_cast<pa_usec_t>(-1) ? 0 : stillToPlay);
  }
  void Close() override {
    if (stream_) pa_simple_free(stream_);
    stream_ = nullptr;
  }
  bool ClosesWhenQuiet() const override { return true; }

 private:
  pa_simple* stream_ = nullptr;
  int error_ = 0;  // the library's, not looked at
};

}  // namespace

std::unique_ptr<AudioBackend> OpenPulseBackend() {
  // A player (or a test) who names SDL drivers without this one gets those.
  const char* drivers = std::getenv("SDL_AUDIODRIVER");
  if (drivers && *drivers && !std::strstr(drivers, "pulseaudio")) return nullptr;
  auto backend = std::make_unique<PulseBackend>();
  return backend->Open() ? std::move(backend) : nullptr;
}

}  // namespace keelmark
