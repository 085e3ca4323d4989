#include "platform/posix/espeak_voice.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

namespace keelmark {

namespace {

// Every voice speaks through the one engine, telling its own samples apart
// by the user data of a call.
class EspeakVoice : public Voice {
 public:
  EspeakVoice(SpeechSamplesOut& audio, std::shared_future<int> sampleRate)
      : audio_(audio), sampleRate_(std::move(sampleRate)) {}

  bool Speak(const std::string& utf8Text) override {
    // Silent until the engine has started.
    if (utf8Text.empty() || sampleRate_.wait_for(std::chrono::seconds(0)) != std::future_status::ready ||
        sampleRate_.get() <= 0)
      return true;
    heardAnything_ = false;
    heldBack_.clear();
    audio_.BeginSamples(sampleRate_.get());
    // Synchronous output: the callback below runs on this thread for each
    // piece as it is rendered, and the call returns after the last piece.
    espeak_ng_Synthesize(utf8Text.c_str(), utf8Text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8,
                         nullptr, this);
    audio_.FinishSamples();
    return true;
  }

  static int ReceiveSamples(short* samples, int count, espeak_EVENT* events) {
    if (samples == nullptr || count <= 0 || events == nullptr || events->user_data == nullptr) return 0;
    static_cast<EspeakVoice*>(events->user_data)->Receive(samples, static_cast<std::size_t>(count));
    return 0;
  }

 private:
  // espeak-ng opens a text with silence (the closure of a first "c", say)
  // and ends it with a sentence's pause. Both would be dead air between the
  // game's sounds, so the quiet before the first and after the last audible
  // sample is left out; pauses inside the text are kept, held back until
  // the next audible sample shows they are inside.
  void Receive(const short* samples, std::size_t count) {
    constexpr int quietLevel = 64;  // about -54 dB
    std::size_t from = 0;
    if (!heardAnything_) {
      while (from < count && std::abs(samples[from]) <= quietLevel) ++from;
      if (from == count) return;
      heardAnything_ = true;
    }
    heldBack_.insert(heldBack_.end(), samples + from, samples + count);
    std::size_t audible = heldBack_.size();
    while (audible > 0 && std::abs(heldBack_[audible - 1]) <= quietLevel) --audible;
    if (audible == 0) return;
    audio_.QueueSamples(heldBack_.data(), audible);
    heldBack_.erase(heldBack_.begin(), heldBack_.begin() + static_cast<std::ptrdiff_t>(audible));
  }

  SpeechSamplesOut& audio_;
  std::shared_future<int> sampleRate_;
  bool heardAnything_ = false;
  std::vector<std::int16_t> heldBack_;
};

int StartEngine() {
  espeak_ng_InitializePath(nullptr);
  // A null error context makes espeak-ng keep its messages to itself, which
  // matters on a screen the game owns.
  if (espeak_ng_Initialize(nullptr) != ENS_OK) return 0;
  // Pieces of 50 ms let the first one play while the rest is being made.
  if (espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 50, nullptr) != ENS_OK ||
      espeak_ng_SetVoiceByName(ESPEAKNG_DEFAULT_VOICE) != ENS_OK)
    return 0;
  espeak_SetSynthCallback(&EspeakVoice::ReceiveSamples);
  return espeak_ng_GetSampleRate();
}

// espeak-ng keeps one global engine, which deadlocks in espeak_ng_Terminate
// when set up a second time: it is set up once and kept. Its version 1.51
// connects to the sound server while it starts, though the game never plays
// through that connection; a server that does not answer would hold the
// start without limit, so it starts on a thread of its own, left behind if
// it never ends. The engine's sample rate, or 0 when it could not be set up.
std::shared_future<int> EngineStarted() {
  static const std::shared_future<int> started = [] {
    std::packaged_task<int()> start(StartEngine);
    std::shared_future<int> result = start.get_future().share();
    std::thread(std::move(start)).detach();
    return result;
  }();
  return started;
}

}  // namespace

std::unique_ptr<Voice> OpenEspeakVoice(SpeechSamplesOut& audio) {
  if (!audio.HasDevice()) return nullptr;
  std::shared_future<int> sampleRate = EngineStarted();
  // An engine without its data leaves the speaking to the next voice.
  if (sampleRate.wait_for(std::chrono::milliseconds(1500)) == std::future_status::ready && sampleRate.get() <= 0)
    return nullptr;
  return std::make_unique<EspeakVoice>(audio, std::move(sampleRate));
}

}  // namespace keelmark
