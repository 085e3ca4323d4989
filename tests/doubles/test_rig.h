#pragma once
// A whole game over doubles, wired the way the real program wires it: the
// voice and the clips flush the console before they block, and everything
// lands in one ordered log.
//
//   TestRig rig(seed);
//   rig.terminal.TypeText("auto\r");
//   rig.game.Run();
//
// Tests that drive one routine at a time call PrepareLikeStartUp() first.

#include <cstdint>
#include <memory>

#include "core/game.h"
#include "presentation/console.h"
#include "presentation/sound_effects.h"
#include "presentation/speech.h"
#include "tests/doubles/event_log.h"
#include "tests/doubles/recorded_output.h"
#include "tests/doubles/test_random.h"
#include "tests/doubles/virtual_terminal.h"

namespace keelmark::testing {

struct TestRig {
  // A rig with its own SeededRandom.
  explicit TestRig(std::uint64_t seed = 1, int rows = 25, int columns = 80);
  // A rig over a random source the test keeps (a ScriptedRandom, say).
  explicit TestRig(RandomSource& externalRandom, int rows = 25, int columns = 80);

  TestRig(const TestRig&) = delete;
  TestRig& operator=(const TestRig&) = delete;

  // What start-up does before the title, without the title: effect names,
  // the voice, cursor, mouse input with the game's selection (left and right
  // buttons, press and release), a cleared screen. The log is emptied
  // afterwards so a test sees only what its routine did.
  void PrepareLikeStartUp();

  EventLog log;
  VirtualTerminal terminal;
  Console console;
  Speech speech;
  RecordedAudio audio;
  SoundEffects sounds;

 private:
  TestRig(std::unique_ptr<RandomSource> owned, RandomSource* external, int rows, int columns);
  std::unique_ptr<RandomSource> ownedRandom_;

 public:
  RandomSource& random;
  Game game;
};

}  // namespace keelmark::testing
