#pragma once
// One ordered record of everything the game does to the outside world, so a
// test can check not only what was spoken, printed and played but in which
// order. Every double writes here; nothing else does.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "presentation/terminal.h"

namespace keelmark::testing {

// The voice was handed this text (UTF-8).
struct Spoke {
  std::string text;
  bool operator==(const Spoke&) const = default;
};
// A clip was played by its effect name.
struct Sounded {
  std::string clip;
  bool operator==(const Sounded&) const = default;
};
struct SoundsStopped {
  bool operator==(const SoundsStopped&) const = default;
};
// One run of cells written to the device: 1-based row and column, one
// attribute, the raw bytes.
struct Wrote {
  int row = 0;
  int column = 0;
  int attribute = 0;
  std::string bytes;
  bool operator==(const Wrote&) const = default;
  bool Covers(int cellRow, int cellColumn) const {
    return cellRow == row && cellColumn >= column &&
           cellColumn < column + static_cast<int>(bytes.size());
  }
};
// The device was asked to show what had been written.
struct Flushed {
  bool operator==(const Flushed&) const = default;
};
// An input event was handed to the game (a resize with the new size).
struct Took {
  InputEvent event;
  bool operator==(const Took&) const = default;
};

using Event = std::variant<Spoke, Sounded, SoundsStopped, Wrote, Flushed, Took>;

class EventLog {
 public:
  static constexpr int notFound = -1;

  void Add(Event event);
  void Clear() { events_.clear(); }
  const std::vector<Event>& Events() const { return events_; }
  std::size_t Size() const { return events_.size(); }
  const Event& operator[](std::size_t i) const { return events_[i]; }

  // Index of the first event at or after `from` equal to `event`, or notFound.
  int IndexOf(const Event& event, int from = 0) const;
  // Index of the first event of this kind at or after `from`.
  template <typename Kind>
  int IndexOfKind(int from = 0) const {
    for (std::size_t i = Start(from); i < events_.size(); ++i) {
      if (std::holds_alternative<Kind>(events_[i])) return static_cast<int>(i);
    }
    return notFound;
  }
  // The first write at or after `from` that put a byte into the cell.
  int IndexOfWriteCovering(int row, int column, int from = 0) const;
  // The first write at or after `from` whose bytes contain `text`.
  int IndexOfWriteContaining(std::string_view text, int from = 0) const;
  int Count(const Event& event) const;

  std::vector<std::string> Spoken() const { return Texts(&Spoke::text); }
  // The text spoken last, or "" before anything was.
  std::string LastSpoken() const;
  std::vector<std::string> Played() const { return Texts(&Sounded::clip); }

  // The whole log, one event a line, for failure messages.
  std::string Dump() const;

 private:
  static std::size_t Start(int from) { return from < 0 ? 0 : static_cast<std::size_t>(from); }
  // The texts of every event of one kind, in order.
  template <typename Kind>
  std::vector<std::string> Texts(std::string Kind::*text) const {
    std::vector<std::string> out;
    for (const Event& e : events_) {
      if (const Kind* k = std::get_if<Kind>(&e)) out.push_back(k->*text);
    }
    return out;
  }
  std::vector<Event> events_;
};

}  // namespace keelmark::testing
