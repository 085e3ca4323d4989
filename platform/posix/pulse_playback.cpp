#include "platform/posix/pulse_playback.h"

#include <chrono>
#include <thread>

namespace keelmark {

namespace {

constexpr std::size_t BytesFor(std::chrono::milliseconds duration) {
  return static_cast<std::size_t>(PulsePlayback::framesPerSecond * duration.count() / 1000) *
         PulsePlayback::channels * 2;
}

}  // namespace

std::unique_ptr<PulsePlayback> PulsePlayback::Connect() {
  const pa_sample_spec spec{PA_SAMPLE_S16NE, framesPerSecond, channels};
  // Room in the server for a whole clip, so that each is written at once
  // and never waits on this process again: nothing a busy machine does to
  // the game can break it up, and the game sleeps until it has drained.
  // Rendered speech runs ahead of its playing the same way. Playback starts
  // once 30 ms are in, which a clip fills at once and espeak-ng within a few
  // milliseconds; the server asks for more only each second, since each ask
  // wakes the game.
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = static_cast<std::uint32_t>(BytesFor(std::chrono::milliseconds(4000)));
  attributes.prebuf = static_cast<std::uint32_t>(BytesFor(std::chrono::milliseconds(30)));
  attributes.minreq = static_cast<std::uint32_t>(BytesFor(std::chrono::milliseconds(1000)));
  attributes.fragsize = static_cast<std::uint32_t>(-1);
  int error = 0;
  pa_simple* stream = pa_simple_new(nullptr, "Keelmark", PA_STREAM_PLAYBACK, nullptr, "game sounds", &spec,
                                    nullptr, &attributes, &error);
  if (!stream) return nullptr;
  return std::unique_ptr<PulsePlayback>(new PulsePlayback(stream));
}

PulsePlayback::~PulsePlayback() { pa_simple_free(stream_); }

bool PulsePlayback::Write(const void* data, std::size_t bytes) {
  int error = 0;
  return pa_simple_write(stream_, data, bytes, &error) == 0;
}

bool PulsePlayback::WaitUntilPlayed() {
  int error = 0;
  // The drain is reported once the server has mixed the last sample into
  // its output; the output's own latency is still to be heard.
  if (pa_simple_drain(stream_, &error) != 0) return false;
  const pa_usec_t stillToPlay = pa_simple_get_latency(stream_, &error);
  if (stillToPlay != static_cast<pa_usec_t>(-1) && stillToPlay > 0)
    std::this_thread::sleep_for(std::chrono::microseconds(stillToPlay));
  return true;
}

}  // namespace keelmark
