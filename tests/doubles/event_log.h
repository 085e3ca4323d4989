#pragma once
// One ordered record of everything the game does to the outside world, so a
// test can check not only what was spoken, printed and played but in which
// order. Every double writes here; nothing else does.
//
// Entry formats (one string per event):
//   "speak: <text>"                the voice was handed <text> (UTF-8)
//   "play: <name>"                 a clip was played by its effect name
//   "stop sounds"                  all sound was stopped
//   "write R,C A: <bytes>"         one WriteCells call: 1-based row R, column
//                                  C, attribute A in decimal, the raw bytes
//   "flush"                        the terminal was asked to show its output
//   "key: char N"                  a key press with character code N handed out
//   "key: scan N"                  a key press without a character, scan code N
//   "key: release N"               a key release (character code N)
//   "mouse: buttons B at R,C flags F"  a mouse event handed out
//   "resize: RxC"                  the window changed to R rows, C columns
//   "input: other"                 any other input event

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace keelmark::testing {

struct WriteEntry {
  int row = 0;
  int column = 0;
  int attribute = 0;
  std::string bytes;

  // True when this write put a byte into (row, column).
  bool Covers(int cellRow, int cellColumn) const {
    return cellRow == row && cellColumn >= column &&
           cellColumn < column + static_cast<int>(bytes.size());
  }
};

class EventLog {
 public:
  static constexpr int notFound = -1;

  void Add(std::string entry) { entries_.push_back(std::move(entry)); }
  void Clear() { entries_.clear(); }
  const std::vector<std::string>& Entries() const { return entries_; }
  std::size_t Size() const { return entries_.size(); }
  const std::string& operator[](std::size_t i) const { return entries_[i]; }

  // Index of the first entry at or after `from` that contains `text`, or
  // notFound.
  int Index(std::string_view text, int from = 0) const;
  // Index of the first entry at or after `from` equal to `entry`.
  int IndexExact(std::string_view entry, int from = 0) const;
  int IndexWhere(const std::function<bool(const std::string&)>& predicate,
                 int from = 0) const;
  // Index of the first write at or after `from` that put a byte into the cell.
  int IndexOfWriteCovering(int row, int column, int from = 0) const;
  // Index of the first write at or after `from` whose bytes contain `text`.
  int IndexOfWriteContaining(std::string_view text, int from = 0) const;

  // Both are present and the first entry containing `earlier` comes before
  // the first entry containing `later`.
  bool IsBefore(std::string_view earlier, std::string_view later) const;

  // The entries that start with `prefix`, in order.
  std::vector<std::string> Filter(std::string_view prefix) const;
  // The texts spoken and the clips played, without their prefixes.
  std::vector<std::string> Spoken() const;
  std::vector<std::string> Played() const;
  std::vector<WriteEntry> Writes() const;
  int Count(std::string_view exactEntry) const;

  // The whole log, one entry a line, for failure messages.
  std::string Dump() const;

 private:
  std::vector<std::string> entries_;
};

// Reads a "write R,C A: bytes" entry back; false for any other entry.
bool ParseWriteEntry(const std::string& entry, WriteEntry& write);
std::string FormatWriteEntry(int row, int column, int attribute, std::string_view bytes);

}  // namespace keelmark::testing
