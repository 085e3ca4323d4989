#pragma once
// A voice and an audio output that only write down what they were asked to
// do, in the shared event log.

#include <functional>
#include <memory>
#include <string>

#include "presentation/sound_effects.h"
#include "presentation/speech.h"
#include "tests/doubles/event_log.h"

namespace keelmark::testing {

class RecordedVoice : public Voice {
 public:
  explicit RecordedVoice(EventLog& log) : log_(log) {}
  bool Speak(const std::string& utf8Text) override;

  // A factory for Speech that makes voices writing into `log`.
  static Speech::VoiceFactory Factory(EventLog& log);

 private:
  EventLog& log_;
};

class RecordedAudio : public AudioOut {
 public:
  explicit RecordedAudio(EventLog& log) : log_(log) {}
  void PlayClip(const std::string& name) override;
  void StopAll() override;

  // Runs after each clip has been logged; whole-game tests check their
  // invariants here, at the moments the player hears something.
  std::function<void(const std::string& name)> onPlay;

 private:
  EventLog& log_;
};

}  // namespace keelmark::testing
