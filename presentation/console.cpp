#include "presentation/console.h"

#include <algorithm>

namespace keelmark {

namespace {

constexpr int fallbackRows = 25;
constexpr int fallbackColumns = 80;
constexpr int printZoneWidth = 14;

// The buttons whose changes are reported one by one.
constexpr int allButtons = LeftButton | RightButton | MiddleButton;

// Shift, control, alt, caps lock, num lock and scroll lock: pressed alone
// they say nothing, so the game never sees them.
bool IsModifierScanCode(int scanCode) {
  switch (scanCode) {
    case 0x1D:
    case 0x2A:
    case 0x36:
    case 0x38:
    case 0x3A:
    case 0x45:
    case 0x46:
      return true;
    default:
      return false;
  }
}

bool IsAsciiLetter(int character) {
  return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z');
}

std::string TwoCharacterKey(int scanCode) {
  std::string key(1, '\0');
  key.push_back(static_cast<char>(scanCode));
  return key;
}

}  // namespace

std::string NumberText(std::int64_t value) {
  // The magnitude goes through an unsigned type so that the most negative
  // value has digits too.
  std::uint64_t magnitude = value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                                      : static_cast<std::uint64_t>(value);
  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  std::string text(1, value < 0 ? '-' : ' ');
  text.append(digits.rbegin(), digits.rend());
  return text;
}

int ScanCodeOfLetter(int character) {
  static constexpr std::string_view keyRows[] = {"qwertyuiop", "asdfghjkl", "zxcvbnm"};
  static constexpr int rowStarts[] = {0x10, 0x1E, 0x2C};
  if (!IsAsciiLetter(character)) return 0;
  const char lower = static_cast<char>(character | 0x20);
  for (int r = 0; r < 3; ++r) {
    const auto at = keyRows[r].find(lower);
    if (at != std::string_view::npos) return rowStarts[r] + static_cast<int>(at);
  }
  return 0;
}

Console::Console(Terminal& terminal) : terminal_(terminal) {
  AdoptTerminalSize();
  std::fill(cells_.begin(), cells_.end(), Cell{});
  cursorRow_ = 1;
  cursorColumn_ = 1;
  pendingWrap_ = false;
  foreground_ = LightGrey;
  background_ = Black;
  // Whatever colours the console showed before, the game's start in light
  // grey on black.
  terminal_.SetTextAttribute(Attribute());
}

void Console::AdoptTerminalSize() {
  const TerminalSize size = terminal_.Size();
  int rows = size.rows;
  int columns = size.columns;
  if (rows <= 0 || columns <= 0) {
    rows = fallbackRows;
    columns = fallbackColumns;
  }
  if (rows == height_ && columns == width_ &&
      cells_.size() == static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns)) {
    return;
  }

  // Whatever overlaps the new size keeps its content, so a later repaint
  // shows the same screen, cut or extended with blanks.
  std::vector<Cell> resized(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
  if (!cells_.empty()) {
    const int keepRows = std::min(rows, height_);
    const int keepColumns = std::min(columns, width_);
    for (int r = 0; r < keepRows; ++r) {
      std::copy_n(cells_.begin() + static_cast<std::ptrdiff_t>(r) * width_, keepColumns,
                  resized.begin() + static_cast<std::ptrdiff_t>(r) * columns);
    }
  }
  cells_ = std::move(resized);
  height_ = rows;
  width_ = columns;

  cursorRow_ = std::clamp(cursorRow_, 1, height_);
  cursorColumn_ = std::clamp(cursorColumn_, 1, width_);
  // A pending wrap belongs to the bottom row; on another height it would
  // scroll a screen that was never filled.
  if (cursorRow_ != height_) pendingWrap_ = false;
}

void Console::ClearScreen() {
  const Cell blank{static_cast<unsigned char>(' '), static_cast<unsigned char>(Attribute())};
  std::fill(cells_.begin(), cells_.end(), blank);
  cursorRow_ = 1;
  cursorColumn_ = 1;
  pendingWrap_ = false;
  terminal_.Clear(Attribute());
}

void Console::MoveCursor(int row, int column) {
  if (row >= 1 && row <= height_) cursorRow_ = row;
  if (column >= 1 && column <= width_) cursorColumn_ = column;
  pendingWrap_ = false;
}

void Console::SetColors(int foreground, int background) {
  if (foreground >= 0 && foreground <= 15) foreground_ = foreground;
  if (background >= 0 && background <= 15) background_ = background;
  terminal_.SetTextAttribute(Attribute());
}

void Console::PrintText(std::string_view text) {
  while (!text.empty()) {
    if (pendingWrap_) {
      pendingWrap_ = false;
      ScrollUp();
    }
    const std::size_t room = static_cast<std::size_t>(width_ - cursorColumn_ + 1);
    const std::size_t length = std::min(room, text.size());
    WriteRun(text.substr(0, length));
    text.remove_prefix(length);
  }
}

void Console::WriteRun(std::string_view run) {
  const unsigned char attribute = static_cast<unsigned char>(Attribute());
  Cell* row = &cells_[static_cast<std::size_t>(cursorRow_ - 1) * static_cast<std::size_t>(width_)];
  for (std::size_t k = 0; k < run.size(); ++k) {
    row[cursorColumn_ - 1 + static_cast<int>(k)] = Cell{static_cast<unsigned char>(run[k]), attribute};
  }
  terminal_.WriteCells(cursorRow_, cursorColumn_, run, attribute);

  cursorColumn_ += static_cast<int>(run.size());
  if (cursorColumn_ > width_) {
    cursorColumn_ = 1;
    if (cursorRow_ < height_) {
      ++cursorRow_;
    } else {
      pendingWrap_ = true;
    }
  }
}

void Console::EndLine() {
  if (cursorRow_ < height_) {
    ++cursorRow_;
    cursorColumn_ = 1;
    return;
  }
  const bool wasPending = pendingWrap_;
  pendingWrap_ = false;
  if (wasPending) ScrollUp();
  ScrollUp();
  cursorRow_ = height_;
  cursorColumn_ = 1;
}

void Console::NextPrintZone() {
  const int spaces = printZoneWidth - (cursorColumn_ - 1) % printZoneWidth;
  PrintText(std::string(static_cast<std::size_t>(spaces), ' '));
}

void Console::PrintNumber(std::int64_t value) {
  PrintText(NumberText(value) + ' ');
}

void Console::ShowCursor() { terminal_.SetCursorVisible(true); }

void Console::EnableMouseInput() {
  mouseEnabled_ = true;
  terminal_.EnableMouse();
}

void Console::SelectMouseEvents(int buttonMask, int kindMask) {
  selectedButtons_ = buttonMask;
  selectedKinds_ = kindMask;
}

void Console::ScrollUp() {
  const std::size_t rowLength = static_cast<std::size_t>(width_);
  std::move(cells_.begin() + static_cast<std::ptrdiff_t>(rowLength), cells_.end(), cells_.begin());
  const Cell blank{static_cast<unsigned char>(' '), static_cast<unsigned char>(Attribute())};
  std::fill(cells_.end() - static_cast<std::ptrdiff_t>(rowLength), cells_.end(), blank);
  // A device of another size (a window changed and not yet taken up) would
  // move rows the game does not have; it gets the whole screen instead.
  const TerminalSize size = terminal_.Size();
  if (size.rows == height_ && size.columns == width_) {
    terminal_.ScrollUp(Attribute());
  } else {
    RepaintAll();
  }
}

void Console::RepaintAll() {
  // The device may be smaller than the screen the game is drawing on (the
  // window was shrunk); only the part it can show is sent.
  const TerminalSize size = terminal_.Size();
  const int rows = size.rows > 0 ? std::min(size.rows, height_) : height_;
  const int columns = size.columns > 0 ? std::min(size.columns, width_) : width_;
  std::string run;
  for (int r = 1; r <= rows; ++r) {
    const Cell* row = &cells_[static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(width_)];
    int start = 0;
    while (start < columns) {
      const unsigned char attribute = row[start].attribute;
      int end = start;
      run.clear();
      while (end < columns && row[end].attribute == attribute) {
        run.push_back(static_cast<char>(row[end].character));
        ++end;
      }
      terminal_.WriteCells(r, start + 1, run, attribute);
      start = end;
    }
  }
}

void Console::Flush() {
  terminal_.PlaceCursor(cursorRow_, cursorColumn_);
  terminal_.Flush();
}

std::string Console::WaitKey() { return *NextKey(false); }

std::optional<std::string> Console::WaitKeyOrResize() { return NextKey(true); }

std::optional<std::string> Console::NextKey(bool returnOnResize) {
  for (;;) {
    Flush();
    const InputEvent event = terminal_.NextEvent();
    if (event.kind == InputEvent::Kind::Resize) {
      RepaintAll();
      if (!returnOnResize) continue;
      Flush();
      return std::nullopt;
    }
    if (auto key = Classify(event)) return key;
  }
}

std::optional<std::string> Console::Classify(const InputEvent& event) {
  switch (event.kind) {
    case InputEvent::Kind::Key: {
      if (!event.keyDown) return std::nullopt;
      if (event.character >= 0 && event.character <= 255) {
        if (event.alt && IsAsciiLetter(event.character)) {
          const int scanCode =
              event.scanCode != 0 ? event.scanCode : ScanCodeOfLetter(event.character);
          return TwoCharacterKey(scanCode);
        }
        return std::string(1, static_cast<char>(event.character));
      }
      if (IsModifierScanCode(event.scanCode)) return std::nullopt;
      return TwoCharacterKey(event.scanCode);
    }

    case InputEvent::Kind::Mouse: {
      const int previous = previousButtons_;
      previousButtons_ = event.buttonState;
      if (!mouseEnabled_) return std::nullopt;

      int kind = 0;
      int button = 0;
      if (event.eventFlags == MouseButtonChange) {
        const int changed = (event.buttonState ^ previous) & allButtons;
        if (changed == 0) return std::nullopt;
        button = changed & -changed;
        kind = (event.buttonState & button) != 0 ? PressEvent : ReleaseEvent;
      } else if (event.eventFlags == MouseMoved) {
        kind = MoveEvent;
        button = 0;
      } else {
        kind = OtherMouseEvent;
        button = event.buttonState;
      }

      if ((kind & selectedKinds_) == 0) return std::nullopt;
      if (kind != MoveEvent && (button & selectedButtons_) == 0) return std::nullopt;

      mouseRow_ = event.row;
      mouseColumn_ = event.column;
      std::string result(2, static_cast<char>(255));
      result.push_back(static_cast<char>(kind));
      result.push_back(static_cast<char>(button));
      return result;
    }

    case InputEvent::Kind::Resize:
    case InputEvent::Kind::Other:
      break;
  }
  return std::nullopt;
}

const Cell& Console::CellAt(int row, int column) const {
  static const Cell outside{};
  if (row < 1 || row > height_ || column < 1 || column > width_) return outside;
  return cells_[static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(width_) +
                static_cast<std::size_t>(column - 1)];
}

}  // namespace keelmark
