#include "tests/doubles/grid_checks.h"

#include <algorithm>
#include <string>
#include <vector>

namespace keelmark::testing {

int CountCells(const Grid& grid, char code) {
  int n = 0;
  for (int r = 1; r <= 10; ++r)
    for (int c = 1; c <= 10; ++c) n += (CellOf(grid, r, c) == code);
  return n;
}

namespace {
std::string Picture(const Grid& grid) {
  std::string out = "\n";
  for (int r = 1; r <= 10; ++r) {
    out += static_cast<char>('A' + r - 1);
    out += " |";
    for (int c = 1; c <= 10; ++c) {
      const char cell = CellOf(grid, r, c);
      out += cell == waterMark ? '.' : cell;
    }
    out += "|\n";
  }
  return out;
}
}  // namespace

::testing::AssertionResult FleetIsWellFormed(const Grid& grid) {
  const int water = CountCells(grid, waterMark);
  if (water != 83) {
    return ::testing::AssertionFailure() << water << " water cells, not 83" << Picture(grid);
  }
  for (const ShipInfo& ship : fleet) {
    std::vector<Square> squares;
    for (int r = 1; r <= 10; ++r)
      for (int c = 1; c <= 10; ++c)
        if (CellOf(grid, r, c) == ship.letter) squares.push_back({r, c});
    if (static_cast<int>(squares.size()) != ship.length) {
      return ::testing::AssertionFailure()
             << ship.name << " has " << squares.size() << " squares" << Picture(grid);
    }
    // Squares were collected row by row, so a straight run goes from the
    // first to the last, spanning the ship's length along a row or a column.
    const Square first = squares.front(), last = squares.back();
    const bool oneColumn = std::all_of(squares.begin(), squares.end(),
                                       [&](const Square& s) { return s.column == first.column; });
    if (!(first.row == last.row && last.column - first.column == ship.length - 1) &&
        !(oneColumn && last.row - first.row == ship.length - 1)) {
      return ::testing::AssertionFailure() << ship.name << " is not one straight run" << Picture(grid);
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace keelmark::testing
