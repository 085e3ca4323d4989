// Builds the platform's devices, plays one game on them and ends.

#include <memory>
#include <vector>

#include "core/game.h"
#include "core/random_source.h"
#include "presentation/console.h"
#include "presentation/sound_effects.h"
#include "presentation/speech.h"

#ifdef _WIN32
#error "The Windows console device is not written yet."
#else
#include "platform/posix/espeak_voice.h"
#include "platform/posix/ncurses_terminal.h"
#include "platform/posix/quiet_stderr.h"
#include "platform/posix/sdl_audio_out.h"
#include "platform/posix/speech_dispatcher_voice.h"
#endif

int main() {
  keelmark::NcursesTerminal terminal;
  keelmark::QuietStderr quietStderr;
  keelmark::Console console(terminal);
  keelmark::SdlAudioOut audio;
  // The player's own speech service first, with their voice and rate; then
  // espeak-ng through the game's audio; then silence.
  std::vector<keelmark::Speech::VoiceFactory> voices{
      [] { return keelmark::OpenSpeechDispatcherVoice(); },
      [&] { return keelmark::OpenEspeakVoice(audio); },
  };
  keelmark::Speech speech(std::move(voices), [&] { console.Flush(); });
  keelmark::SoundEffects sounds(audio, [&] { console.Flush(); });
  keelmark::ClockSeededRandom random;
  keelmark::Game game(console, speech, sounds, random);
  game.Run();
  return 0;
}
