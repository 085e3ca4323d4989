// How the game's screen work scales with the console's buffer, which the
// classic Windows console makes 9001 rows tall by default. Gives this
// console's screen buffer the size asked for, then either
//
//   console_buffer_probe COLUMNS ROWS device RESULT_FILE [once]
//     clears the screen and scrolls it with the game's own console over the
//     Windows device, timing many of each (only one of each with "once").
//     One clear and one scroll are bracketed by
//     OutputDebugStringA("keelmark-probe: ...") marks, so that a relay trace
//     of this process tells which console calls each made.
//
//   console_buffer_probe COLUMNS ROWS game RESULT_FILE GAME.EXE
//     runs the game in this console, types "auto" at the introduction and a
//     shot at round 1, and times the run from "auto" to the round 2 line,
//     then types "quit". The game's process id goes to the result file so
//     that a relay trace can be cut down to the game's calls.
//
// The figures go to RESULT_FILE as "name value" lines; the console itself is
// the game's to draw on.

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/windows/windows_console.h"
#include "presentation/console.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

HANDLE OpenConsoleOutput() {
  return CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

// The window must fit inside the buffer, so a buffer smaller than the window
// takes a smaller window first.
bool SetBufferSize(HANDLE output, int columns, int rows) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(output, &info)) return false;
  const SMALL_RECT window{0, 0, static_cast<SHORT>(std::min<int>(columns, info.srWindow.Right -
                                                                               info.srWindow.Left + 1) -
                                                   1),
                          static_cast<SHORT>(std::min<int>(rows, info.srWindow.Bottom -
                                                                     info.srWindow.Top + 1) -
                                             1)};
  SetConsoleWindowInfo(output, TRUE, &window);
  if (!SetConsoleScreenBufferSize(output, COORD{static_cast<SHORT>(columns), static_cast<SHORT>(rows)})) {
    return false;
  }
  return GetConsoleScreenBufferInfo(output, &info) && info.dwSize.X == columns && info.dwSize.Y == rows;
}

void Mark(const char* what) { OutputDebugStringA((std::string("keelmark-probe: ") + what).c_str()); }

// Repeats an operation until it has taken a second (at least 3 times), and
// gives the mean in milliseconds.
template <typename Operation>
double MeanMilliseconds(Operation operation) {
  int count = 0;
  const Clock::time_point start = Clock::now();
  do {
    operation();
    ++count;
  } while (count < 3 || (MillisecondsSince(start) < 1000.0 && count < 1000));
  return MillisecondsSince(start) / count;
}

int MeasureDevice(std::FILE* result, bool once) {
  keelmark::WindowsConsole device;
  keelmark::Console console(device);
  console.ClearScreen();

  Mark("clear");
  console.ClearScreen();
  Mark("clear done");
  // At the bottom row a line end scrolls once.
  console.MoveCursor(console.Height(), 1);
  Mark("scroll");
  console.EndLine();
  Mark("scroll done");
  if (once) return 0;

  const double clearMs = MeanMilliseconds([&] { console.ClearScreen(); });
  const double scrollMs = MeanMilliseconds([&] {
    console.MoveCursor(console.Height(), 1);
    console.EndLine();
  });
  std::fprintf(result, "size %dx%d\nclear_ms %.3f\nscroll_ms %.3f\n", console.Width(),
               console.Height(), clearMs, scrollMs);
  return 0;
}

// The text at a 1-based cell of the screen buffer.
std::string TextAt(HANDLE output, int row, int column, int length) {
  std::string text(static_cast<std::size_t>(length), ' ');
  DWORD read = 0;
  ReadConsoleOutputCharacterA(output, text.data(), static_cast<DWORD>(length),
                              COORD{static_cast<SHORT>(column - 1), static_cast<SHORT>(row - 1)}, &read);
  text.resize(read);
  return text;
}

// Waits until the screen shows `expected` at the cell, polling each
// millisecond; false after the time limit.
bool WaitForText(HANDLE output, int row, int column, std::string_view expected, double limitMs) {
  const Clock::time_point start = Clock::now();
  while (TextAt(output, row, column, static_cast<int>(expected.size())) != expected) {
    if (MillisecondsSince(start) > limitMs) return false;
    Sleep(1);
  }
  return true;
}

// Key presses and releases, one pair a character, as a keyboard would give.
void Type(std::string_view text) {
  HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  for (const char c : text) {
    INPUT_RECORD records[2]{};
    for (int k = 0; k < 2; ++k) {
      records[k].EventType = KEY_EVENT;
      KEY_EVENT_RECORD& key = records[k].Event.KeyEvent;
      key.bKeyDown = k == 0 ? TRUE : FALSE;
      key.wRepeatCount = 1;
      key.wVirtualKeyCode = c == '\r' ? VK_RETURN : static_cast<WORD>(c >= 'a' && c <= 'z' ? c - 32 : c);
      key.uChar.AsciiChar = c;
    }
    DWORD written = 0;
    WriteConsoleInputA(input, records, 2, &written);
  }
  CloseHandle(input);
}

int MeasureGame(std::FILE* result, HANDLE output, const char* game) {
  std::string commandLine = game;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(result, "error could not start %s\n", game);
    return 1;
  }
  std::fprintf(result, "game_pid %04lx\n", static_cast<unsigned long>(process.dwProcessId));

  int status = 0;
  if (!WaitForText(output, 3, 1, "Press any key to continue.", 60000)) {
    std::fprintf(result, "error no introduction\n");
    status = 1;
  } else {
    const Clock::time_point typed = Clock::now();
    // Typed ahead: the game takes keys that came while it was busy.
    Type("auto\rc7\r");
    if (WaitForText(output, 1, 60, "Round       2 ", 120000)) {
      std::fprintf(result, "auto_to_round_2_ms %.1f\n", MillisecondsSince(typed));
    } else {
      std::fprintf(result, "error no round 2\n");
      status = 1;
    }
  }
  Type("quit\r");
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    std::fprintf(result, "error the game did not end after quit\n");
    status = 1;
  }
  DWORD exitCode = 255;
  GetExitCodeProcess(process.hProcess, &exitCode);
  std::fprintf(result, "game_status %lu\n", static_cast<unsigned long>(exitCode));
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s COLUMNS ROWS device|game RESULT_FILE [once|GAME.EXE]\n", argv[0]);
    return 2;
  }
  const int columns = std::atoi(argv[1]);
  const int rows = std::atoi(argv[2]);
  const std::string_view mode = argv[3];
  std::FILE* result = std::fopen(argv[4], "w");
  if (result == nullptr) return 2;

  HANDLE output = OpenConsoleOutput();
  int status = 2;
  if (!SetBufferSize(output, columns, rows)) {
    std::fprintf(result, "error the buffer could not be made %dx%d\n", columns, rows);
  } else if (mode == "device") {
    status = MeasureDevice(result, argc == 6 && std::string_view(argv[5]) == "once");
  } else if (mode == "game" && argc == 6) {
    status = MeasureGame(result, output, argv[5]);
  } else {
    std::fprintf(result, "error unknown mode\n");
  }
  std::fclose(result);
  return status;
}
