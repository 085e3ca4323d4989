#pragma once
// The real game in a terminal of its own (a pseudo-terminal of 80 by 25),
// for figures taken from outside: when the title appears, how busy the
// process is while it waits for a key, how much memory it took.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

class GameProcess {
 public:
  GameProcess() = default;
  GameProcess(const GameProcess&) = delete;
  GameProcess& operator=(const GameProcess&) = delete;
  ~GameProcess() {
    if (pid_ > 0 && !finished_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  // Starts the game, with `environment` ("NAME=value" each) added to its
  // own; `started` is taken just before the fork.
  bool Start(const std::string& game, const std::vector<std::string>& environment = {}) {
    winsize size{};
    size.ws_row = 25;
    size.ws_col = 80;
    started = Clock::now();
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      setenv("TERM", "xterm-256color", 1);
      for (const std::string& setting : environment) putenv(const_cast<char*>(setting.c_str()));
      execl(game.c_str(), game.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    return true;
  }

  pid_t Pid() const { return pid_; }

  // Reads the game's output until `text` has appeared in it; the time it was
  // read, or nothing when the game ended or the time ran out first.
  std::optional<Clock::time_point> WaitForText(const std::string& text, double seconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                          std::chrono::duration<double>(seconds));
    while (output_.find(text, searchedUpTo_) == std::string::npos) {
      if (output_.size() > text.size()) searchedUpTo_ = output_.size() - text.size();
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return std::nullopt;
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left)) <= 0) continue;
      if (!ReadSome()) return std::nullopt;
    }
    searchedUpTo_ = output_.find(text, searchedUpTo_) + text.size();
    return Clock::now();
  }

  // Keeps reading (and throwing away) output for a while, so that a game
  // that writes is never held up by a full terminal.
  void Drain(double seconds) {
    const Clock::time_point until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                       std::chrono::duration<double>(seconds));
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
      if (left <= 0) return;
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left)) > 0 && !ReadSome()) return;
    }
  }

  void Type(const std::string& keys) {
    if (write(master_, keys.data(), keys.size()) < 0) return;
  }

  // Waits for the game to end (reading its output meanwhile); its resource
  // use, or nothing when it did not end in time and was killed.
  std::optional<rusage> Finish(double seconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                          std::chrono::duration<double>(seconds));
    while (Clock::now() < deadline) {
      int status = 0;
      rusage usage{};
      if (wait4(pid_, &status, WNOHANG, &usage) == pid_) {
        finished_ = true;
        return usage;
      }
      Drain(0.05);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    finished_ = true;
    return std::nullopt;
  }

  // The game's resource use once it has ended; nothing while it runs.
  std::optional<rusage> TryFinish() {
    int status = 0;
    rusage usage{};
    if (finished_ || wait4(pid_, &status, WNOHANG, &usage) != pid_) return std::nullopt;
    finished_ = true;
    return usage;
  }

  Clock::time_point started;

 private:
  bool ReadSome() {
    char buffer[4096];
    const ssize_t got = read(master_, buffer, sizeof buffer);
    if (got <= 0) return errno == EAGAIN;
    output_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  bool finished_ = false;
  std::string output_;
  std::size_t searchedUpTo_ = 0;
};

// Wake-ups (times a thread gave up the processor or was made to) and
// processor time of every thread of a process, as the kernel counts them.
struct ProcessCounters {
  std::int64_t wakeUps = 0;
  double processorMs = 0;
};

inline ProcessCounters ReadCounters(pid_t pid) {
  ProcessCounters counters;
  namespace fs = std::filesystem;
  std::error_code error;
  for (const fs::directory_entry& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
        counters.wakeUps += std::stoll(line.substr(line.find(':') + 1));
    }
    // schedstat's first field is nanoseconds on the processor, finer than
    // the clock ticks of stat.
    std::ifstream schedstat(task.path() / "schedstat");
    std::int64_t onProcessorNs = 0;
    if (schedstat >> onProcessorNs) counters.processorMs += onProcessorNs / 1e6;
  }
  return counters;
}

// One line of the figures table, picked up by run_bench.sh.
inline void PrintFigure(const std::string& name, const std::string& value, const std::string& target) {
  std::printf("figure\t%s\t%s\t%s\n", name.c_str(), value.c_str(), target.c_str());
  std::fflush(stdout);
}

inline std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace bench
