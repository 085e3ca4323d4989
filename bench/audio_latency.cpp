// How the game's sounds line up with its calls, measured on a real sound
// server: every clip and a few short texts through each voice, with the
// server's output recorded in this same process so that sample times and
// call times share one clock.
//
// Prints, per call, how long after the call its sound started and how long
// after its sound ended the call returned, then the medians. Run it through
// bench/run_audio_latency.sh, which starts a private sound server to measure
// against.

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/espeak_voice.h"
#include "platform/posix/sdl_audio_out.h"
#include "platform/posix/speech_dispatcher_voice.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int recordRate = 48000;

double Seconds(Clock::time_point t, Clock::time_point origin) {
  return std::chrono::duration<double>(t - origin).count();
}

// Records the sink's monitor on its own thread. Each block is dated by the
// moment it was read, less the server's record latency, so that a sample's
// time is when the sink played it.
class MonitorRecorder {
 public:
  explicit MonitorRecorder(const char* source) {
    pa_sample_spec spec{PA_SAMPLE_S16LE, recordRate, 1};
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.fragsize = recordRate / 200 * 2;  // 5 ms pieces
    int error = 0;
    stream_ = pa_simple_new(nullptr, "keelmark-bench", PA_STREAM_RECORD, source, "monitor", &spec, nullptr,
                            &attributes, &error);
    if (!stream_) {
      std::fprintf(stderr, "cannot record %s: %s\n", source, pa_strerror(error));
      return;
    }
    origin_ = Clock::now();
    thread_ = std::thread([this] { Run(); });
  }
  ~MonitorRecorder() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (stream_) pa_simple_free(stream_);
  }
  bool Ok() const { return stream_ != nullptr; }

  // First and last sample louder than `threshold` between two times, as
  // times; false when there was no such sample.
  bool FindSound(Clock::time_point from, Clock::time_point to, Clock::time_point& start,
                 Clock::time_point& end) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool found = false;
    for (const Block& block : blocks_) {
      for (std::size_t i = 0; i < block.samples.size(); ++i) {
        const Clock::time_point at = block.firstSampleTime + SampleDuration(i);
        if (at < from || at > to || std::abs(block.samples[i]) < 100) continue;
        if (!found) start = at;
        end = at;
        found = true;
      }
    }
    return found;
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
      Block block{lastSample - SampleDuration(piece.size() - 1), piece};
      std::lock_guard<std::mutex> lock(mutex_);
      blocks_.push_back(std::move(block));
    }
  }

  pa_simple* stream_ = nullptr;
  Clock::time_point origin_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Block> blocks_;
};

struct Measurement {
  std::string what;
  double startsAfterCall;   // seconds
  double returnsAfterEnd;   // seconds
  double soundSeconds;
};

class Bench {
 public:
  explicit Bench(MonitorRecorder& recorder) : recorder_(recorder) {}

  void Measure(const std::string& group, const std::string& what, const std::function<void()>& call) {
    // Quiet before and after, so that each sound is told from its neighbours.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const Clock::time_point called = Clock::now();
    call();
    const Clock::time_point returned = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    Clock::time_point start, end;
    if (!recorder_.FindSound(called - std::chrono::milliseconds(50), returned + std::chrono::milliseconds(350),
                             start, end)) {
      std::printf("%-16s %-45s no sound heard (call took %.0f ms)\n", group.c_str(), what.c_str(),
                  Seconds(returned, called) * 1000);
      return;
    }
    Measurement m{what, Seconds(start, called), Seconds(returned, end), Seconds(end, start)};
    std::printf("%-16s %-45s sound %6.3f s  starts %+7.1f ms after the call  call returns %+7.1f ms after its end\n",
                group.c_str(), what.c_str(), m.soundSeconds, m.startsAfterCall * 1000, m.returnsAfterEnd * 1000);
    std::fflush(stdout);
    results_[group].push_back(m);
  }

  void PrintMedians() {
    std::printf("\nmedians\n");
    for (auto& [group, list] : results_) {
      if (group == "first sound") continue;
      std::printf("%-16s start %+7.1f ms   return after end %+7.1f ms   (%zu calls)\n", group.c_str(),
                  Median(list, &Measurement::startsAfterCall) * 1000,
                  Median(list, &Measurement::returnsAfterEnd) * 1000, list.size());
    }
  }

 private:
  static double Median(const std::vector<Measurement>& list, double Measurement::*field) {
    std::vector<double> values;
    for (const Measurement& m : list) values.push_back(m.*field);
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
  }

  MonitorRecorder& recorder_;
  std::map<std::string, std::vector<Measurement>> results_;
};

}  // namespace

int main(int argc, char** argv) {
  const char* monitor = argc > 1 ? argv[1] : nullptr;
  MonitorRecorder recorder(monitor);
  if (!recorder.Ok()) return 1;
  Bench bench(recorder);
  const std::vector<std::string> texts{"round 1", "Coordinates?", "Computer chooses: B 7", "You win!!"};

  keelmark::SdlAudioOut audio;
  if (!audio.HasDevice()) {
    std::fprintf(stderr, "no audio device\n");
    return 1;
  }
  // The very first sound of a run has been seen to start most of a second
  // late on the test server (the recorder's stream settling in); it is shown
  // on its own and left out of the medians.
  bench.Measure("first sound", "sink", [&] { audio.PlayClip("sink"); });
  for (int pass = 0; pass < 3; ++pass)
    for (const char* clip : {"drop", "hit", "miss", "sink", "buzzer"})
      bench.Measure("clip", std::string(clip) + " (pass " + std::to_string(pass + 1) + ")",
                    [&] { audio.PlayClip(clip); });

  if (std::unique_ptr<keelmark::Voice> espeak = keelmark::OpenEspeakVoice(audio)) {
    for (const std::string& text : texts) bench.Measure("espeak-ng", text, [&] { espeak->Speak(text); });
  } else {
    std::printf("espeak-ng voice not available\n");
  }
  if (std::unique_ptr<keelmark::Voice> dispatcher = keelmark::OpenSpeechDispatcherVoice()) {
    // The server warms up on its first text; that one is shown but counts too.
    for (const std::string& text : texts)
      bench.Measure("speech-dispatcher", text, [&] { dispatcher->Speak(text); });
  } else {
    std::printf("speech-dispatcher voice not available\n");
  }
  // For scale: speech-dispatcher's own command-line client, process start
  // included, on the same server.
  for (const std::string& text : texts) {
    const std::string command = "spd-say -w '" + text + "' >/dev/null 2>&1";
    bench.Measure("spd-say -w", text, [&] {
      if (std::system(command.c_str()) != 0) std::printf("(spd-say failed)\n");
    });
  }
  bench.PrintMedians();
  return 0;
}
