// One shot of the player at the computer's fleet.

#include "core/game.h"

namespace keelmark {

void Game::PlayerTurn() {
  for (;;) {
    console_.MoveCursor(1, 60);
    Speak("round " + NumberText(state.roundNumber));
    console_.PrintText("Round ");
    console_.NextPrintZone();
    console_.PrintNumber(state.roundNumber);
    Speak("Coordinates?");
    console_.MoveCursor(24, 14);
    console_.PrintText("    ");
    console_.EndLine();
    console_.MoveCursor(24, 1);
    console_.PrintText("coordinates: ");

    // Only a square the player named may be fired at: anything else asks
    // again. A long entry was meant as a square, so it earns the buzzer.
    const EntryOutcome outcome = ReadEntry();
    if (outcome != EntryOutcome::Square) {
      if (outcome == EntryOutcome::Long) sounds_.ErrorBuzz();
      continue;
    }

    const int row = currentRow;
    const int column = currentColumn;
    if (CellOf(state.computerGrid, row, column) == firedMark) {
      sounds_.ErrorBuzz();
      continue;
    }
    sounds_.PlaySoundEffect(sounds_.drop);
    const ShotOutcome shot = ResolveShot(state.computerGrid, state.computerShipHits,
                                         state.computerShipsSunk, row, column);
    if (shot == ShotOutcome::Miss) {
      MarkTargetShot(console_, row, column, false);
      sounds_.PlaySoundEffect(sounds_.miss);
      return;
    }
    MarkTargetShot(console_, row, column, true);
    sounds_.PlaySoundEffect(sounds_.hit);
    if (shot == ShotOutcome::Sunk) sounds_.PlaySoundEffect(sounds_.sink);
    return;
  }
}

}  // namespace keelmark
