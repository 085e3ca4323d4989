#include "tests/doubles/event_log.h"

#include <cstdio>

namespace keelmark::testing {

namespace {

// Bytes as they would be typed in a C string, so control codes show.
std::string Printable(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c < 32 || c >= 127) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Describe(const InputEvent& e) {
  switch (e.kind) {
    case InputEvent::Kind::Key:
      return (e.keyDown ? "key " : "key release ") + std::to_string(e.character) + " scan " +
             std::to_string(e.scanCode) + (e.alt ? " alt" : "");
    case InputEvent::Kind::Mouse:
      return "mouse buttons " + std::to_string(e.buttonState) + " at " + std::to_string(e.row) +
             "," + std::to_string(e.column) + " flags " + std::to_string(e.eventFlags);
    case InputEvent::Kind::Resize:
      return "resize";
    case InputEvent::Kind::Other:
      break;
  }
  return "other input";
}

struct Describer {
  std::string operator()(const Spoke& e) const { return "speak: " + Printable(e.text); }
  std::string operator()(const Sounded& e) const { return "play: " + e.clip; }
  std::string operator()(const SoundsStopped&) const { return "stop sounds"; }
  std::string operator()(const Wrote& e) const {
    return "write " + std::to_string(e.row) + "," + std::to_string(e.column) + " " +
           std::to_string(e.attribute) + ": " + Printable(e.bytes);
  }
  std::string operator()(const Flushed&) const { return "flush"; }
  std::string operator()(const Took& e) const { return Describe(e.event); }
};

}  // namespace

// Out of line: GCC 12 warns falsely about the other alternatives of a
// variant moved into the vector where it can see which one it holds.
void EventLog::Add(Event event) { events_.push_back(std::move(event)); }

int EventLog::IndexOf(const Event& event, int from) const {
  for (std::size_t i = Start(from); i < events_.size(); ++i) {
    if (events_[i] == event) return static_cast<int>(i);
  }
  return notFound;
}

int EventLog::IndexOfWriteCovering(int row, int column, int from) const {
  for (std::size_t i = Start(from); i < events_.size(); ++i) {
    const Wrote* w = std::get_if<Wrote>(&events_[i]);
    if (w && w->Covers(row, column)) return static_cast<int>(i);
  }
  return notFound;
}

int EventLog::IndexOfWriteContaining(std::string_view text, int from) const {
  for (std::size_t i = Start(from); i < events_.size(); ++i) {
    const Wrote* w = std::get_if<Wrote>(&events_[i]);
    if (w && w->bytes.find(text) != std::string::npos) return static_cast<int>(i);
  }
  return notFound;
}

int EventLog::Count(const Event& event) const {
  int n = 0;
  for (const Event& e : events_) n += (e == event);
  return n;
}

std::string EventLog::LastSpoken() const {
  for (auto e = events_.rbegin(); e != events_.rend(); ++e) {
    if (const Spoke* s = std::get_if<Spoke>(&*e)) return s->text;
  }
  return "";
}

std::string EventLog::Dump() const {
  std::string out;
  for (std::size_t i = 0; i < events_.size(); ++i) {
    out += std::to_string(i) + ": " + std::visit(Describer{}, events_[i]) + '\n';
  }
  return out;
}

}  // namespace keelmark::testing
