#pragma once
// The two boards and the shot marks. The target board puts square
// (row, column) at the same screen cell, which is what lets a click name it.

#include <functional>

#include "presentation/console.h"

namespace keelmark {

// One cell of the player's grid by row and column, 1..10 each: the grid
// belongs to the game, the board only reads it.
using CellReader = std::function<char(int row, int column)>;

void DrawTargetBoard(Console& console);
void DrawHomeBoard(Console& console, const CellReader& playerCell);
void MarkTargetShot(Console& console, int row, int column, bool hit);
void MarkHomeShot(Console& console, int row, int column, bool hit);

}  // namespace keelmark
