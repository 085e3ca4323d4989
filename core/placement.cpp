// Hiding the fleets: the player's by hand (or at random after "auto"), the
// computer's always at random, with the span rules both share.

#include <utility>

#include "core/game.h"

namespace keelmark {

std::int64_t OrderSquares(Square& start, Square& end) {
  // 64 bits: squares read from the player's text may lie far off the grid.
  const std::int64_t s = (std::int64_t{end.row} - start.row) + (std::int64_t{end.column} - start.column);
  if (s < 0) std::swap(start, end);
  return (s < 0 ? -s : s) + 1;
}

bool CheckPlacement(const Grid& grid, Square start, Square end) {
  for (int row = start.row; row <= end.row; ++row) {
    for (int column = start.column; column <= end.column; ++column) {
      if (CellOf(grid, row, column) != waterMark) return false;
    }
  }
  return true;
}

void WriteShip(Grid& grid, Square start, Square end, char letter) {
  for (int row = start.row; row <= end.row; ++row) {
    for (int column = start.column; column <= end.column; ++column) {
      CellOf(grid, row, column) = letter;
    }
  }
}

Placement ParsePlacement(std::string_view text) {
  const std::size_t firstComma = text.find(',');
  std::string_view field1 = text.substr(0, firstComma);
  std::string_view field2;
  if (firstComma != std::string_view::npos) {
    field2 = text.substr(firstComma + 1);
    field2 = field2.substr(0, field2.find(','));
  }
  Placement placement;
  placement.start = ParseSquareName(field1);
  placement.end = ParseSquareName(field2);
  placement.span = OrderSquares(placement.start, placement.end);
  return placement;
}

namespace {

// Each ship's prompt, in fleet order; only the destroyer's lacks the
// trailing blank.
constexpr std::string_view shipPrompts[shipTypeCount] = {
    "Enter coordinates for destroyer (2 squares)",
    "Enter coordinates for submarine (3 squares) ",
    "Enter coordinates for cruiser (3 squares) ",
    "Enter coordinates for battle ship (4 squares) ",
    "Enter coordinates for carrier (5 squares) ",
};
constexpr int promptRows[shipTypeCount] = {15, 17, 19, 21, 23};

}  // namespace

bool IsValidPlacement(const Grid& grid, const Placement& placement, int length) {
  const Square& start = placement.start;
  const Square& end = placement.end;
  if (!IsOnGrid(start) || !IsOnGrid(end)) return false;
  if (start.row != end.row && start.column != end.column) return false;
  if (placement.span != length) return false;
  return CheckPlacement(grid, start, end);
}

void Game::PlacePlayerFleet() {
  console_.ClearScreen();
  if (state.autoPlacement == 0) DrawTargetBoard(console_);
  for (std::size_t i = 0; i < fleet.size(); ++i) {
    const ShipInfo& ship = fleet[i];
    for (;;) {
      if (state.autoPlacement == 1) {
        PlaceShipAtRandom(state.playerGrid, ship);
        break;
      }
      Speak(std::string(shipPrompts[i]));
      console_.MoveCursor(promptRows[i], 1);
      console_.PrintText(shipPrompts[i]);
      const std::string text = ReadPlacementEntry();
      const Placement placement = ParsePlacement(text);
      currentRow = placement.end.row;
      currentColumn = placement.end.column;
      if (IsValidPlacement(state.playerGrid, placement, ship.length)) {
        WriteShip(state.playerGrid, placement.start, placement.end, ship.letter);
        break;
      }
      sounds_.ErrorBuzz();
    }
  }
}

std::string Game::ReadPlacementEntry() {
  std::string startText;
  if (ReadEntry() == EntryOutcome::Square) {
    // A clicked square leaves its number with the blank of the square text.
    if (!entryText.empty() && entryText[0] == ' ') entryText.erase(0, 1);
    console_.MoveCursor(currentRow, currentColumn);
    console_.SetColors(Yellow, keepColour);
    console_.PrintText("X");
    startText = std::string(1, static_cast<char>(64 + currentRow)) + entryText + ",";
  }
  if (ReadEntry() == EntryOutcome::Square) {
    return startText + static_cast<char>(64 + currentRow) + entryText;
  }
  return entryText;
}

int Game::UniformDraw(int lo, int hi) {
  return static_cast<int>(random_.NextUnit() * (hi - lo + 1)) + lo;
}

void Game::RandomSquare() {
  currentRow = UniformDraw(1, 10);
  currentColumn = UniformDraw(1, 10);
  entryText = SquareText(currentRow, currentColumn) + ",";
}

Square Game::RandomEndSquare(Square start, int reach, int turnBack) {
  const Direction& way = DirectionOf(UniformDraw(1, 4));
  const Square end = Step(start, way, reach);
  // A ship that would run off the grid runs the other way from its start.
  return IsOnGrid(end) ? end : Step(end, way, -turnBack);
}

void Game::PlaceShipAtRandom(Grid& grid, const ShipInfo& ship) {
  const int reach = ship.length - 1;
  for (;;) {
    RandomSquare();
    Square start{currentRow, currentColumn};
    Square end = RandomEndSquare(start, reach, 2 * reach);
    OrderSquares(start, end);
    if (CheckPlacement(grid, start, end)) {
      WriteShip(grid, start, end, ship.letter);
      currentRow = end.row;
      currentColumn = end.column;
      return;
    }
  }
}

void Game::PlaceComputerFleet() {
  for (const ShipInfo& ship : fleet) PlaceShipAtRandom(state.computerGrid, ship);
}

}  // namespace keelmark
