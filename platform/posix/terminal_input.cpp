#include "platform/posix/terminal_input.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace keelmark {
namespace {

// Both ends close on exec, and neither blocks: a full pipe already holds
// a wake-up, and an empty one has nothing to drain.
void OpenPipe(int (&ends)[2]) {
  if (pipe(ends) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  for (int end : ends) {
    fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
    fcntl(end, F_SETFD, FD_CLOEXEC);
  }
}

void Signal(int fd) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t ignored = write(fd, &byte, 1);
}

}  // namespace

std::int64_t TerminalInput::SteadyClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TerminalInput::TerminalInput(int fd, InputDecoderOptions options, Clock clock)
    : fd_(fd), clock_(std::move(clock)), decoder_(std::move(options)) {
  OpenPipe(arrivedPipe_);
  OpenPipe(stopPipe_);
  reader_ = std::thread([this] { Read(); });
}

TerminalInput::~TerminalInput() {
  Signal(stopPipe_[1]);
  reader_.join();
  for (int end : {arrivedPipe_[0], arrivedPipe_[1], stopPipe_[0], stopPipe_[1]}) close(end);
}

void TerminalInput::Read() {
  pollfd watched[2] = {{fd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
  char bytes[4096];
  for (;;) {
    if (poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (watched[1].revents != 0) return;
    if (watched[0].revents & POLLNVAL) break;
    if (!(watched[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const ssize_t got = read(fd_, bytes, sizeof bytes);
    if (got > 0) {
      const std::int64_t atMs = clock_();
      {
        std::lock_guard lock(mutex_);
        arrivals_.push_back({std::string(bytes, static_cast<std::size_t>(got)), atMs});
      }
      Signal(arrivedPipe_[1]);
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
      // End of input, or an error on a terminal: it has hung up.
      break;
    }
  }
  ended_ = true;
  Signal(arrivedPipe_[1]);
}

std::optional<InputEvent> TerminalInput::NextEvent() {
  // Drained before the arrivals are taken, so that bytes coming in between
  // leave their wake-up behind.
  char drained[64];
  while (read(arrivedPipe_[0], drained, sizeof drained) > 0) {
  }
  std::vector<Arrival> arrived;
  {
    std::lock_guard lock(mutex_);
    arrived.swap(arrivals_);
  }
  for (const Arrival& arrival : arrived) decoder_.Feed(arrival.bytes, arrival.atMs);
  decoder_.Expire(clock_());
  if (!decoder_.HasEvent()) return std::nullopt;
  return decoder_.TakeEvent();
}

void TerminalInput::Wait(int wakeFd) {
  int timeoutMs = -1;
  if (const auto deadline = decoder_.Deadline()) {
    timeoutMs = static_cast<int>(std::clamp<std::int64_t>(*deadline - clock_(), 0, 1000));
  }
  // A negative fd is left out of the poll.
  pollfd watched[2] = {{arrivedPipe_[0], POLLIN, 0}, {wakeFd, POLLIN, 0}};
  poll(watched, 2, timeoutMs);
}

}  // namespace keelmark
