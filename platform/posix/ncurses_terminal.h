#pragma once
// The terminal device for POSIX terminals. Output goes through the
// wide-character ncurses: cells are shown as their CP437 glyphs and console
// colours are mapped onto the ANSI palette. Input is read from the terminal
// as it arrives and decoded by the game's own InputDecoder (TerminalInput),
// so that a byte the locale cannot decode is one key and never holds up the
// keys after it, and a double click is timed as the player made it.
//
// Whatever way the process leaves (the end of the game, "quit", a signal sent
// from outside, a crash), the terminal is handed back as it was found: modes,
// mouse reporting, cursor, colours and the shell's screen. After a stop and
// continue the game takes the terminal back and repaints.
//
// Without a terminal to play on, or on one that cannot place the cursor, the
// constructor says why in one line and ends the process with status 1.

#include <array>
#include <memory>
#include <string>

#include <termios.h>

#include "platform/posix/terminal_input.h"
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
  void Clear(int attribute) override;
  void ScrollUp(int attribute) override;
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
  // Runs a curses erase or scroll with blanks of the attribute as the
  // window's background, which is what curses fills with.
  template <typename Change>
  void ChangeWithBlanks(int attribute, Change change);
  void MoveToPlacedCursor();
  // Brings the screen up to date, the cursor where the game placed it.
  void Refresh();
  // Acts on what the signal handlers noted: a continue, a window change.
  void HandleNotedSignals();
  void TakeTerminalBack();
  void AdoptWindowSize();

  int inputFd_ = -1;
  int outputFd_ = -1;
  termios programModes_{};
  bool haveProgramModes_ = false;
  bool mouseOn_ = false;
  bool cursorVisible_ = false;
  std::string mouseOnBytes_;
  bool sixteenColours_ = false;
  bool hasColours_ = false;
  // Colour pair for each (background, foreground) pair of ANSI colours,
  // allocated the first time it is used; -1 while not yet allocated.
  std::array<short, 256> pairOfColours_{};
  short nextPair_ = 1;
  int cursorRow_ = 1;
  int cursorColumn_ = 1;
  std::unique_ptr<TerminalInput> input_;
  // The screen was blanked for a new size: the next event says so.
  bool resizePending_ = false;
};

}  // namespace keelmark
