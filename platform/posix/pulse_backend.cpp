// A playback stream on a PulseAudio server (or PipeWire's PulseAudio
// service) through the server's own simple client library.
//
// Unlike an SDL device, which plays silence whenever the game has nothing
// queued, this stream holds only the game's own sound. A sound written to a
// drained stream therefore starts at once instead of behind the silence
// already buffered, so the server may hold a long buffer (safe against a
// busy machine's stalls) without making sounds start later; and the server
// reports when a sound has drained, so a call returns when the last sample
// has been played rather than after a guessed delay.

#include <pulse/simple.h>

#include <cstdlib>
#include <cstring>

#include "platform/posix/audio_backend.h"

namespace keelmark {

namespace {

constexpr std::uint32_t BytesFor(std::chrono::milliseconds duration) {
  return static_cast<std::uint32_t>(audioBytesPerSecond / 4 * duration.count() / 1000 * 4);
}

class PulseBackend : public AudioBackend {
 public:
  ~PulseBackend() override { Close(); }

  bool Open() override {
    if (stream_) return true;
    const pa_sample_spec spec{PA_SAMPLE_S16NE, audioFramesPerSecond, audioChannels};
    // Room in the server for a whole clip, so that each is written at once
    // and never waits on this process again: nothing a busy machine does to
    // the game can break it up, and the game sleeps until it has drained.
    // Rendered speech runs ahead of its playing the same way. Playback
    // starts once 30 ms are in, which a clip fills at once and espeak-ng
    // within a few milliseconds; the server asks for more only each second,
    // since each ask wakes the game.
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = BytesFor(std::chrono::milliseconds(4000));
    attributes.prebuf = BytesFor(std::chrono::milliseconds(30));
    attributes.minreq = BytesFor(std::chrono::milliseconds(1000));
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    stream_ = pa_simple_new(nullptr, "Keelmark", PA_STREAM_PLAYBACK, nullptr, "game sounds", &spec, nullptr,
                            &attributes, &error_);
    return stream_ != nullptr;
  }

  bool Write(const void* data, std::size_t bytes) override {
    return pa_simple_write(stream_, data, bytes, &error_) == 0;
  }

  // Reported once the server has mixed the last sample into its output.
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
  // A player (or a test) who names SDL drivers without PulseAudio among
  // them gets those.
  const char* drivers = std::getenv("SDL_AUDIODRIVER");
  if (drivers && *drivers && !std::strstr(drivers, "pulseaudio")) return nullptr;
  auto backend = std::make_unique<PulseBackend>();
  if (!backend->Open()) return nullptr;
  return backend;
}

}  // namespace keelmark
