// The POSIX devices: curses on the terminal; for sound a PulseAudio server
// (or PipeWire's PulseAudio service), else SDL2's device; and for speech the
// player's own speech service, else espeak-ng, else silence.

#include "platform/platform.h"
#include "platform/posix/audio_player.h"
#include "platform/posix/espeak_voice.h"
#include "platform/posix/ncurses_terminal.h"
#include "platform/posix/quiet_stderr.h"
#include "platform/posix/speech_dispatcher_voice.h"

namespace keelmark {

namespace {

class PosixPlatform : public Platform {
 public:
  Terminal& Screen() override { return terminal_; }
  AudioOut& Audio() override { return audio_; }

  std::vector<Speech::VoiceFactory> Voices() override {
    // The player's own speech service first, with their voice and rate;
    // then espeak-ng through the game's audio; then silence.
    return {
        [] { return OpenSpeechDispatcherVoice(); },
        [this] { return OpenEspeakVoice(audio_); },
    };
  }

 private:
  // In this order: the terminal is taken before the libraries below can
  // complain onto it, and given back after they have gone.
  NcursesTerminal terminal_;
  QuietStderr quietStderr_;
  AudioPlayer audio_;
};

}  // namespace

std::unique_ptr<Platform> OpenPlatform() { return std::make_unique<PosixPlatform>(); }

}  // namespace keelmark
