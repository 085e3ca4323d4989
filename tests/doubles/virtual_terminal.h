#pragma once
// A terminal made of memory: a grid of cells with one byte and one attribute
// each, and a queue of scripted input events. Tests script the player with
// the helpers below and read the screen back cell by cell.

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "presentation/terminal.h"
#include "tests/doubles/event_log.h"

namespace keelmark::testing {

// Thrown by NextEvent when the script has run out, so that a game waiting
// for a key that will never come ends the test instead of hanging it.
struct InputExhausted : std::runtime_error {
  InputExhausted() : std::runtime_error("scripted input exhausted") {}
};

// An expected screen written as a raw string block: the newline that opens
// the block is dropped, so the rows line up in the source as on the screen.
inline std::string Golden(std::string_view block) {
  if (!block.empty() && block.front() == '\n') block.remove_prefix(1);
  return std::string(block);
}

// A letter typed with Alt held: a key with both a character and a scan code.
inline InputEvent AltLetter(char letter, int scanCode) {
  InputEvent e = InputEvent::Char(static_cast<unsigned char>(letter));
  e.scanCode = scanCode;
  e.alt = true;
  return e;
}

// The keys WaitKey gives: a key without a character as a zero byte and its
// scan code; a mouse event as two 255 bytes, its kind and its button.
inline std::string ScanKey(int scanCode) {
  return std::string(1, '\0') + static_cast<char>(scanCode);
}
inline std::string MouseKey(int kind, int button) {
  return std::string(2, '\xFF') + static_cast<char>(kind) + static_cast<char>(button);
}

class VirtualTerminal : public Terminal {
 public:
  struct StoredCell {
    unsigned char character = ' ';
    unsigned char attribute = 0x07;
  };

  explicit VirtualTerminal(EventLog& log, int rows = 25, int columns = 80);

  // Terminal
  TerminalSize Size() const override { return {rows_, columns_}; }
  void WriteCells(int row, int column, std::string_view bytes, int attribute) override;
  // Both are logged as the rows they leave, written out, so the log reads
  // the same whichever way the console changed the screen.
  void Clear(int attribute) override;
  void ScrollUp(int attribute) override;
  void SetTextAttribute(int attribute) override { textAttribute_ = attribute; }
  void PlaceCursor(int row, int column) override;
  void SetCursorVisible(bool visible) override { cursorVisible_ = visible; }
  void EnableMouse() override { mouseEnabled_ = true; }
  void Flush() override { log_.Add(Flushed{}); }
  InputEvent NextEvent() override;

  // Called when the queue is empty and the game asks for input; it may push
  // more events (a scripted player). If the queue is still empty afterwards,
  // NextEvent throws InputExhausted.
  std::function<void(VirtualTerminal&)> onInputNeeded;

  // Scripting the player.
  void Push(const InputEvent& event);
  // One key press with a character per byte (so "\r" is Enter, "\b"
  // Backspace).
  void TypeText(std::string_view text);
  void PressScanKey(int scanCode);
  // Press then release of one button (1 left, 2 right, 4 middle) at a
  // 1-based screen cell.
  void Click(int row, int column, int button = 1);
  void RightClick(int row, int column) { Click(row, column, 2); }
  // Queues a window size change: when the event is handed out the size
  // changes and the device's cells go blank, as a real window's would.
  void Resize(int rows, int columns);
  std::size_t PendingInput() const { return queue_.size(); }

  // Reading the screen back; rows and columns are 1-based. Cells outside the
  // screen read as nothing.
  std::string Text(int row, int column, int length) const;
  // Golden screens: rows top to bottom (0: the last row), one line each,
  // every byte as the glyph the console shows for it, trailing blanks cut.
  std::string Picture(int top = 1, int bottom = 0) const;
  // The colours of a block of cells, one hex digit a cell: foregrounds, or
  // backgrounds when asked.
  std::string ColourPicture(int top, int left, int bottom, int right,
                            bool background = false) const;
  int AttributeAt(int row, int column) const;
  int ForegroundAt(int row, int column) const { return AttributeAt(row, column) & 0x0F; }
  int BackgroundAt(int row, int column) const { return AttributeAt(row, column) >> 4; }

  int CursorRow() const { return cursorRow_; }
  int CursorColumn() const { return cursorColumn_; }
  bool CursorVisible() const { return cursorVisible_; }
  bool MouseEnabled() const { return mouseEnabled_; }
  int TextAttribute() const { return textAttribute_; }
  int Clears() const { return clears_; }
  int Scrolls() const { return scrolls_; }

 private:
  struct Scripted {
    InputEvent event;
    int newRows = 0;
    int newColumns = 0;
  };

  void Blank();
  // Logs every row as runs of one attribute each.
  void LogAllRows();
  const StoredCell* At(int row, int column) const;

  EventLog& log_;
  int rows_;
  int columns_;
  std::vector<StoredCell> cells_;
  std::deque<Scripted> queue_;
  int cursorRow_ = 1;
  int cursorColumn_ = 1;
  bool cursorVisible_ = false;
  bool mouseEnabled_ = false;
  int textAttribute_ = -1;
  int clears_ = 0;
  int scrolls_ = 0;
};

}  // namespace keelmark::testing
