#pragma once
// One playback stream on a PulseAudio server (or PipeWire's PulseAudio
// service) through the server's own simple client library: 48 kHz, two
// channels, 16-bit samples.
//
// Unlike an SDL device, which plays silence whenever the game has nothing
// queued, this stream holds only the game's own sound. A sound written to a
// drained stream therefore starts at once instead of behind the silence
// already buffered, so the server may hold a long buffer (safe against a
// busy machine's stalls) without making sounds start later; and the server
// reports when a sound has drained, so a call returns when the last sample
// has been played rather than after a guessed delay.

#include <pulse/simple.h>

#include <cstddef>
#include <memory>

namespace keelmark {

class PulsePlayback {
 public:
  static constexpr int framesPerSecond = 48000;
  static constexpr int channels = 2;

  // Null when no server answers.
  static std::unique_ptr<PulsePlayback> Connect();
  ~PulsePlayback();
  PulsePlayback(const PulsePlayback&) = delete;
  PulsePlayback& operator=(const PulsePlayback&) = delete;

  // Hands samples to the server; blocks while its buffer is full. False
  // when the server is gone.
  bool Write(const void* data, std::size_t bytes);
  // Returns when everything written has been played out of the server's
  // output. False when the server is gone.
  bool WaitUntilPlayed();

 private:
  explicit PulsePlayback(pa_simple* stream) : stream_(stream) {}
  pa_simple* stream_;
};

}  // namespace keelmark
