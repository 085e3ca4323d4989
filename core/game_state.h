#pragma once
// The state of one game: two grids of one-character cells, the fleet, the
// counters. Rows are letters (A = 1), columns numbers; always row first.

#include <array>
#include <cstdint>
#include <string_view>

namespace keelmark {

constexpr char waterMark = ' ';
constexpr char firedMark = '0';

enum class ShipType { Destroyer, Submarine, Cruiser, BattleShip, Carrier };
constexpr int shipTypeCount = 5;

struct ShipInfo {
  ShipType type;
  std::string_view name;    // as the prompts name it
  char letter;
  int length;
};

// In placement order.
constexpr std::array<ShipInfo, shipTypeCount> fleet = {{
    {ShipType::Destroyer, "destroyer", 'D', 2},
    {ShipType::Submarine, "submarine", 'S', 3},
    {ShipType::Cruiser, "cruiser", 'R', 3},
    {ShipType::BattleShip, "battle ship", 'B', 4},
    {ShipType::Carrier, "carrier", 'C', 5},
}};

// The ship whose letter this is, or nullptr for any other code.
const ShipInfo* ShipOfLetter(char letter);

enum class ShotOutcome { AlreadyFired, Miss, Hit, Sunk };

// One character a cell, row by row; see CellOf for 1-based access.
using Grid = std::array<std::array<char, 10>, 10>;
using ShipHits = std::array<std::int32_t, shipTypeCount>;

struct Square {
  std::int32_t row = 0;
  std::int32_t column = 0;
  bool operator==(const Square&) const = default;
};

inline bool IsOnGrid(Square square) {
  return square.row >= 1 && square.row <= 10 && square.column >= 1 && square.column <= 10;
}

// The four directions of the draw (1, 4): 1 up, 2 down, 3 left, 4 right,
// each with its step and the number of the opposite direction.
struct Direction {
  int rowStep;
  int columnStep;
  int reverse;
};

inline const Direction& DirectionOf(int number) {
  static constexpr Direction directions[] = {{-1, 0, 2}, {1, 0, 1}, {0, -1, 4}, {0, 1, 3}};
  // Numbers outside 1 to 3 walk right, as a direction not yet drawn (0)
  // always has.
  return directions[number >= 1 && number <= 3 ? number - 1 : 3];
}

inline Square Step(Square square, const Direction& direction, int count) {
  return {square.row + count * direction.rowStep, square.column + count * direction.columnStep};
}

struct GameState {
  Grid playerGrid{};
  Grid computerGrid{};
  ShipHits playerShipHits{};
  ShipHits computerShipHits{};
  std::int32_t playerShipsSunk = 0;
  std::int32_t computerShipsSunk = 0;
  std::int32_t roundNumber = 0;
  std::int32_t autoPlacement = 0;
};

// Cell access with 1-based row and column, both 1..10.
inline char& CellOf(Grid& grid, int row, int column) { return grid[row - 1][column - 1]; }
inline char CellOf(const Grid& grid, int row, int column) { return grid[row - 1][column - 1]; }
// A reader of the grid's cells for the board drawing; the grid must outlive it.
inline auto CellsOf(const Grid& grid) {
  return [&grid](int row, int column) { return CellOf(grid, row, column); };
}

void FillWithWater(Grid& grid);

// Fires at one square: the cell becomes firedMark and the counters of the
// side fired at (hits) and of the side that fired (sunk) move on. The ship
// hit, if any, is left in *shipHit.
ShotOutcome ResolveShot(Grid& grid, ShipHits& hits, std::int32_t& shipsSunk, int row,
                        int column, const ShipInfo** shipHit = nullptr);

}  // namespace keelmark
