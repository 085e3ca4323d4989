// Builds the platform's devices, plays one game on them and ends.

#include <memory>

#include "core/game.h"
#include "core/random_source.h"
#include "platform/platform.h"
#include "presentation/console.h"
#include "presentation/sound_effects.h"
#include "presentation/speech.h"

int main() {
  const std::unique_ptr<keelmark::Platform> platform = keelmark::OpenPlatform();
  keelmark::Console console(platform->Screen());
  keelmark::Speech speech(platform->Voices(), [&] { console.Flush(); }, platform->ChooseSpeechOptions());
  keelmark::SoundEffects sounds(platform->Audio(), [&] { console.Flush(); });
  keelmark::ClockSeededRandom random;
  keelmark::Game game(console, speech, sounds, random);
  game.Run();
  return 0;
}
