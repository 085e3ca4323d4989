// Clicks and keys for the Wine tests, put into the console's input as the
// console itself would put them there, so that the game reads them with
// ReadConsoleInputA as on Windows. Started in the game's console, it follows
// a file of commands, one a line and each ended by ";" (so that a line still
// being written is left for the next look), as the test appends them:
//   click ROW COLUMN     a left press and release at that cell (counted from 1)
//   double ROW COLUMN    a double click there: press, release, press with
//                        DOUBLE_CLICK, release, as the console reports it
//   ctrl-c               Ctrl+C as a key, down and up
//   end                  stop
// After each command it appends the command's number and the count of
// records the console took to the second file.
// Usage: console_input_injector COMMANDS DONE

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

INPUT_RECORD Mouse(int row, int column, DWORD buttons, DWORD flags) {
  INPUT_RECORD record{};
  record.EventType = MOUSE_EVENT;
  record.Event.MouseEvent.dwMousePosition = {static_cast<SHORT>(column - 1), static_cast<SHORT>(row - 1)};
  record.Event.MouseEvent.dwButtonState = buttons;
  record.Event.MouseEvent.dwEventFlags = flags;
  return record;
}

INPUT_RECORD CtrlC(BOOL down) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = down;
  record.Event.KeyEvent.wRepeatCount = 1;
  record.Event.KeyEvent.wVirtualKeyCode = 'C';
  record.Event.KeyEvent.wVirtualScanCode = 0x2E;
  record.Event.KeyEvent.uChar.AsciiChar = 3;
  record.Event.KeyEvent.dwControlKeyState = LEFT_CTRL_PRESSED;
  return record;
}

std::vector<INPUT_RECORD> RecordsOf(const std::string& command) {
  std::istringstream words(command);
  std::string verb;
  int row = 0, column = 0;
  words >> verb >> row >> column;
  const DWORD left = FROM_LEFT_1ST_BUTTON_PRESSED;
  if (verb == "click") return {Mouse(row, column, left, 0), Mouse(row, column, 0, 0)};
  if (verb == "double")
    return {Mouse(row, column, left, 0), Mouse(row, column, 0, 0), Mouse(row, column, left, DOUBLE_CLICK),
            Mouse(row, column, 0, 0)};
  if (verb == "ctrl-c") return {CtrlC(TRUE), CtrlC(FALSE)};
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  // A Ctrl+C for the game goes to every process in its console.
  SetConsoleCtrlHandler(nullptr, TRUE);
  HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return 3;
  std::size_t done = 0;
  for (;;) {
    std::ifstream commands(argv[1]);
    std::string line;
    for (std::size_t number = 0; std::getline(commands, line); ++number) {
      if (number < done || line.empty() || line.back() != ';') continue;
      line.pop_back();
      if (line == "end") return 0;
      const std::vector<INPUT_RECORD> records = RecordsOf(line);
      DWORD written = 0;
      if (!records.empty())
        WriteConsoleInputA(input, records.data(), static_cast<DWORD>(records.size()), &written);
      done = number + 1;
      if (std::FILE* file = std::fopen(argv[2], "a")) {
        std::fprintf(file, "%zu %lu\n", done, static_cast<unsigned long>(written));
        std::fclose(file);
      }
    }
    Sleep(20);
  }
}
