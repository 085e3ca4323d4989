#pragma once
// The console operations the game is written against, with the exact rules
// the screen layout relies on: pending wrap on the bottom row, scrolling,
// print zones, both number forms, colour changes and the classification of
// keys and mouse events. The console keeps its own copy of every cell so a
// resized window can be repainted without asking the game.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "presentation/terminal.h"

namespace keelmark {

// The 16 console colours: blue 1, green 2, red 4, and intensity 8 added.
enum ConsoleColour : int {
  Black = 0, Blue = 1, Green = 2, Cyan = 3, Red = 4, Magenta = 5, Brown = 6, LightGrey = 7,
  DarkGrey = 8, LightBlue = 9, LightGreen = 10, LightCyan = 11, LightRed = 12,
  LightMagenta = 13, Yellow = 14, White = 15,
};
// A colour argument that leaves that colour as it is.
constexpr int keepColour = -1;

// Mouse event kinds as WaitKey reports them (a mouse event is 255, 255, the
// kind and the button) and as SelectMouseEvents takes them; the buttons and
// the characters of Enter and Backspace are the device's (terminal.h).
enum MouseKind : int { MoveEvent = 1, OtherMouseEvent = 2, PressEvent = 4, ReleaseEvent = 8 };

// A sign place (blank or "-") and the digits.
std::string NumberText(std::int64_t value);

// The PC scan code of a letter key, or 0 for anything else.
int ScanCodeOfLetter(int character);

struct Cell {
  unsigned char character = ' ';
  unsigned char attribute = 0x07;
};

class Console {
 public:
  explicit Console(Terminal& terminal);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Takes the device's present size as the screen size and resizes the cell
  // copy. The game does this before it draws anything that depends on it.
  void AdoptTerminalSize();

  void ClearScreen();
  void MoveCursor(int row, int column);
  void SetColors(int foreground, int background);
  void PrintText(std::string_view text);
  void EndLine();
  void NextPrintZone();
  void PrintNumber(std::int64_t value);
  void ShowCursor();
  void EnableMouseInput();
  void SelectMouseEvents(int buttonMask, int kindMask);

  // The next key press or selected mouse event as 1, 2 or 4 characters.
  std::string WaitKey();
  // As WaitKey, but also returns (empty) when the window changed size.
  std::optional<std::string> WaitKeyOrResize();

  int MouseRow() const { return mouseRow_; }
  int MouseColumn() const { return mouseColumn_; }

  void Flush();

  // What the screen holds, for repainting and for tests.
  const Cell& CellAt(int row, int column) const;
  int CursorRow() const { return cursorRow_; }
  int CursorColumn() const { return cursorColumn_; }
  int Foreground() const { return foreground_; }
  int Background() const { return background_; }
  bool PendingWrap() const { return pendingWrap_; }

 private:
  int Attribute() const { return background_ * 16 + foreground_; }
  void WriteRun(std::string_view run);
  void ScrollUp();
  void RepaintAll();
  std::optional<std::string> Classify(const InputEvent& event);
  std::optional<std::string> NextKey(bool returnOnResize);

  Terminal& terminal_;
  int width_ = 80;
  int height_ = 25;
  std::vector<Cell> cells_;
  int cursorRow_ = 1;
  int cursorColumn_ = 1;
  bool pendingWrap_ = false;
  int foreground_ = LightGrey;
  int background_ = Black;
  bool mouseEnabled_ = false;
  int selectedButtons_ = 0;
  int selectedKinds_ = 0;
  int previousButtons_ = 0;
  int mouseRow_ = 0;
  int mouseColumn_ = 0;
};

}  // namespace keelmark
