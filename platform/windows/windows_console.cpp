#include "platform/windows/windows_console.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "platform/input/console_records.h"

namespace keelmark {

namespace {

constexpr DWORD processedWrappedOutput = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
// No line input, no echo, no processed input: keys arrive one by one, and
// Ctrl+C is a key like any other instead of a signal.
constexpr DWORD rawInput = 0;
constexpr DWORD defaultCursorSize = 10;
// With the input mode the game uses, a console reports no change of its
// buffer size, so the size is also looked at this often while nothing comes.
constexpr DWORD sizeCheckMilliseconds = 250;

// What the console had when the game started, for every way out. Written
// once before any handler that reads it is installed.
struct SavedConsole {
  HANDLE output = INVALID_HANDLE_VALUE;
  HANDLE input = INVALID_HANDLE_VALUE;
  bool haveOutputMode = false;
  bool haveInputMode = false;
  bool haveCursor = false;
  bool haveAttributes = false;
  DWORD outputMode = 0;
  DWORD inputMode = 0;
  CONSOLE_CURSOR_INFO cursor{};
  WORD attributes = 0;
};

SavedConsole saved;
volatile LONG consoleRestored = 0;
LPTOP_LEVEL_EXCEPTION_FILTER previousCrashFilter = nullptr;

// Only console calls with values saved beforehand: this runs from the
// control handler's thread and from crash handlers too, and runs once.
void RestoreConsole() {
  if (InterlockedExchange(&consoleRestored, 1) != 0) return;
  if (saved.haveInputMode) {
    // QuickEdit and insert mode change only when the extended flag comes
    // with them; without it the player's QuickEdit would stay off.
    DWORD mode = saved.inputMode;
    if (mode & (ENABLE_QUICK_EDIT_MODE | ENABLE_INSERT_MODE)) mode |= ENABLE_EXTENDED_FLAGS;
    SetConsoleMode(saved.input, mode);
  }
  if (saved.haveOutputMode) SetConsoleMode(saved.output, saved.outputMode);
  if (saved.haveCursor) SetConsoleCursorInfo(saved.output, &saved.cursor);
  if (saved.haveAttributes) SetConsoleTextAttribute(saved.output, saved.attributes);
}

BOOL WINAPI OnControlEvent(DWORD controlType) {
  switch (controlType) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return TRUE;
    case CTRL_CLOSE_EVENT:
      // The process ends as soon as this returns, whatever it answers.
      RestoreConsole();
      return TRUE;
    default:
      return FALSE;
  }
}

LONG WINAPI OnCrash(EXCEPTION_POINTERS* exception) {
  RestoreConsole();
  return previousCrashFilter ? previousCrashFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

void OnAbort(int signalNumber) {
  RestoreConsole();
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// Waiting for keys that cannot come would hang the game for good.
[[noreturn]] void CannotPlay() {
  std::fputs("keelmark: there is no console to play in (the game was started without one, "
             "or the console's input cannot be read)\n",
             stderr);
  std::exit(1);
}

}  // namespace

WindowsConsole::WindowsConsole() {
  output_ = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!IsConsole(output_)) output_ = GetStdHandle(STD_ERROR_HANDLE);
  // Keys come from the console even when standard input is redirected.
  input_ = CreateFileA("CONIN$", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  if (!IsConsole(output_) || !IsConsole(input_)) CannotPlay();

  saved.output = output_;
  saved.input = input_;
  saved.haveOutputMode = GetConsoleMode(output_, &saved.outputMode) != 0;
  saved.haveInputMode = GetConsoleMode(input_, &saved.inputMode) != 0;
  saved.haveCursor = GetConsoleCursorInfo(output_, &saved.cursor) != 0;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(output_, &info)) {
    saved.haveAttributes = true;
    saved.attributes = info.wAttributes;
    size_ = {info.dwSize.Y, info.dwSize.X};
  }
  if (saved.haveCursor && saved.cursor.dwSize != 0) cursorSize_ = saved.cursor.dwSize;

  SetConsoleMode(output_, processedWrappedOutput);
  SetConsoleMode(input_, rawInput);
  SetConsoleCtrlHandler(OnControlEvent, TRUE);
  previousCrashFilter = SetUnhandledExceptionFilter(OnCrash);
  std::signal(SIGABRT, OnAbort);
}

WindowsConsole::~WindowsConsole() {
  RestoreConsole();
  std::signal(SIGABRT, SIG_DFL);
  SetUnhandledExceptionFilter(previousCrashFilter);
  SetConsoleCtrlHandler(OnControlEvent, FALSE);
  if (input_ != INVALID_HANDLE_VALUE) CloseHandle(input_);
}

TerminalSize WindowsConsole::Size() const { return size_; }

TerminalSize WindowsConsole::QuerySize() const {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(output_, &info)) return size_;
  return {info.dwSize.Y, info.dwSize.X};
}

void WindowsConsole::WriteCells(int row, int column, std::string_view bytes, int attribute) {
  // A buffer that shrank since is no harm: the console clips the write.
  const TerminalSize size = size_;
  if (row < 1 || row > size.rows || column < 1 || column > size.columns) return;
  const std::size_t room = static_cast<std::size_t>(size.columns - column + 1);
  const std::size_t length = std::min(room, bytes.size());
  if (length == 0) return;

  std::vector<CHAR_INFO> cells(length);
  for (std::size_t k = 0; k < length; ++k) {
    cells[k].Char.AsciiChar = bytes[k];
    cells[k].Attributes = static_cast<WORD>(attribute);
  }
  const SHORT top = static_cast<SHORT>(row - 1);
  const SHORT left = static_cast<SHORT>(column - 1);
  SMALL_RECT region{left, top, static_cast<SHORT>(left + static_cast<SHORT>(length) - 1), top};
  WriteConsoleOutputA(output_, cells.data(), COORD{static_cast<SHORT>(length), 1}, COORD{0, 0},
                      &region);
}

void WindowsConsole::Clear(int attribute) {
  const DWORD cells = static_cast<DWORD>(size_.rows) * static_cast<DWORD>(size_.columns);
  DWORD written = 0;
  FillConsoleOutputCharacterA(output_, ' ', cells, COORD{0, 0}, &written);
  FillConsoleOutputAttribute(output_, static_cast<WORD>(attribute), cells, COORD{0, 0}, &written);
  SetConsoleCursorPosition(output_, COORD{0, 0});
}

void WindowsConsole::ScrollUp(int attribute) {
  const SMALL_RECT rowsBelowTheTop{0, 1, static_cast<SHORT>(size_.columns - 1),
                                   static_cast<SHORT>(size_.rows - 1)};
  CHAR_INFO blank{};
  blank.Char.AsciiChar = ' ';
  blank.Attributes = static_cast<WORD>(attribute);
  ScrollConsoleScreenBufferA(output_, &rowsBelowTheTop, nullptr, COORD{0, 0}, &blank);
}

// Also what the console writes of its own accord (an echo, another
// program's text) comes out in the game's colours.
void WindowsConsole::SetTextAttribute(int attribute) {
  SetConsoleTextAttribute(output_, static_cast<WORD>(attribute));
}

void WindowsConsole::PlaceCursor(int row, int column) {
  SetConsoleCursorPosition(output_, COORD{static_cast<SHORT>(column - 1), static_cast<SHORT>(row - 1)});
}

void WindowsConsole::SetCursorVisible(bool visible) {
  const CONSOLE_CURSOR_INFO cursor{cursorSize_, visible ? TRUE : FALSE};
  SetConsoleCursorInfo(output_, &cursor);
}

// QuickEdit, on by default in Windows' consoles, turns a click into a text
// selection that the game never sees; the extended flag without it switches
// QuickEdit off while the game runs.
void WindowsConsole::EnableMouse() { SetConsoleMode(input_, ENABLE_MOUSE_INPUT | ENABLE_EXTENDED_FLAGS); }

bool WindowsConsole::SizeChanged() {
  const TerminalSize now = QuerySize();
  if (now.rows == size_.rows && now.columns == size_.columns) return false;
  size_ = now;
  return true;
}

InputEvent WindowsConsole::NextEvent() {
  for (;;) {
    if (!pending_.empty()) {
      const InputEvent event = pending_.front();
      pending_.pop_front();
      return event;
    }
    if (SizeChanged()) return InputEvent::Resized();
    // The input handle is signalled while records wait in it; the process
    // sleeps until then instead of looking every millisecond.
    const DWORD waited = WaitForSingleObject(input_, sizeCheckMilliseconds);
    if (waited == WAIT_OBJECT_0) {
      ReadRecords();
    } else if (waited != WAIT_TIMEOUT) {
      // No console to read from: nothing will come, but do not spin on it.
      Sleep(sizeCheckMilliseconds);
    }
  }
}

void WindowsConsole::ReadRecords() {
  INPUT_RECORD records[32];
  DWORD count = 0;
  if (!ReadConsoleInputA(input_, records, static_cast<DWORD>(std::size(records)), &count)) return;
  for (DWORD k = 0; k < count; ++k) {
    const INPUT_RECORD& record = records[k];
    switch (record.EventType) {
      case KEY_EVENT: {
        const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
        ConsoleKeyRecord plain;
        plain.keyDown = key.bKeyDown != 0;
        plain.repeatCount = key.wRepeatCount;
        plain.virtualKeyCode = key.wVirtualKeyCode;
        plain.virtualScanCode = key.wVirtualScanCode;
        plain.character = static_cast<unsigned char>(key.uChar.AsciiChar);
        plain.controlKeyState = key.dwControlKeyState;
        for (const InputEvent& event : EventsFromKeyRecord(plain)) pending_.push_back(event);
        break;
      }
      case MOUSE_EVENT: {
        const MOUSE_EVENT_RECORD& mouse = record.Event.MouseEvent;
        ConsoleMouseRecord plain;
        plain.x = mouse.dwMousePosition.X;
        plain.y = mouse.dwMousePosition.Y;
        plain.buttonState = mouse.dwButtonState;
        plain.controlKeyState = mouse.dwControlKeyState;
        plain.eventFlags = mouse.dwEventFlags;
        pending_.push_back(EventFromMouseRecord(plain));
        break;
      }
      case WINDOW_BUFFER_SIZE_EVENT:
        if (SizeChanged()) pending_.push_back(InputEvent::Resized());
        break;
      default:
        pending_.push_back(InputEvent{});
        break;
    }
  }
}

}  // namespace keelmark
