#include "tests/doubles/virtual_terminal.h"

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
  log_.Add(FormatWriteEntry(row, column, attribute, bytes));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int c = column + static_cast<int>(i);
    if (At(row, c) == nullptr) continue;  // clipped
    StoredCell& cell = cells_[static_cast<std::size_t>(row - 1) * columns_ + (c - 1)];
    cell.character = static_cast<unsigned char>(bytes[i]);
    cell.attribute = static_cast<unsigned char>(attribute);
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
  const InputEvent& e = next.event;
  switch (e.kind) {
    case InputEvent::Kind::Key:
      if (!e.keyDown) {
        log_.Add("key: release " + std::to_string(e.character));
      } else if (e.character >= 0 && !e.alt) {
        log_.Add("key: char " + std::to_string(e.character));
      } else {
        log_.Add("key: scan " + std::to_string(e.scanCode));
      }
      break;
    case InputEvent::Kind::Mouse:
      log_.Add("mouse: buttons " + std::to_string(e.buttonState) + " at " +
               std::to_string(e.row) + "," + std::to_string(e.column) + " flags " +
               std::to_string(e.eventFlags));
      break;
    case InputEvent::Kind::Resize:
      rows_ = next.newRows;
      columns_ = next.newColumns;
      Blank();
      log_.Add("resize: " + std::to_string(rows_) + "x" + std::to_string(columns_));
      break;
    case InputEvent::Kind::Other:
      log_.Add("input: other");
      break;
  }
  return e;
}

void VirtualTerminal::Push(const InputEvent& event) {
  queue_.push_back({event, rows_, columns_});
}

void VirtualTerminal::TypeText(std::string_view text) {
  for (unsigned char c : text) Push(InputEvent::Char(c));
}

void VirtualTerminal::PressScanKey(int scanCode) { Push(InputEvent::Scan(scanCode)); }

void VirtualTerminal::PressAltLetter(char letter, int scanCode) {
  InputEvent e = InputEvent::Char(static_cast<unsigned char>(letter));
  e.scanCode = scanCode;
  e.alt = true;
  Push(e);
}

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

std::string VirtualTerminal::RowText(int row) const { return Text(row, 1, columns_); }

int VirtualTerminal::AttributeAt(int row, int column) const {
  const StoredCell* cell = At(row, column);
  return cell ? cell->attribute : -1;
}

unsigned char VirtualTerminal::CharAt(int row, int column) const {
  const StoredCell* cell = At(row, column);
  return cell ? cell->character : 0;
}

}  // namespace keelmark::testing
