// Runs the game in this console after giving the console settings the game
// would never choose itself, then writes what the console had before and
// after, and the game's exit status, to console_state.txt in the current
// folder. Exits with 0 when the game ended with 0 and handed everything back.
// Usage: console_state_probe GAME.EXE

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The console settings the game may change, as one line of text.
std::string Describe(HANDLE input, HANDLE output) {
  DWORD inputMode = 0, outputMode = 0;
  GetConsoleMode(input, &inputMode);
  GetConsoleMode(output, &outputMode);
  CONSOLE_CURSOR_INFO cursor{};
  GetConsoleCursorInfo(output, &cursor);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(output, &info);
  char text[160];
  std::snprintf(text, sizeof text,
                "input mode 0x%lx output mode 0x%lx cursor size %lu visible %d attributes 0x%x",
                static_cast<unsigned long>(inputMode), static_cast<unsigned long>(outputMode),
                static_cast<unsigned long>(cursor.dwSize), cursor.bVisible ? 1 : 0,
                static_cast<unsigned>(info.wAttributes));
  return text;
}

// A Ctrl+C typed into the console goes to every process in it; the game
// must survive it on its own, and this one must stay to see the end.
BOOL WINAPI IgnoreInterrupts(DWORD controlType) {
  return controlType == CTRL_C_EVENT || controlType == CTRL_BREAK_EVENT ? TRUE : FALSE;
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
  const std::string before = Describe(input, output);

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
  const std::string after = Describe(input, output);

  std::FILE* file = std::fopen("console_state.txt", "w");
  if (file == nullptr) return 3;
  std::fprintf(file, "status %lu\nbefore %s\nafter %s\n", static_cast<unsigned long>(status), before.c_str(),
               after.c_str());
  std::fclose(file);
  return status == 0 && before == after ? 0 : 1;
}
