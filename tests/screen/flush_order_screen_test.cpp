// What is printed before the game blocks (speaking, playing a clip, waiting
// for a key) must be on the screen while it blocks.

#include <string>
#include <vector>

#include "tests/screen/screen_fixture.h"

namespace keelmark {
namespace {

using testing::Event;
using testing::Flushed;
using testing::Took;
using testing::Wrote;

using FlushOrder = ScreenTest;

bool Blocks(const Event& e) {
  return std::holds_alternative<testing::Spoke>(e) || std::holds_alternative<testing::Sounded>(e) ||
         std::holds_alternative<Took>(e);
}

TEST_F(FlushOrder, NoWriteIsLeftUnflushedWhenTheGameBlocks) {
  Target(1, 1) = firedMark;
  Target(2, 2) = 'D';
  Home(3, 7) = 'S';
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
    if (std::holds_alternative<Flushed>(log[i])) {
      unflushedWrite = false;
    } else if (std::holds_alternative<Wrote>(log[i])) {
      unflushedWrite = true;
    } else if (Blocks(log[i])) {
      ++blockingSteps;
      EXPECT_FALSE(unflushedWrite) << "event " << i << "\n" << Dump();
    }
  }
  EXPECT_EQ(terminal.PendingInput(), 1u) << "only the release of the click is left";
  EXPECT_EQ(log.Played(), (std::vector<std::string>{"buzzer", "drop", "hit", "drop", "hit"}));
  EXPECT_GT(blockingSteps, 10);
}

TEST_F(FlushOrder, GeneratingShipLocationsIsShownBeforeTheScreenIsCleared) {
  // Nothing blocks between the announcement and the boards of the first
  // round, so only a flush of its own puts it on the screen meanwhile.
  terminal.TypeText("auto\r");
  game.IntroPrompt();
  console.ClearScreen();  // what placing the fleets does first
  const int printed = log.IndexOfWriteContaining("Generating ship locations, please wait.");
  const int flushed = log.IndexOfKind<Flushed>(printed);
  const int cleared = log.IndexOf(Wrote{1, 1, 0x07, std::string(80, ' ')}, printed);
  ASSERT_NE(printed, notFound) << Dump();
  ASSERT_NE(cleared, notFound) << Dump();
  EXPECT_LT(flushed, cleared) << Dump();
  EXPECT_NE(flushed, notFound) << Dump();
}

}  // namespace
}  // namespace keelmark
