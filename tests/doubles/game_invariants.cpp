#include "tests/doubles/game_invariants.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "tests/doubles/grid_checks.h"

namespace keelmark::testing {

void ReportAsTestFailure(const std::string& brokenRule) { ADD_FAILURE() << brokenRule; }

InvariantChecker::InvariantChecker(TestRig& rig, Report report)
    : game_(rig.game), report_(std::move(report)) {
  rig.audio.onPlay = [this](const std::string& name) {
    if (name != "drop") return;
    if (!fleetsSeen_) {
      playerFleet_ = game_.state.playerGrid;
      computerFleet_ = game_.state.computerGrid;
      fleetsSeen_ = true;
      for (const Grid* fleet : {&playerFleet_, &computerFleet_}) {
        if (const auto formed = FleetIsWellFormed(*fleet); !formed) report_(formed.message());
      }
    }
    CheckShots();
    ++drops;
  };
}

void InvariantChecker::Check() {
  if (fleetsSeen_) return CheckShots();
  CheckPlacement(game_.state.playerGrid);
  CheckPlacement(game_.state.computerGrid);
}

void InvariantChecker::CheckShots() {
  const GameState& s = game_.state;
  const int fired =
      CheckSide(s.playerGrid, playerFleet_, s.playerShipHits, s.playerShipsSunk) +
      CheckSide(s.computerGrid, computerFleet_, s.computerShipHits, s.computerShipsSunk);
  // Every shot uses up exactly one square.
  if (fired != drops) {
    report_(std::to_string(fired) + " squares fired at after " + std::to_string(drops) + " shots");
  }
}

int InvariantChecker::CheckSide(const Grid& grid, const Grid& fleet, const ShipHits& hits,
                                int sunk) {
  ShipHits firedShipSquares{};
  int firedSquares = 0;
  int changedCells = 0;
  for (int r = 1; r <= 10; ++r) {
    for (int c = 1; c <= 10; ++c) {
      const char cell = CellOf(grid, r, c);
      const ShipInfo* ship = ShipOfLetter(CellOf(fleet, r, c));
      if (cell == firedMark) {
        ++firedSquares;
        if (ship) ++firedShipSquares[static_cast<int>(ship->type)];
      } else if (cell != CellOf(fleet, r, c)) {
        ++changedCells;
      }
    }
  }
  int sunkShips = 0;
  for (const ShipInfo& ship : keelmark::fleet) {
    sunkShips += firedShipSquares[static_cast<int>(ship.type)] == ship.length;
  }
  if (changedCells != 0) report_("cells changed other than by a shot");
  if (hits != firedShipSquares) report_("hit counters out of step with the squares fired at");
  if (sunk != sunkShips) {
    report_("sunk count " + std::to_string(sunk) + ", ships sunk " + std::to_string(sunkShips));
  }
  return firedSquares;
}

void InvariantChecker::CheckPlacement(const Grid& grid) {
  const auto untouched = [](const auto& row) {
    return std::all_of(row.begin(), row.end(), [](char cell) { return cell == '\0'; });
  };
  if (std::all_of(grid.begin(), grid.end(), untouched)) return;  // not yet filled with water
  for (int r = 1; r <= 10; ++r) {
    for (int c = 1; c <= 10; ++c) {
      const char cell = CellOf(grid, r, c);
      if (cell != waterMark && ShipOfLetter(cell) == nullptr) report_("an unknown cell code");
    }
  }
  for (const ShipInfo& ship : keelmark::fleet) {
    std::vector<Square> squares;
    for (int r = 1; r <= 10; ++r)
      for (int c = 1; c <= 10; ++c)
        if (CellOf(grid, r, c) == ship.letter) squares.push_back({r, c});
    if (squares.empty()) continue;
    // Collected row by row, so a straight run goes from the first to the last.
    const Square first = squares.front(), last = squares.back();
    const bool oneColumn = std::all_of(squares.begin(), squares.end(),
                                       [&](const Square& s) { return s.column == first.column; });
    const int span = ship.length - 1;
    const bool straight = (first.row == last.row && last.column - first.column == span) ||
                          (oneColumn && last.row - first.row == span);
    if (static_cast<int>(squares.size()) != ship.length || !straight) {
      report_(std::string(ship.name) + " is not whole in one line in placement");
    }
  }
}

}  // namespace keelmark::testing
