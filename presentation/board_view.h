#pragma once
// The two boards and the shot marks. The target board puts square
// (row, column) at the same screen cell, which is what lets a click name it.

#include <array>

#include "presentation/console.h"

namespace keelmark {

using CellGrid = std::array<std::array<char, 10>, 10>;

void DrawTargetBoard(Console& console);
void DrawHomeBoard(Console& console, const CellGrid& playerGrid);
void MarkTargetShot(Console& console, int row, int column, bool hit);
void MarkHomeShot(Console& console, int row, int column, bool hit);

}  // namespace keelmark
