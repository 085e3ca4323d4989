#include "tests/doubles/test_rig.h"

namespace keelmark::testing {

TestRig::TestRig(std::uint64_t seed, int rows, int columns)
    : TestRig(std::make_unique<SeededRandom>(seed), nullptr, rows, columns) {}

TestRig::TestRig(RandomSource& externalRandom, int rows, int columns)
    : TestRig(nullptr, &externalRandom, rows, columns) {}

TestRig::TestRig(std::unique_ptr<RandomSource> owned, RandomSource* external, int rows, int columns)
    : terminal(log, rows, columns),
      console(terminal),
      speech(RecordedVoice::Factory(log), [this] { console.Flush(); }),
      audio(log),
      sounds(audio, [this] { console.Flush(); }),
      ownedRandom_(std::move(owned)),
      random(external ? *external : *ownedRandom_),
      game(console, speech, sounds, random) {}

void TestRig::PrepareLikeStartUp() {
  console.AdoptTerminalSize();
  sounds.SetSoundNames();
  speech.CreateVoice();
  console.ShowCursor();
  console.EnableMouseInput();
  console.SelectMouseEvents(3, 4 | 8);
  console.ClearScreen();
  console.Flush();
  log.Clear();
}

}  // namespace keelmark::testing
