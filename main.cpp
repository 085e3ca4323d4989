// Builds the platform's devices, plays one game on them and ends.

#include <memory>

#include "core/game.h"
#include "core/random_source.h"
#include "presentation/console.h"
#include "presentation/sound_effects.h"
#include "presentation/speech.h"

#ifdef _WIN32
#error "The Windows console device is not written yet."
#else
#include "platform/posix/ncurses_terminal.h"
#endif

int main() {
  keelmark::NcursesTerminal terminal;
  keelmark::Console console(terminal);
  keelmark::Speech speech([] { return std::make_unique<keelmark::SilentVoice>(); },
                          [&] { console.Flush(); });
  keelmark::SilentAudioOut audio;
  keelmark::SoundEffects sounds(audio, [&] { console.Flush(); });
  keelmark::ClockSeededRandom random;
  keelmark::Game game(console, speech, sounds, random);
  game.Run();
  return 0;
}
