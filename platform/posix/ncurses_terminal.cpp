#include "platform/posix/ncurses_terminal.h"

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <curses.h>
#include <term.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/posix/terminal_restore.h"
#include "presentation/cp437.h"

namespace keelmark {
namespace {

SCREEN* screen = nullptr;
FILE* ownTty = nullptr;

// Mouse reporting as xterm has it: presses and releases (1000), reported in
// the SGR form (1006) where the terminal knows it, since the older X10 form
// cannot name a column past 223. A terminal without SGR sends X10 reports,
// which the decoder reads as well.
constexpr std::string_view mouseOnSequence = "\033[?1000h\033[?1006h";
constexpr std::string_view mouseOffSequence =
    "\033[?1000l\033[?1002l\033[?1003l\033[?1005l\033[?1006l\033[?1015l";
// Cancels an escape sequence the terminal may be in the middle of.
constexpr std::string_view cancelSequence = "\030";

std::string Capability(const char* name) {
  char* value = tigetstr(name);
  if (value == nullptr || value == reinterpret_cast<char*>(-1)) return {};
  return value;
}

int outputFd = -1;

// Straight to the terminal: curses has nothing buffered between updates, and
// its own putp would go through stdio, after everything else.
void Put(std::string_view bytes) { terminal_restore::WriteAll(outputFd, bytes); }

[[noreturn]] void CannotPlay(const std::string& why) {
  std::fprintf(stderr, "keelmark: %s\n", why.c_str());
  std::exit(1);
}

// The game places every character itself, so a terminal that cannot move
// its cursor, or one the system does not know, cannot show it. Asked before
// curses starts, which would write to it at once.
void CheckTerminalType(int fd) {
  const char* type = std::getenv("TERM");
  const std::string name = type != nullptr && *type != '\0' ? type : "";
  if (name.empty()) CannotPlay("TERM is not set, so the terminal type is unknown");
  int error = 0;
  if (setupterm(name.c_str(), fd, &error) != OK) {
    CannotPlay("the terminal type \"" + name + "\" is not known to this system");
  }
  const bool canPlaceCursor = !Capability("cup").empty();
  TERMINAL* probe = cur_term;
  set_curterm(nullptr);
  del_curterm(probe);
  if (!canPlaceCursor) {
    CannotPlay("the terminal type \"" + name + "\" cannot place the cursor, which the game needs");
  }
}

// The bytes that undo the game's changes to the terminal, in the order a
// terminal needs them: first cancel any escape sequence cut off mid-way,
// then mouse reporting, keypad mode, attributes and cursor, and finally back
// to the shell's screen.
std::string ResetBytes() {
  std::string out(cancelSequence);
  out += mouseOffSequence;
  out += Capability("rmkx");
  out += Capability("sgr0");
  out += Capability("op");
  out += Capability("cnorm");
  out += Capability("rmcup");
  return out;
}

// The terminal's own spellings of its keys, where it has them.
std::vector<KeyString> TerminalKeyStrings() {
  struct Named {
    const char* name;
    int character;
    int scanCode;
  };
  static constexpr Named named[] = {
      {"kcuu1", -1, scan::Up},      {"kcud1", -1, scan::Down},    {"kcub1", -1, scan::Left},
      {"kcuf1", -1, scan::Right},   {"khome", -1, scan::Home},    {"kend", -1, scan::End},
      {"kpp", -1, scan::PageUp},    {"knp", -1, scan::PageDown},  {"kich1", -1, scan::Insert},
      {"kdch1", -1, scan::Delete},  {"ka1", -1, scan::Home},      {"ka3", -1, scan::PageUp},
      {"kb2", -1, scan::Centre},    {"kc1", -1, scan::End},       {"kc3", -1, scan::PageDown},
      {"kcbt", tabKey, 0},          {"kent", enterKey, 0},        {"kbs", backspaceKey, 0},
  };
  std::vector<KeyString> keys;
  auto add = [&keys](const std::string& bytes, int character, int scanCode) {
    // Single bytes (Backspace as ^H or DEL) are read the same everywhere.
    if (bytes.size() > 1 && bytes[0] == '\033') keys.push_back({bytes, character, scanCode});
  };
  for (const Named& key : named) add(Capability(key.name), key.character, key.scanCode);
  for (int n = 1; n <= 12; ++n) {
    add(Capability(("kf" + std::to_string(n)).c_str()), -1, scan::FunctionKey(n));
  }
  // The same keys with Shift, Ctrl or Alt held ("kUP5" is Ctrl+Up); the
  // console reports them with the plain key's scan code.
  struct Extended {
    const char* prefix;
    int scanCode;
  };
  static constexpr Extended extended[] = {
      {"kUP", scan::Up},     {"kDN", scan::Down},  {"kLFT", scan::Left}, {"kRIT", scan::Right},
      {"kHOM", scan::Home},  {"kEND", scan::End},  {"kPRV", scan::PageUp}, {"kNXT", scan::PageDown},
      {"kIC", scan::Insert}, {"kDC", scan::Delete},
  };
  for (const Extended& key : extended) {
    for (char modifier = '2'; modifier <= '7'; ++modifier) {
      add(Capability((std::string(key.prefix) + modifier).c_str()), -1, key.scanCode);
    }
  }
  return keys;
}

// Console colours count blue 1, green 2, red 4; ANSI counts red 1, green 2,
// blue 4. Intensity is 8 in both.
int AnsiColourOf(int consoleColour) {
  int ansi = (consoleColour & 2);
  if (consoleColour & 1) ansi |= 4;
  if (consoleColour & 4) ansi |= 1;
  return ansi | (consoleColour & 8);
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
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) ownTty = fdopen(fd, "r+");
    if (ownTty == nullptr) {
      if (fd >= 0) close(fd);
      CannotPlay("there is no terminal to play on (no controlling terminal, and standard "
                 "input and output are not one)");
    }
    input = output = ownTty;
  }
  inputFd_ = fileno(input);
  outputFd_ = fileno(output);
  outputFd = outputFd_;
  CheckTerminalType(outputFd_);

  // Ours go in before curses starts, so curses leaves the stop, interrupt,
  // termination and window-change signals to them.
  terminal_restore::Install(outputFd_);

  // The window's real size, even where LINES and COLUMNS were exported
  // for some other program and would otherwise win.
  use_env(FALSE);
  use_tioctl(TRUE);
  screen = newterm(nullptr, output, input);
  if (screen == nullptr) {
    terminal_restore::Remove();
    CannotPlay("this terminal cannot be used for the game");
  }
  set_term(screen);
  terminal_restore::SetResetBytes(ResetBytes());

  raw();
  noecho();
  nonl();
  intrflush(stdscr, FALSE);
  // Curses would hold back screen updates while keys are waiting; the game
  // needs every update on the screen before it speaks or waits.
  typeahead(-1);
  // The terminal's key strings describe its keys in keypad mode.
  Put(Capability("smkx"));
  // Eight-bit input for the locale's characters and X10 mouse reports.
  // Curses' meta() would do this and also switch xterm's Alt key to setting
  // the eighth bit, where the game wants Alt+letter as Esc and the letter.
  if (tcgetattr(inputFd_, &programModes_) == 0) {
    programModes_.c_iflag &= ~static_cast<tcflag_t>(ISTRIP);
    programModes_.c_cflag = (programModes_.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS8;
    haveProgramModes_ = tcsetattr(inputFd_, TCSANOW, &programModes_) == 0;
  }

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
  // Only a terminal that says it reports the mouse is asked to.
  if (!Capability("kmous").empty()) mouseOnBytes_ = mouseOnSequence;
  input_ = std::make_unique<TerminalInput>(inputFd_,
                                           InputDecoderOptions{.keyStrings = TerminalKeyStrings()});
}

NcursesTerminal::~NcursesTerminal() {
  if (screen == nullptr) return;
  input_.reset();
  Put(mouseOffSequence);
  Put(Capability("rmkx"));
  endwin();
  // endwin puts back the modes curses found when it started; the ones noted
  // before curses are put back too, so the shell finds exactly what it had.
  terminal_restore::SetResetBytes({});
  terminal_restore::RestoreForGood();
  terminal_restore::Remove();
  delscreen(screen);
  screen = nullptr;
  if (ownTty != nullptr) {
    std::fclose(ownTty);
    ownTty = nullptr;
  }
  outputFd = -1;
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
  int screenRows = LINES;
  int screenColumns = COLS;
  if (row < 1 || row > screenRows || bytes.empty()) return;
  if (column < 1) {
    std::size_t skipped = static_cast<std::size_t>(1 - column);
    if (skipped >= bytes.size()) return;
    bytes.remove_prefix(skipped);
    column = 1;
  }
  if (column > screenColumns) return;
  std::size_t room = static_cast<std::size_t>(screenColumns - column + 1);
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

template <typename Change>
void NcursesTerminal::ChangeWithBlanks(int attribute, Change change) {
  const Rendition rendition = RenditionOf(attribute);
  wchar_t space[2] = {L' ', L'\0'};
  cchar_t blank;
  setcchar(&blank, space, rendition.attributes, rendition.pair, nullptr);
  wbkgrndset(stdscr, &blank);
  change();
  // Other blanking (a resize) stays in the plain colours.
  setcchar(&blank, space, A_NORMAL, 0, nullptr);
  wbkgrndset(stdscr, &blank);
}

void NcursesTerminal::Clear(int attribute) {
  ChangeWithBlanks(attribute, [] { werase(stdscr); });
  PlaceCursor(1, 1);
}

void NcursesTerminal::ScrollUp(int attribute) {
  ChangeWithBlanks(attribute, [] {
    scrollok(stdscr, TRUE);
    wscrl(stdscr, 1);
    scrollok(stdscr, FALSE);
  });
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

void NcursesTerminal::SetCursorVisible(bool visible) {
  cursorVisible_ = visible;
  curs_set(visible ? 1 : 0);
}

void NcursesTerminal::EnableMouse() {
  if (mouseOnBytes_.empty()) return;
  mouseOn_ = true;
  Put(mouseOnBytes_);
}

void NcursesTerminal::Flush() {
  HandleNotedSignals();
  Refresh();
}

void NcursesTerminal::Refresh() {
  MoveToPlacedCursor();
  wnoutrefresh(stdscr);
  doupdate();
}

void NcursesTerminal::HandleNotedSignals() {
  if (terminal_restore::TakeContinued()) TakeTerminalBack();
  if (terminal_restore::TakeResized()) AdoptWindowSize();
}

// After a stop the shell has had the terminal: its modes, its screen. Take
// both back and have everything painted again; the console repaints its
// cells on the resize event.
void NcursesTerminal::TakeTerminalBack() {
  // Continued in the background (bg), the game may not change the
  // terminal: setting the modes stops it (SIGTTOU) until "fg", which
  // continues it again and lands here once more, in front. The shell sends
  // no continue to a job it brings from the background to the front.
  if (haveProgramModes_) tcsetattr(inputFd_, TCSANOW, &programModes_);
  // Curses leaves the attributes plain after every update, so plain ones
  // from here keep it in step with the terminal.
  Put(Capability("smcup"));
  Put(Capability("smkx"));
  Put(Capability("sgr0"));
  Put(Capability("op"));
  Put(Capability(cursorVisible_ ? "cnorm" : "civis"));
  if (mouseOn_) Put(mouseOnBytes_);
  AdoptWindowSize();
}

void NcursesTerminal::AdoptWindowSize() {
  winsize size{};
  if (ioctl(outputFd_, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
    resizeterm(size.ws_row, size.ws_col);
  }
  werase(stdscr);
  clearok(curscr, TRUE);
  resizePending_ = true;
}

InputEvent NcursesTerminal::NextEvent() {
  for (;;) {
    HandleNotedSignals();
    if (std::exchange(resizePending_, false)) return InputEvent::Resized();
    if (const auto event = input_->NextEvent()) return *event;
    if (input_->Ended()) terminal_restore::EndAsHangUp();
    // Waiting shows the cursor where the game placed it.
    Refresh();
    input_->Wait(terminal_restore::WakeFd());
    terminal_restore::DrainWakeUps();
  }
}

}  // namespace keelmark
