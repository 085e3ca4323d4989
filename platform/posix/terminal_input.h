#pragma once
// The terminal's input, read on a thread of its own the moment it arrives
// and decoded on the game's thread when the game asks for it.
//
// The game asks only between its steps; while it speaks or plays a clip it
// asks for nothing, for seconds. Bytes read only then would all carry the
// same late time, and two clicks made 150 ms apart during speech would look
// seconds apart: the second of a double click would be taken as a click of
// the next turn. So each read is stamped with the time it came, and the
// decoder times double clicks and escape sequences by those stamps.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/input/input_decoder.h"

namespace keelmark {

class TerminalInput {
 public:
  // Milliseconds of a monotonic clock; the tests hand in their own.
  using Clock = std::function<std::int64_t()>;
  static std::int64_t SteadyClockMs();

  // Starts reading fd at once. The fd stays the caller's.
  TerminalInput(int fd, InputDecoderOptions options, Clock clock = SteadyClockMs);
  // Stops the reading thread and waits for it.
  ~TerminalInput();

  TerminalInput(const TerminalInput&) = delete;
  TerminalInput& operator=(const TerminalInput&) = delete;

  // The next event whose bytes have arrived whole, if there is one.
  std::optional<InputEvent> NextEvent();
  // Blocks until more bytes arrive, held bytes have waited out the escape
  // delay, or wakeFd (-1 for none) becomes readable.
  void Wait(int wakeFd);
  // The terminal has hung up or input has ended: nothing more will come.
  bool Ended() const { return ended_; }

 private:
  struct Arrival {
    std::string bytes;
    std::int64_t atMs;
  };

  void Read();

  const int fd_;
  const Clock clock_;
  InputDecoder decoder_;  // the game's thread only

  std::mutex mutex_;
  std::vector<Arrival> arrivals_;  // guarded by mutex_
  std::atomic<bool> ended_{false};
  // Written by the reader when bytes have arrived, and by the destructor to
  // stop the reader.
  int arrivedPipe_[2] = {-1, -1};
  int stopPipe_[2] = {-1, -1};
  std::thread reader_;
};

}  // namespace keelmark
