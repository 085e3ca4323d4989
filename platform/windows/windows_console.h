#pragma once
// The terminal device on the Windows console: cells written straight into
// the screen buffer, keys and mouse clicks read as console input records.
//
// Whatever way the process leaves (the end of the game, "quit", closing the
// window, a crash), the console is handed back with the modes, cursor and
// colours it had when the game started.
//
// Without a console to play in (started detached, or with no console input)
// the constructor says so in one line and ends the process with status 1.

#include <windows.h>

#include <deque>

#include "presentation/terminal.h"

namespace keelmark {

class WindowsConsole : public Terminal {
 public:
  WindowsConsole();
  ~WindowsConsole() override;

  WindowsConsole(const WindowsConsole&) = delete;
  WindowsConsole& operator=(const WindowsConsole&) = delete;

  TerminalSize Size() const override;
  void WriteCells(int row, int column, std::string_view bytes, int attribute) override;
  void Clear(int attribute) override;
  void ScrollUp(int attribute) override;
  void SetTextAttribute(int attribute) override;
  void PlaceCursor(int row, int column) override;
  void SetCursorVisible(bool visible) override;
  void EnableMouse() override;
  void Flush() override {}
  InputEvent NextEvent() override;

 private:
  void ReadRecords();
  TerminalSize QuerySize() const;
  bool SizeChanged();

  HANDLE output_ = INVALID_HANDLE_VALUE;
  HANDLE input_ = INVALID_HANDLE_VALUE;
  DWORD cursorSize_ = 10;
  // The buffer's size as last told to the game: looked at again only while
  // the game waits, so that writing costs no extra call.
  TerminalSize size_;
  std::deque<InputEvent> pending_;
};

}  // namespace keelmark
