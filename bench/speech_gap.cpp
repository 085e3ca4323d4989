// Figures, not a test: the dead air after a spoken text, heard on a real
// sound server. For each text, how long after its last audible sample the
// voice's call returned; then how long the silence was between that text
// and the next sound, a second text or a clip, played straight after.
//
//   source tests/audio/pulse_server.sh; StartAudioServer
//   build/bench/keelmark_speech_gap "$audioSink.monitor" [speech-dispatcher|espeak-ng [texts...]]
//
// The server's output is recorded in this process, so that sample times and
// call times share one clock.

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
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
// About -50 dBFS: above the null sink's silence, below any word.
constexpr int audibleLevel = 100;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Records the sink's monitor on its own thread, each sample dated by when
// the sink played it (the time it was read less the record latency).
class MonitorRecorder {
 public:
  explicit MonitorRecorder(const char* source) {
    pa_sample_spec spec{PA_SAMPLE_S16LE, recordRate, 1};
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.fragsize = recordRate / 200 * 2;  // 5 ms pieces
    int error = 0;
    stream_ = pa_simple_new(nullptr, "keelmark-speech-gap", PA_STREAM_RECORD, source, "monitor", &spec, nullptr,
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

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const char* monitor = argc > 1 ? argv[1] : nullptr;
  const std::string voiceName = argc > 2 ? argv[2] : "speech-dispatcher";
  MonitorRecorder recorder(monitor);
  if (!recorder.Ok()) return 1;
  keelmark::SdlAudioOut audio;
  std::unique_ptr<keelmark::Voice> voice = voiceName == "espeak-ng" ? keelmark::OpenEspeakVoice(audio)
                                                                    : keelmark::OpenSpeechDispatcherVoice();
  if (voice == nullptr) {
    std::fprintf(stderr, "no %s voice\n", voiceName.c_str());
    return 1;
  }
  // The server's first text carries its start-up; it is not measured.
  voice->Speak("Ready.");
  std::vector<std::string> texts{"round 1", "Coordinates?", "Computer chooses: B 7", "Press any key to continue.",
                                 "You win!!"};
  // Texts of one's own instead, from the third argument on.
  if (argc > 3) texts.assign(argv + 3, argv + argc);
  // Quiet stretches inside a sound (around zero crossings) last a few ms.
  const auto bridge = std::chrono::milliseconds(15);
  std::vector<double> returns, toSpeech, toClip;
  // Each text alone, with silence after it: how long after its last sample
  // the call returned (negative: it returned while still speaking).
  for (const std::string& text : texts) {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const Clock::time_point called = Clock::now();
    voice->Speak(text);
    const Clock::time_point returned = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    const auto sounds = recorder.Sounds(called - std::chrono::milliseconds(50), Clock::now());
    if (sounds.empty()) {
      std::printf("%-28s not heard\n", text.c_str());
      continue;
    }
    returns.push_back(Milliseconds(returned - sounds.back()));
    std::printf("%-28s %6.0f ms of sound; the call returned %+7.1f ms after its last sample\n", text.c_str(),
                Milliseconds(sounds.back() - sounds.front()), returns.back());
  }
  // Each text followed at once by another text or a clip: the silence from
  // its last sample to the next sound's first. The next sound cannot start
  // before its call, so the text ends at the last sample before the call.
  for (std::size_t i = 0; i < 2 * texts.size(); ++i) {
    const std::string& text = texts[i % texts.size()];
    const bool clipNext = i >= texts.size();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const Clock::time_point called = Clock::now();
    voice->Speak(text);
    const Clock::time_point returned = Clock::now();
    if (clipNext) {
      audio.PlayClip("sink");
    } else {
      voice->Speak(texts[(i + 1) % texts.size()]);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const auto sounds = recorder.Sounds(called - std::chrono::milliseconds(50), Clock::now());
    // The text runs on past the call's return for as long as its samples
    // follow each other closely; the next sound is what comes after that.
    auto end = std::find_if(sounds.begin(), sounds.end(), [&](Clock::time_point t) { return t > returned; });
    if (end == sounds.begin() || end == sounds.end()) {
      std::printf("%-28s followed by a %s: not both heard\n", text.c_str(), clipNext ? "clip" : "text");
      continue;
    }
    --end;
    while (end + 1 != sounds.end() && *(end + 1) - *end < bridge) ++end;
    // No silence longer than a sound's own short dips: the two run together.
    const double gap = end + 1 == sounds.end() ? 0.0 : Milliseconds(*(end + 1) - *end);
    (clipNext ? toClip : toSpeech).push_back(gap);
    std::printf("%-28s silence before the next %s %7.1f ms%s\n", text.c_str(), clipNext ? "clip" : "text", gap,
                gap == 0.0 ? " (under 15 ms)" : "");
    std::fflush(stdout);
  }
  std::printf("\n%s medians: return after the last sample %+.1f ms; silence to the next text %.1f ms, to the next "
              "clip %.1f ms (target: at most 60 ms)\n",
              voiceName.c_str(), Median(returns), Median(toSpeech), Median(toClip));
  return 0;
}
