#include "core/game_state.h"

namespace keelmark {

const ShipInfo* ShipOfLetter(char letter) {
  for (const ShipInfo& ship : fleet) {
    if (ship.letter == letter) return &ship;
  }
  return nullptr;
}

void FillWithWater(Grid& grid) {
  for (auto& row : grid) row.fill(waterMark);
}

ShotOutcome ResolveShot(Grid& grid, ShipHits& hits, std::int32_t& shipsSunk, int row,
                        int column, const ShipInfo** shipHit) {
  if (shipHit) *shipHit = nullptr;
  char& cell = CellOf(grid, row, column);
  const char old = cell;
  if (old == firedMark) return ShotOutcome::AlreadyFired;
  cell = firedMark;
  const ShipInfo* ship = ShipOfLetter(old);
  if (!ship) return ShotOutcome::Miss;
  if (shipHit) *shipHit = ship;
  // A square is fired at once at most, so the counter reaches the length
  // exactly once: on the shot that sinks the ship.
  if (++hits[static_cast<int>(ship->type)] == ship->length) {
    ++shipsSunk;
    return ShotOutcome::Sunk;
  }
  return ShotOutcome::Hit;
}

}  // namespace keelmark
