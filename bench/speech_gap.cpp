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

#include "bench/monitor_recorder.h"
#include "platform/posix/espeak_voice.h"
#include "platform/posix/audio_player.h"
#include "platform/posix/speech_dispatcher_voice.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

using keelmark::bench::MonitorRecorder;

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
  keelmark::AudioPlayer audio;
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
