#pragma once
// One way of getting the game's samples to the speaker: 48 kHz, two
// channels, 16 bits in the machine's byte order. Its calls may block as long
// as the device or the sound server makes them; the player above makes them
// on a thread of its own and bounds its waits for them.

#include <chrono>
#include <cstddef>
#include <memory>

namespace keelmark {

constexpr int audioFramesPerSecond = 48000, audioChannels = 2;
constexpr int audioBytesPerSecond = audioFramesPerSecond * audioChannels * 2;

class AudioBackend {
 public:
  virtual ~AudioBackend() = default;
  // False when the device (or the server) does not answer.
  virtual bool Open() = 0;
  // Each false once the device has gone: it is closed and opened again for
  // the next sound.
  virtual bool Write(const void* data, std::size_t bytes) = 0;
  // Returns once everything written has left the queue for the output.
  virtual bool Drain() = 0;
  // How long the output still takes to play what has left the queue.
  virtual std::chrono::microseconds Latency() = 0;
  virtual void Close() = 0;
  // False where an open device costs nothing while quiet (a file, nowhere).
  virtual bool ClosesWhenQuiet() const = 0;
};

// Each an open backend, or null when it has no device.
std::unique_ptr<AudioBackend> OpenPulseBackend();
enum class WhenQuiet { CloseSoundDevice, CloseAnyDevice };
std::unique_ptr<AudioBackend> OpenSdlBackend(WhenQuiet whenQuiet = WhenQuiet::CloseSoundDevice);

}  // namespace keelmark
