#pragma once
// The terminal device for POSIX terminals, on the wide-character ncurses.
// Cells are shown as their CP437 glyphs, console colours are mapped onto the
// ANSI palette, keys come back with the PC scan codes the game's console
// rules expect, and xterm mouse reports become button changes.
//
// Whatever way the process leaves (the end of the game, "quit", a signal sent
// from outside, a crash), the terminal is handed back as it was found: modes,
// mouse reporting, cursor, colours and the shell's screen.

#include <array>
#include <deque>

#include "presentation/terminal.h"

namespace keelmark {

class NcursesTerminal : public Terminal {
 public:
  NcursesTerminal();
  ~NcursesTerminal() override;

  NcursesTerminal(const NcursesTerminal&) = delete;
  NcursesTerminal& operator=(const NcursesTerminal&) = delete;

  TerminalSize Size() const override;
  void WriteCells(int row, int column, std::string_view bytes, int attribute) override;
  void PlaceCursor(int row, int column) override;
  void SetCursorVisible(bool visible) override;
  void EnableMouse() override;
  void Flush() override;
  InputEvent NextEvent() override;

 private:
  struct Rendition {
    short pair = 0;
    unsigned int attributes = 0;  // attr_t, kept free of curses.h here
  };

  Rendition RenditionOf(int attribute);
  void MoveToPlacedCursor();
  // One key read from curses, turned into zero or more events.
  void TranslateKey(int status, unsigned int key);
  void TranslateMouse();
  // One mouse report: the buttons pressed and released, at a 1-based cell.
  void TranslateMouseReport(unsigned long changes, int row, int column);
  void TranslateEscape();

  bool sixteenColours_ = false;
  bool hasColours_ = false;
  // Colour pair for each (background, foreground) pair of ANSI colours,
  // allocated the first time it is used; -1 while not yet allocated.
  std::array<short, 256> pairOfColours_{};
  short nextPair_ = 1;
  int cursorRow_ = 1;
  int cursorColumn_ = 1;
  int buttonState_ = 0;
  int failedReads_ = 0;
  std::deque<InputEvent> pending_;
};

}  // namespace keelmark
