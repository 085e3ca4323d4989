// Runs the game in this console after giving the console settings the game
// would never choose itself, then writes what the console had before and
// after, and the game's exit status, to console_state.txt in the current
// folder. Exits with 0 when the game ended with 0 and handed everything back.
// Usage: console_state_probe GAME.EXE

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct ConsoleState {
  DWORD inputMode = 0;
  DWORD outputMode = 0;
  CONSOLE_CURSOR_INFO cursor{};
  WORD attributes = 0;
};

ConsoleState Read(HANDLE input, HANDLE output) {
  ConsoleState state;
  GetConsoleMode(input, &state.inputMode);
  GetConsoleMode(output, &state.outputMode);
  GetConsoleCursorInfo(output, &state.cursor);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(output, &info);
  state.attributes = info.wAttributes;
  return state;
}

void Write(std::FILE* file, const char* label, const ConsoleState& state) {
  std::fprintf(file, "%s input mode 0x%lx output mode 0x%lx cursor size %lu visible %d attributes 0x%x\n",
               label, static_cast<unsigned long>(state.inputMode),
               static_cast<unsigned long>(state.outputMode),
               static_cast<unsigned long>(state.cursor.dwSize), state.cursor.bVisible ? 1 : 0,
               static_cast<unsigned>(state.attributes));
}

// A Ctrl+C typed into the console goes to every process in it; the game
// must survive it on its own, and this one must stay to see the end.
BOOL WINAPI IgnoreInterrupts(DWORD controlType) {
  return controlType == CTRL_C_EVENT || controlType == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

bool Same(const ConsoleState& a, const ConsoleState& b) {
  return a.inputMode == b.inputMode && a.outputMode == b.outputMode &&
         a.cursor.dwSize == b.cursor.dwSize && (a.cursor.bVisible != 0) == (b.cursor.bVisible != 0) &&
         a.attributes == b.attributes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  SetConsoleCtrlHandler(IgnoreInterrupts, TRUE);
  HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE output = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);

  // Line input with echo, output without wrapping, a tall hidden cursor,
  // yellow on blue: none of them what the game sets.
  SetConsoleMode(input, ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
  SetConsoleMode(output, ENABLE_PROCESSED_OUTPUT);
  const CONSOLE_CURSOR_INFO tallHidden{50, FALSE};
  SetConsoleCursorInfo(output, &tallHidden);
  SetConsoleTextAttribute(output, 0x1E);
  const ConsoleState before = Read(input, output);

  std::string commandLine = argv[1];
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  DWORD status = 255;
  if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  const ConsoleState after = Read(input, output);

  std::FILE* file = std::fopen("console_state.txt", "w");
  if (file == nullptr) return 3;
  std::fprintf(file, "status %lu\n", static_cast<unsigned long>(status));
  Write(file, "before", before);
  Write(file, "after", after);
  std::fclose(file);
  return status == 0 && Same(before, after) ? 0 : 1;
}
