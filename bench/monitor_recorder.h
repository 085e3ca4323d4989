#pragma once
// Records a sound server's monitor source on its own thread, each sample
// dated by when the sink played it (the moment its piece was read, less the
// server's record latency), so that sample times and the calls of the
// process that records share one clock.

#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace keelmark::bench {

class MonitorRecorder {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int recordRate = 48000;
  // About -50 dBFS: above the null sink's silence, below any word.
  static constexpr int audibleLevel = 100;

  explicit MonitorRecorder(const char* source) {
    pa_sample_spec spec{PA_SAMPLE_S16LE, recordRate, 1};
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.fragsize = recordRate / 200 * 2;  // 5 ms pieces
    int error = 0;
    stream_ = pa_simple_new(nullptr, "keelmark-bench", PA_STREAM_RECORD, source, "monitor", &spec, nullptr,
                            &attributes, &error);
    if (stream_ == nullptr) {
      std::fprintf(stderr, "cannot record %s: %s\n", source ? source : "(default)", pa_strerror(error));
      return;
    }
    thread_ = std::thread([this] { Run(); });
  }
  ~MonitorRecorder() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (stream_ != nullptr) pa_simple_free(stream_);
  }
  MonitorRecorder(const MonitorRecorder&) = delete;
  MonitorRecorder& operator=(const MonitorRecorder&) = delete;

  bool Ok() const { return stream_ != nullptr; }

  // The times of the audible samples between two times.
  std::vector<Clock::time_point> Sounds(Clock::time_point from, Clock::time_point to) {
    std::vector<Clock::time_point> sounds;
    std::lock_guard lock(mutex_);
    for (const Block& block : blocks_) {
      for (std::size_t i = 0; i < block.samples.size(); ++i) {
        if (std::abs(block.samples[i]) < audibleLevel) continue;
        const Clock::time_point at = block.firstSampleTime + SampleDuration(i);
        if (at >= from && at <= to) sounds.push_back(at);
      }
    }
    return sounds;
  }

  // First and last audible sample between two times; false when there was
  // none.
  bool FindSound(Clock::time_point from, Clock::time_point to, Clock::time_point& start, Clock::time_point& end) {
    const std::vector<Clock::time_point> sounds = Sounds(from, to);
    if (sounds.empty()) return false;
    start = sounds.front();
    end = sounds.back();
    return true;
  }

 private:
  struct Block {
    Clock::time_point firstSampleTime;
    std::vector<std::int16_t> samples;
  };

  static Clock::duration SampleDuration(std::size_t count) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(count) / recordRate));
  }

  void Run() {
    std::vector<std::int16_t> piece(recordRate / 200);
    while (!stop_) {
      int error = 0;
      if (pa_simple_read(stream_, piece.data(), piece.size() * 2, &error) < 0) break;
      const Clock::time_point readAt = Clock::now();
      const pa_usec_t latency = pa_simple_get_latency(stream_, &error);
      // The last sample of the piece was played `latency` before now.
      const Clock::time_point lastSample = readAt - std::chrono::microseconds(latency);
      std::lock_guard lock(mutex_);
      blocks_.push_back(Block{lastSample - SampleDuration(piece.size() - 1), piece});
    }
  }

  pa_simple* stream_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Block> blocks_;
};

}  // namespace keelmark::bench
