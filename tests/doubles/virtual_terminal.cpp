#include "tests/doubles/virtual_terminal.h"

#include <algorithm>

#include "presentation/cp437.h"

namespace keelmark::testing {

VirtualTerminal::VirtualTerminal(EventLog& log, int rows, int columns)
    : log_(log), rows_(rows), columns_(columns) {
  Blank();
}

void VirtualTerminal::Blank() {
  cells_.assign(static_cast<std::size_t>(rows_) * columns_, StoredCell{});
}

const VirtualTerminal::StoredCell* VirtualTerminal::At(int row, int column) const {
  if (row < 1 || row > rows_ || column < 1 || column > columns_) return nullptr;
  return &cells_[static_cast<std::size_t>(row - 1) * columns_ + (column - 1)];
}

void VirtualTerminal::WriteCells(int row, int column, std::string_view bytes,
                                 int attribute) {
  log_.Add(Wrote{row, column, attribute, std::string(bytes)});
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int c = column + static_cast<int>(i);
    if (At(row, c) == nullptr) continue;  // clipped
    StoredCell& cell = cells_[static_cast<std::size_t>(row - 1) * columns_ + (c - 1)];
    cell.character = static_cast<unsigned char>(bytes[i]);
    cell.attribute = static_cast<unsigned char>(attribute);
  }
}

void VirtualTerminal::Clear(int attribute) {
  ++clears_;
  cells_.assign(cells_.size(), StoredCell{' ', static_cast<unsigned char>(attribute)});
  cursorRow_ = 1;
  cursorColumn_ = 1;
  LogAllRows();
}

void VirtualTerminal::ScrollUp(int attribute) {
  ++scrolls_;
  const auto rowLength = static_cast<std::ptrdiff_t>(columns_);
  std::move(cells_.begin() + rowLength, cells_.end(), cells_.begin());
  std::fill(cells_.end() - rowLength, cells_.end(),
            StoredCell{' ', static_cast<unsigned char>(attribute)});
  LogAllRows();
}

void VirtualTerminal::LogAllRows() {
  for (int row = 1; row <= rows_; ++row) {
    int start = 1;
    while (start <= columns_) {
      const unsigned char attribute = At(row, start)->attribute;
      std::string run;
      int end = start;
      for (; end <= columns_ && At(row, end)->attribute == attribute; ++end) {
        run += static_cast<char>(At(row, end)->character);
      }
      log_.Add(Wrote{row, start, attribute, run});
      start = end;
    }
  }
}

void VirtualTerminal::PlaceCursor(int row, int column) {
  cursorRow_ = row;
  cursorColumn_ = column;
}

InputEvent VirtualTerminal::NextEvent() {
  if (queue_.empty() && onInputNeeded) onInputNeeded(*this);
  if (queue_.empty()) throw InputExhausted();
  Scripted next = queue_.front();
  queue_.pop_front();
  if (next.event.kind == InputEvent::Kind::Resize) {
    rows_ = next.newRows;
    columns_ = next.newColumns;
    Blank();
  }
  log_.Add(Took{next.event});
  return next.event;
}

void VirtualTerminal::Push(const InputEvent& event) {
  queue_.push_back({event, rows_, columns_});
}

void VirtualTerminal::TypeText(std::string_view text) {
  for (unsigned char c : text) Push(InputEvent::Char(c));
}

void VirtualTerminal::PressScanKey(int scanCode) { Push(InputEvent::Scan(scanCode)); }

void VirtualTerminal::Click(int row, int column, int button) {
  Push(InputEvent::Mouse(button, row, column));
  Push(InputEvent::Mouse(0, row, column));
}

void VirtualTerminal::Resize(int rows, int columns) {
  queue_.push_back({InputEvent::Resized(), rows, columns});
}

std::string VirtualTerminal::Text(int row, int column, int length) const {
  std::string out;
  for (int c = column; c < column + length; ++c) {
    if (const StoredCell* cell = At(row, c)) out += static_cast<char>(cell->character);
  }
  return out;
}

std::string VirtualTerminal::Picture(int top, int bottom) const {
  if (bottom == 0) bottom = rows_;
  std::string out;
  for (int row = top; row <= bottom; ++row) {
    std::string line;
    for (int column = 1; column <= columns_; ++column) {
      const StoredCell* cell = At(row, column);
      AppendUtf8(line, Cp437Glyph(cell ? cell->character : 0));
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out += line + '\n';
  }
  return out;
}

std::string VirtualTerminal::ColourPicture(int top, int left, int bottom, int right,
                                           bool background) const {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string out;
  for (int row = top; row <= bottom; ++row) {
    for (int column = left; column <= right; ++column) {
      out += digits[background ? BackgroundAt(row, column) : ForegroundAt(row, column)];
    }
    out += '\n';
  }
  return out;
}

int VirtualTerminal::AttributeAt(int row, int column) const {
  const StoredCell* cell = At(row, column);
  return cell ? cell->attribute : -1;
}

}  // namespace keelmark::testing
