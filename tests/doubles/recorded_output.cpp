#include "tests/doubles/recorded_output.h"

namespace keelmark::testing {

Speech::VoiceFactory RecordedVoice::Factory(EventLog& log) {
  return [&log]() -> std::unique_ptr<Voice> { return std::make_unique<RecordedVoice>(log); };
}

bool RecordedVoice::Speak(const std::string& utf8Text) {
  log_.Add(Spoke{utf8Text});
  return true;
}

void RecordedAudio::StopAll() { log_.Add(SoundsStopped{}); }

void RecordedAudio::PlayClip(const std::string& name) {
  log_.Add(Sounded{name});
  if (onPlay) onPlay(name);
}

}  // namespace keelmark::testing
