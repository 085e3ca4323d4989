#include "presentation/board_view.h"

#include <string>

namespace keelmark {

namespace {

constexpr int homeBoardTop = 12;
constexpr int letterColumn = 15;
constexpr int shipColour = Green;
constexpr int waterColour = LightGrey;

std::string RowLetter(int row) { return std::string(1, static_cast<char>(64 + row)); }

}  // namespace

// The target board takes whatever colour is current: it must look the same
// after manual placement as the canvas the player placed on.
void DrawTargetBoard(Console& console) {
  for (int column = 1; column <= 10; ++column) {
    for (int row = 1; row <= 10; ++row) {
      console.MoveCursor(row, column);
      console.PrintText("x");
      console.EndLine();
    }
    console.MoveCursor(column, letterColumn);
    console.PrintText(RowLetter(column));
    console.EndLine();
  }
  console.MoveCursor(11, 1);
  console.PrintText("1234567890");
  console.EndLine();
}

void DrawHomeBoard(Console& console, const CellReader& playerCell) {
  for (int row = 1; row <= 10; ++row) {
    for (int column = 1; column <= 10; ++column) {
      console.MoveCursor(homeBoardTop + row, column);
      const char cell = playerCell(row, column);
      if (cell != ' ') {
        console.SetColors(shipColour, keepColour);
        console.PrintText(std::string(1, cell));
      } else {
        console.SetColors(waterColour, keepColour);
        console.PrintText("X");
      }
      console.EndLine();
    }
    console.SetColors(waterColour, keepColour);
    console.MoveCursor(homeBoardTop + row, letterColumn);
    console.PrintText(RowLetter(row));
    console.EndLine();
  }
  console.MoveCursor(23, 1);
  console.PrintText("1234567890");
  console.EndLine();
}

namespace {

void MarkShot(Console& console, int screenRow, int column, int colour, const char* glyph) {
  console.MoveCursor(screenRow, column);
  console.SetColors(colour, keepColour);
  console.PrintText(glyph);
  console.EndLine();
}

}  // namespace

// The target board shows water and ship in different colours and glyphs;
// it never tells a sunk ship from a damaged one.
void MarkTargetShot(Console& console, int row, int column, bool hit) {
  if (hit) MarkShot(console, row, column, Blue, "o");
  else MarkShot(console, row, column, Red, "0");
}

void MarkHomeShot(Console& console, int row, int column, bool hit) {
  if (hit) MarkShot(console, homeBoardTop + row, column, LightBlue, "O");
  else MarkShot(console, homeBoardTop + row, column, LightRed, "0");
}

}  // namespace keelmark
