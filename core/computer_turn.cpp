// The computer's shot: open search at random until a hit, then a walk along
// the line from the first hit until a ship goes down.

#include "core/game.h"

namespace keelmark {

void Game::ResetHunt() {
  hunt.huntOrigin = {0, 0};
  hunt.huntCursor = {0, 0};
  hunt.directionChanges = 0;
  hunt.huntMode = -1;
}

void Game::SwitchAxis() {
  hunt.huntDirection += hunt.huntDirection > 2 ? -2 : 2;
  hunt.huntCursor = hunt.huntOrigin;
  ++hunt.directionChanges;
}

void Game::ChooseTarget() {
  if (hunt.huntOrigin.row == 0) {
    hunt.huntOrigin = hunt.huntCursor;
    hunt.huntDirection = UniformDraw(1, 4);
  }
  Square target;
  for (;;) {
    if (lastComputerShot == -1) {
      hunt.huntCursor = hunt.huntOrigin;
      lastComputerShot = 1;
      hunt.huntDirection = DirectionOf(hunt.huntDirection).reverse;
      if (++hunt.directionChanges == 2) SwitchAxis();
    }

    Square& cursor = hunt.huntCursor;
    const Direction& way = DirectionOf(hunt.huntDirection);
    cursor = Step(cursor, way, 1);
    if (!IsOnGrid(cursor)) {
      // Bounced off the edge: the square on the other side of the one left.
      cursor = Step(cursor, way, -2);
      hunt.huntDirection = way.reverse;
      ++hunt.directionChanges;
    }

    if (hunt.directionChanges == 2) SwitchAxis();
    if (hunt.directionChanges > 4) {
      do {
        RandomSquare();
      } while (CellOf(state.playerGrid, currentRow, currentColumn) == firedMark);
      target = {currentRow, currentColumn};
      break;
    }
    if (CellOf(state.playerGrid, cursor.row, cursor.column) != firedMark) {
      target = cursor;
      break;
    }
  }
  currentRow = target.row;
  currentColumn = target.column;
  entryText = SquareText(target.row, target.column);
}

void Game::ComputerTurn() {
  if (hunt.huntMode >= 1) {
    ChooseTarget();
  } else {
    do {
      RandomSquare();
    } while (CellOf(state.playerGrid, currentRow, currentColumn) == firedMark);
  }

  Speak("Computer chooses: " + entryText);
  console_.SetColors(Cyan, keepColour);
  console_.MoveCursor(25, 40);
  console_.PrintText("          ");
  console_.MoveCursor(25, 20);
  console_.PrintText("computer chooses: ");
  console_.NextPrintZone();
  console_.PrintText(entryText);

  sounds_.PlaySoundEffect(sounds_.drop);
  const int row = currentRow;
  const int column = currentColumn;
  const ShotOutcome shot =
      ResolveShot(state.playerGrid, state.playerShipHits, state.playerShipsSunk, row, column);
  if (shot == ShotOutcome::Miss) {
    lastComputerShot = -1;
    MarkHomeShot(console_, row, column, false);
    sounds_.PlaySoundEffect(sounds_.miss);
    return;
  }
  lastComputerShot = 1;
  hunt.huntMode = 1;
  hunt.huntCursor = {row, column};
  MarkHomeShot(console_, row, column, true);
  sounds_.PlaySoundEffect(sounds_.hit);
  if (shot == ShotOutcome::Sunk) {
    sounds_.PlaySoundEffect(sounds_.sink);
    ResetHunt();
  }
}

}  // namespace keelmark
