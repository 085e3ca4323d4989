#include "tests/doubles/event_log.h"

#include <cstdio>

namespace keelmark::testing {

namespace {
constexpr std::string_view writePrefix = "write ";
}

std::string FormatWriteEntry(int row, int column, int attribute, std::string_view bytes) {
  std::string entry(writePrefix);
  entry += std::to_string(row) + "," + std::to_string(column) + " " +
           std::to_string(attribute) + ": ";
  entry += bytes;
  return entry;
}

bool ParseWriteEntry(const std::string& entry, WriteEntry& write) {
  if (entry.compare(0, writePrefix.size(), writePrefix) != 0) return false;
  int row = 0, column = 0, attribute = 0;
  if (std::sscanf(entry.c_str() + writePrefix.size(), "%d,%d %d", &row, &column,
                  &attribute) != 3) {
    return false;
  }
  // The header holds no ": ", so the first one ends it, whatever the bytes.
  const std::size_t separator = entry.find(": ");
  if (separator == std::string::npos) return false;
  write.row = row;
  write.column = column;
  write.attribute = attribute;
  write.bytes = entry.substr(separator + 2);
  return true;
}

int EventLog::IndexWhere(const std::function<bool(const std::string&)>& predicate,
                         int from) const {
  for (std::size_t i = from < 0 ? 0 : static_cast<std::size_t>(from); i < entries_.size();
       ++i) {
    if (predicate(entries_[i])) return static_cast<int>(i);
  }
  return notFound;
}

int EventLog::Index(std::string_view text, int from) const {
  return IndexWhere(
      [text](const std::string& e) { return e.find(text) != std::string::npos; }, from);
}

int EventLog::IndexExact(std::string_view entry, int from) const {
  return IndexWhere([entry](const std::string& e) { return e == entry; }, from);
}

int EventLog::IndexOfWriteCovering(int row, int column, int from) const {
  return IndexWhere(
      [row, column](const std::string& e) {
        WriteEntry w;
        return ParseWriteEntry(e, w) && w.Covers(row, column);
      },
      from);
}

int EventLog::IndexOfWriteContaining(std::string_view text, int from) const {
  return IndexWhere(
      [text](const std::string& e) {
        WriteEntry w;
        return ParseWriteEntry(e, w) && w.bytes.find(text) != std::string::npos;
      },
      from);
}

bool EventLog::IsBefore(std::string_view earlier, std::string_view later) const {
  const int a = Index(earlier);
  const int b = Index(later);
  return a != notFound && b != notFound && a < b;
}

std::vector<std::string> EventLog::Filter(std::string_view prefix) const {
  std::vector<std::string> out;
  for (const std::string& e : entries_) {
    if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
  }
  return out;
}

std::vector<std::string> EventLog::Spoken() const {
  std::vector<std::string> out;
  for (const std::string& e : Filter("speak: ")) out.push_back(e.substr(7));
  return out;
}

std::vector<std::string> EventLog::Played() const {
  std::vector<std::string> out;
  for (const std::string& e : Filter("play: ")) out.push_back(e.substr(6));
  return out;
}

std::vector<WriteEntry> EventLog::Writes() const {
  std::vector<WriteEntry> out;
  for (const std::string& e : entries_) {
    WriteEntry w;
    if (ParseWriteEntry(e, w)) out.push_back(w);
  }
  return out;
}

int EventLog::Count(std::string_view exactEntry) const {
  int n = 0;
  for (const std::string& e : entries_) n += (e == exactEntry);
  return n;
}

std::string EventLog::Dump() const {
  std::string out;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    out += std::to_string(i) + ": ";
    for (unsigned char c : entries_[i]) {
      if (c < 32 || c >= 127) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
      } else {
        out += static_cast<char>(c);
      }
    }
    out += '\n';
  }
  return out;
}

}  // namespace keelmark::testing
