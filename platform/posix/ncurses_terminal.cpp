#include "platform/posix/ncurses_terminal.h"

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <curses.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <termios.h>
#include <unistd.h>

#include "presentation/console.h"
#include "presentation/cp437.h"

namespace keelmark {
namespace {

// ---------------------------------------------------------------------------
// Handing the terminal back.
//
// Everything a signal handler touches is prepared in advance: the terminal
// modes as they were before curses changed them, and one byte string that
// switches off what curses switched on. The handler only writes, restores
// and re-raises.

constexpr int caughtSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGABRT,
                                 SIGSEGV, SIGBUS, SIGFPE, SIGILL};

int terminalFd = -1;
termios originalModes{};
volatile std::sig_atomic_t haveOriginalModes = 0;

char resetBytes[512];
volatile std::sig_atomic_t resetLength = 0;

// A crash from a runaway recursion leaves no stack for the handler.
alignas(16) char alternateStack[64 * 1024];

SCREEN* screen = nullptr;
FILE* ownTty = nullptr;

void WriteAll(int fd, const char* bytes, std::size_t length) {
  while (length > 0) {
    ssize_t written = write(fd, bytes, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
}

// Async-signal-safe: write() and tcsetattr() only.
void RestoreTerminalModes() {
  if (terminalFd < 0) return;
  std::sig_atomic_t length = resetLength;
  if (length > 0) {
    WriteAll(terminalFd, resetBytes, static_cast<std::size_t>(length));
  }
  if (haveOriginalModes) {
    tcsetattr(terminalFd, TCSANOW, &originalModes);
  }
}

extern "C" void RestoreAndReraise(int signalNumber) {
  int savedErrno = errno;
  RestoreTerminalModes();
  resetLength = 0;
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
  errno = savedErrno;
}

void InstallSignalHandlers() {
  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);

  for (int signalNumber : caughtSignals) {
    struct sigaction previous {};
    sigaction(signalNumber, nullptr, &previous);
    // A signal the caller chose to ignore (nohup, for one) stays ignored.
    if (previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = RestoreAndReraise;
    sigemptyset(&action.sa_mask);
    for (int other : caughtSignals) sigaddset(&action.sa_mask, other);
    action.sa_flags = SA_ONSTACK;
    sigaction(signalNumber, &action, nullptr);
  }
}

void RemoveSignalHandlers() {
  for (int signalNumber : caughtSignals) {
    struct sigaction current {};
    sigaction(signalNumber, nullptr, &current);
    if (current.sa_handler == RestoreAndReraise) signal(signalNumber, SIG_DFL);
  }
}

void AppendCapability(std::string& out, const char* name) {
  char* value = tigetstr(name);
  if (value != nullptr && value != reinterpret_cast<char*>(-1)) out += value;
}

// The bytes that undo curses' changes to the terminal, in the order a
// terminal needs them: first cancel any escape sequence cut off mid-way,
// then mouse reporting, keypad mode, attributes and cursor, and finally back
// to the shell's screen.
void PrepareResetBytes() {
  std::string out = "\030";
  out += "\033[?1000l\033[?1002l\033[?1003l\033[?1005l\033[?1006l\033[?1015l";
  AppendCapability(out, "rmkx");
  AppendCapability(out, "sgr0");
  AppendCapability(out, "op");
  AppendCapability(out, "cnorm");
  AppendCapability(out, "rmcup");
  if (out.size() > sizeof resetBytes) out.resize(sizeof resetBytes);
  std::memcpy(resetBytes, out.data(), out.size());
  resetLength = static_cast<std::sig_atomic_t>(out.size());
}

// ---------------------------------------------------------------------------
// Colours.

// Console colours count blue 1, green 2, red 4; ANSI counts red 1, green 2,
// blue 4. Intensity is 8 in both.
int AnsiColourOf(int consoleColour) {
  int ansi = (consoleColour & 2);
  if (consoleColour & 1) ansi |= 4;
  if (consoleColour & 4) ansi |= 1;
  return ansi | (consoleColour & 8);
}

// ---------------------------------------------------------------------------
// Keys.

// The scan codes the PC keyboard gives for the keys without a character.
int ScanCodeOfKey(int key) {
  switch (key) {
    case KEY_UP: return 0x48;
    case KEY_DOWN: return 0x50;
    case KEY_LEFT: return 0x4B;
    case KEY_RIGHT: return 0x4D;
    case KEY_HOME: case KEY_A1: return 0x47;
    case KEY_END: case KEY_C1: return 0x4F;
    case KEY_PPAGE: case KEY_A3: return 0x49;
    case KEY_NPAGE: case KEY_C3: return 0x51;
    case KEY_B2: return 0x4C;
    case KEY_IC: return 0x52;
    case KEY_DC: return 0x53;
    case KEY_F(11): return 0x85;
    case KEY_F(12): return 0x86;
    default: break;
  }
  if (key >= KEY_F(1) && key <= KEY_F(10)) return 0x3B + (key - KEY_F(1));
  // The same keys with Shift, Ctrl or Alt held come as extended keys whose
  // names start with the plain key's name ("kUP5" is Ctrl+Up); the console
  // reports them with the plain key's scan code.
  const char* name = keyname(key);
  if (name == nullptr) return 0;
  struct NamedKey {
    std::string_view prefix;
    int scanCode;
  };
  static constexpr NamedKey namedKeys[] = {
      {"kUP", 0x48},  {"kDN", 0x50},  {"kLFT", 0x4B}, {"kRIT", 0x4D},
      {"kHOM", 0x47}, {"kEND", 0x4F}, {"kPRV", 0x49}, {"kNXT", 0x51},
      {"kIC", 0x52},  {"kDC", 0x53},
  };
  std::string_view keyName(name);
  for (const NamedKey& named : namedKeys) {
    if (keyName.size() > named.prefix.size() && keyName.starts_with(named.prefix) &&
        keyName[named.prefix.size()] >= '2' && keyName[named.prefix.size()] <= '9') {
      return named.scanCode;
    }
  }
  return 0;
}

bool IsAsciiLetter(wint_t character) {
  return (character >= L'a' && character <= L'z') || (character >= L'A' && character <= L'Z');
}

}  // namespace

// ---------------------------------------------------------------------------

NcursesTerminal::NcursesTerminal() {
  pairOfColours_.fill(-1);
  std::setlocale(LC_ALL, "");

  // Keys come from the terminal even when standard input or output is
  // redirected, as the console did.
  FILE* input = stdin;
  FILE* output = stdout;
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
    ownTty = std::fopen("/dev/tty", "r+");
    if (ownTty != nullptr) input = output = ownTty;
  }
  terminalFd = fileno(output);
  if (tcgetattr(terminalFd, &originalModes) == 0) haveOriginalModes = 1;

  // Ours go in before curses starts, so curses leaves SIGINT and SIGTERM to
  // them; SIGWINCH stays with curses, which turns it into KEY_RESIZE.
  InstallSignalHandlers();

  screen = newterm(nullptr, output, input);
  if (screen == nullptr) {
    RemoveSignalHandlers();
    std::fputs("keelmark: this terminal cannot be used for the game\n", stderr);
    std::exit(1);
  }
  set_term(screen);
  PrepareResetBytes();

  raw();
  noecho();
  nonl();
  intrflush(stdscr, FALSE);
  keypad(stdscr, TRUE);
  meta(stdscr, TRUE);
  set_escdelay(25);
  // Curses would hold back screen updates while keys are waiting; the game
  // needs every update on the screen before it speaks or waits.
  typeahead(-1);

  hasColours_ = has_colors();
  if (hasColours_) {
    start_color();
    // Pair 0 is light grey on black, said out loud to the terminal like any
    // other pair: the game's screen never takes the terminal's own colours.
    // It also leaves room for every other combination in the 63 pairs of an
    // eight-colour terminal.
    assume_default_colors(COLOR_WHITE, COLOR_BLACK);
    sixteenColours_ = COLORS >= 16;
  }
}

NcursesTerminal::~NcursesTerminal() {
  if (screen == nullptr) return;
  mousemask(0, nullptr);
  endwin();
  // endwin puts back the modes curses found when it started; the ones saved
  // before curses are put back too, so the shell finds exactly what it had.
  resetLength = 0;
  if (haveOriginalModes) tcsetattr(terminalFd, TCSANOW, &originalModes);
  RemoveSignalHandlers();
  delscreen(screen);
  screen = nullptr;
  if (ownTty != nullptr) {
    std::fclose(ownTty);
    ownTty = nullptr;
  }
  terminalFd = -1;
}

TerminalSize NcursesTerminal::Size() const { return TerminalSize{LINES, COLS}; }

NcursesTerminal::Rendition NcursesTerminal::RenditionOf(int attribute) {
  Rendition rendition;
  if (!hasColours_) {
    if (attribute & 0x08) rendition.attributes = A_BOLD;
    return rendition;
  }
  int foreground = AnsiColourOf(attribute & 0x0F);
  int background = AnsiColourOf((attribute >> 4) & 0x0F);
  if (!sixteenColours_) {
    if (foreground & 8) rendition.attributes = A_BOLD;
    foreground &= 7;
    background &= 7;
  }
  if (foreground == COLOR_WHITE && background == COLOR_BLACK) return rendition;
  int key = background * 16 + foreground;
  short& pair = pairOfColours_[static_cast<std::size_t>(key)];
  if (pair < 0) {
    if (nextPair_ < COLOR_PAIRS &&
        init_pair(nextPair_, static_cast<short>(foreground), static_cast<short>(background)) == OK) {
      pair = nextPair_++;
    } else {
      pair = 0;
    }
  }
  rendition.pair = pair;
  return rendition;
}

void NcursesTerminal::WriteCells(int row, int column, std::string_view bytes, int attribute) {
  int rows = LINES;
  int columns = COLS;
  if (row < 1 || row > rows || bytes.empty()) return;
  if (column < 1) {
    std::size_t skipped = static_cast<std::size_t>(1 - column);
    if (skipped >= bytes.size()) return;
    bytes.remove_prefix(skipped);
    column = 1;
  }
  if (column > columns) return;
  std::size_t room = static_cast<std::size_t>(columns - column + 1);
  if (bytes.size() > room) bytes = bytes.substr(0, room);

  Rendition rendition = RenditionOf(attribute);
  cchar_t cells[512];
  std::size_t done = 0;
  while (done < bytes.size()) {
    std::size_t count = std::min(bytes.size() - done, std::size(cells));
    for (std::size_t i = 0; i < count; ++i) {
      wchar_t glyph[2] = {static_cast<wchar_t>(Cp437Glyph(static_cast<unsigned char>(bytes[done + i]))),
                          L'\0'};
      // A glyph the locale cannot show in one cell would shift the rest of
      // the row; a stand-in keeps every cell in its column.
      if (glyph[0] == L'\0') glyph[0] = L' ';
      if (wcwidth(glyph[0]) != 1) glyph[0] = L'?';
      setcchar(&cells[i], glyph, rendition.attributes, rendition.pair, nullptr);
    }
    mvwadd_wchnstr(stdscr, row - 1, column - 1 + static_cast<int>(done), cells,
                   static_cast<int>(count));
    done += count;
  }
}

void NcursesTerminal::PlaceCursor(int row, int column) {
  cursorRow_ = row;
  cursorColumn_ = column;
}

void NcursesTerminal::MoveToPlacedCursor() {
  int row = std::clamp(cursorRow_, 1, std::max(LINES, 1));
  int column = std::clamp(cursorColumn_, 1, std::max(COLS, 1));
  wmove(stdscr, row - 1, column - 1);
}

void NcursesTerminal::SetCursorVisible(bool visible) { curs_set(visible ? 1 : 0); }

void NcursesTerminal::EnableMouse() {
  mmask_t wanted = BUTTON1_PRESSED | BUTTON1_RELEASED | BUTTON2_PRESSED | BUTTON2_RELEASED |
                   BUTTON3_PRESSED | BUTTON3_RELEASED | BUTTON4_PRESSED | BUTTON5_PRESSED;
  mousemask(wanted, nullptr);
  // Every press and release on its own: the game tells clicks apart itself.
  mouseinterval(0);
}

void NcursesTerminal::Flush() {
  MoveToPlacedCursor();
  wnoutrefresh(stdscr);
  doupdate();
}

InputEvent NcursesTerminal::NextEvent() {
  while (pending_.empty()) {
    // Reading a key refreshes the screen with the cursor where the window's
    // cursor is, so it has to stand at the placed position first.
    MoveToPlacedCursor();
    wint_t key = 0;
    int status = wget_wch(stdscr, &key);
    if (status == ERR) {
      if (errno == EINTR) continue;
      // Input that keeps failing means the terminal has gone away: end as
      // a hang-up would.
      if (++failedReads_ >= 100) {
        RestoreTerminalModes();
        resetLength = 0;
        signal(SIGHUP, SIG_DFL);
        raise(SIGHUP);
        std::_Exit(0);
      }
      continue;
    }
    failedReads_ = 0;
    TranslateKey(status, static_cast<unsigned int>(key));
  }
  InputEvent event = pending_.front();
  pending_.pop_front();
  return event;
}

void NcursesTerminal::TranslateKey(int status, unsigned int key) {
  if (status == KEY_CODE_YES) {
    int code = static_cast<int>(key);
    switch (code) {
      case KEY_RESIZE:
        werase(stdscr);
        clearok(curscr, TRUE);
        pending_.push_back(InputEvent::Resized());
        return;
      case KEY_MOUSE:
        TranslateMouse();
        return;
      case KEY_BACKSPACE:
        pending_.push_back(InputEvent::Char(8));
        return;
      case KEY_ENTER:
        pending_.push_back(InputEvent::Char(13));
        return;
      case KEY_BTAB:
        pending_.push_back(InputEvent::Char(9));
        return;
      default:
        break;
    }
    if (int scanCode = ScanCodeOfKey(code); scanCode != 0) {
      pending_.push_back(InputEvent::Scan(scanCode));
    }
    return;
  }

  wint_t character = static_cast<wint_t>(key);
  switch (character) {
    case 27:
      TranslateEscape();
      return;
    case 8:
    case 127:
      pending_.push_back(InputEvent::Char(8));
      return;
    case 10:
    case 13:
      pending_.push_back(InputEvent::Char(13));
      return;
    default:
      break;
  }
  int byte = Cp437FromUnicode(static_cast<char32_t>(character));
  if (byte >= 0) pending_.push_back(InputEvent::Char(byte));
}

// Esc with a letter hard on its heels is how terminals send Alt+letter; an
// Esc on its own is the Esc key.
void NcursesTerminal::TranslateEscape() {
  wtimeout(stdscr, 0);
  wint_t next = 0;
  int status = wget_wch(stdscr, &next);
  wtimeout(stdscr, -1);
  if (status == OK && IsAsciiLetter(next)) {
    InputEvent event = InputEvent::Char(static_cast<int>(next));
    event.alt = true;
    event.scanCode = ScanCodeOfLetter(static_cast<int>(next));
    pending_.push_back(event);
    return;
  }
  if (status == OK) {
    unget_wch(static_cast<wchar_t>(next));
  } else if (status == KEY_CODE_YES) {
    ungetch(static_cast<int>(next));
  }
  pending_.push_back(InputEvent::Char(27));
}

void NcursesTerminal::TranslateMouse() {
  // A press and its release that arrive together come back from one
  // KEY_MOUSE, and getmouse hands out the queued reports newest first.
  std::vector<MEVENT> reports;
  MEVENT report{};
  while (reports.size() < 64 && getmouse(&report) == OK) reports.push_back(report);
  for (auto it = reports.rbegin(); it != reports.rend(); ++it) {
    TranslateMouseReport(static_cast<unsigned long>(it->bstate), it->y + 1, it->x + 1);
  }
}

void NcursesTerminal::TranslateMouseReport(unsigned long changes, int row, int column) {
  if (changes & (BUTTON4_PRESSED | BUTTON5_PRESSED)) {
    pending_.push_back(InputEvent::Mouse(buttonState_, row, column, MouseWheeled));
    return;
  }

  struct Button {
    mmask_t pressed;
    mmask_t released;
    int bit;
  };
  static constexpr Button buttons[] = {
      {BUTTON1_PRESSED, BUTTON1_RELEASED, 1},  // left
      {BUTTON3_PRESSED, BUTTON3_RELEASED, 2},  // right
      {BUTTON2_PRESSED, BUTTON2_RELEASED, 4},  // middle
  };
  for (const Button& button : buttons) {
    if (changes & button.pressed) {
      // A release that never arrived would swallow this press; report it
      // first so the press is seen as a change.
      if (buttonState_ & button.bit) {
        buttonState_ &= ~button.bit;
        pending_.push_back(InputEvent::Mouse(buttonState_, row, column));
      }
      buttonState_ |= button.bit;
      pending_.push_back(InputEvent::Mouse(buttonState_, row, column));
    }
    if ((changes & button.released) && (buttonState_ & button.bit)) {
      buttonState_ &= ~button.bit;
      pending_.push_back(InputEvent::Mouse(buttonState_, row, column));
    }
  }
}

}  // namespace keelmark
