// What is printed before the game blocks (speaking, playing a clip, waiting
// for a key) must be on the screen while it blocks.

#include <string>
#include <vector>

#include "tests/screen/screen_fixture.h"

namespace keelmark {
namespace {

using FlushOrder = ScreenTest;

bool Blocks(const std::string& entry) {
  return entry.rfind("speak: ", 0) == 0 || entry.rfind("play: ", 0) == 0 ||
         entry.rfind("key: ", 0) == 0 || entry.rfind("mouse: ", 0) == 0;
}

TEST_F(FlushOrder, NoWriteIsLeftUnflushedWhenTheGameBlocks) {
  CellOf(game.state.computerGrid, 1, 1) = firedMark;
  CellOf(game.state.computerGrid, 2, 2) = 'D';
  CellOf(game.state.playerGrid, 3, 7) = 'S';
  terminal.TypeText("\r");
  game.IntroPrompt();
  game.state.roundNumber = 1;
  terminal.TypeText("a1\r");  // fired at before: buzzer, then the turn again
  terminal.Click(2, 2);
  game.PlayerTurn();
  random.PushSquare(3, 7);
  game.ComputerTurn();

  bool unflushedWrite = false;
  int blockingSteps = 0;
  for (std::size_t i = 0; i < log.Size(); ++i) {
    const std::string& entry = log[i];
    if (entry == "flush") {
      unflushedWrite = false;
    } else if (entry.rfind("write ", 0) == 0) {
      unflushedWrite = true;
    } else if (Blocks(entry)) {
      ++blockingSteps;
      EXPECT_FALSE(unflushedWrite) << "entry " << i << " (" << entry << ")\n" << Dump();
    }
  }
  EXPECT_EQ(terminal.PendingInput(), 1u) << "only the release of the click is left";
  EXPECT_EQ(log.Played(), (std::vector<std::string>{"buzzer", "drop", "hit", "drop", "hit"}));
  EXPECT_GT(blockingSteps, 10);
}

}  // namespace
}  // namespace keelmark
