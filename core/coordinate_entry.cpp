// Reading the player's entries: keys with echo, or one left click, spoken
// back, with the two commands and the square names.

#include <charconv>
#include <cmath>
#include <limits>

#include "core/game.h"

namespace keelmark {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipDigits(std::string_view text, std::size_t at) {
  while (at < text.size() && IsDigit(text[at])) ++at;
  return at;
}

}  // namespace

std::int32_t ParseLeadingNumber(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n')) ++at;

  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  // Mantissa: digits, optionally a point and more digits; at least one digit.
  std::string number;
  const std::size_t integerEnd = SkipDigits(text, at);
  number.append(text.substr(at, integerEnd - at));
  at = integerEnd;
  if (at < text.size() && text[at] == '.') {
    const std::size_t fractionEnd = SkipDigits(text, at + 1);
    number.append(text.substr(at, fractionEnd - at));
    at = fractionEnd;
  }
  if (number.empty() || number == ".") return 0;

  // An exponent counts only when digits follow its letter and optional sign.
  if (at < text.size() && (text[at] == 'E' || text[at] == 'e' || text[at] == 'D' || text[at] == 'd')) {
    std::size_t digitsAt = at + 1;
    std::string sign;
    if (digitsAt < text.size() && (text[digitsAt] == '+' || text[digitsAt] == '-')) {
      sign = text[digitsAt];
      ++digitsAt;
    }
    const std::size_t exponentEnd = SkipDigits(text, digitsAt);
    if (exponentEnd > digitsAt) {
      number += 'e';
      number += sign == "-" ? "-" : "";
      number.append(text.substr(digitsAt, exponentEnd - digitsAt));
    }
  }

  double value = 0.0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  (void)end;
  constexpr auto lowest = std::numeric_limits<std::int32_t>::min();
  constexpr auto highest = std::numeric_limits<std::int32_t>::max();
  if (error == std::errc::result_out_of_range) {
    // Too small to tell from zero, or too large for anything.
    const bool tiny = number.find("e-") != std::string::npos;
    if (tiny) return 0;
    return negative ? lowest : highest;
  }
  if (error != std::errc{}) return 0;
  if (negative) value = -value;
  // The default rounding mode rounds halves to the even neighbour.
  const double rounded = std::nearbyint(value);
  if (rounded < lowest) return lowest;
  if (rounded > highest) return highest;
  return static_cast<std::int32_t>(rounded);
}

Square ParseSquareName(std::string_view text) {
  // An empty text has no letter: it reads as a row far off the grid.
  int code = text.empty() ? -1 : static_cast<unsigned char>(text[0]);
  if (code > 96) code -= 32;
  Square square;
  square.row = code - 64;
  square.column = text.empty() ? 0 : ParseLeadingNumber(text.substr(1));
  return square;
}

std::string SquareText(int row, int column) {
  std::string text(1, static_cast<char>(64 + row));
  return text + NumberText(column);
}

namespace {

bool IsLeftPress(const std::string& key) {
  return key.size() == 4 && key[2] == PressEvent && key[3] == LeftButton;
}

// The characters an entry keeps: the comma and everything from "0" up.
bool IsKept(unsigned char c) { return c == ',' || c >= 48; }

}  // namespace

std::string ReadBackText(std::string_view entry) {
  if (entry.size() <= readBackLength) return std::string(entry);
  return std::string(entry.substr(0, readBackLength)) + std::string(readBackCut);
}

void Game::EchoKey(std::string_view key) {
  // The echo must never scroll the boards away: once it has filled the last
  // cell of the screen, each further key takes that cell's place.
  if (console_.PendingWrap()) console_.MoveCursor(console_.Height(), console_.Width());
  console_.PrintText(key);
}

EntryOutcome Game::ReadEntry() {
  for (;;) {
    entryText.clear();
    bool clicked = false;
    for (;;) {
      const std::string key = console_.WaitKey();
      if (key.size() == 1) {
        const unsigned char c = static_cast<unsigned char>(key[0]);
        EchoKey(key);
        if (c == enterKey) break;
        if (c == backspaceKey) {
          if (!entryText.empty()) entryText.pop_back();
        } else if (IsKept(c)) {
          entryText += key;
        }
      } else if (IsLeftPress(key)) {
        entryText = SquareText(console_.MouseRow(), console_.MouseColumn());
        console_.MoveCursor(24, 14);
        Speak(entryText);
        console_.PrintText(entryText);
        console_.EndLine();
        clicked = true;
        break;
      }
      // Keys without a character and other mouse events are ignored.
    }

    Speak(ReadBackText(entryText));
    if (entryText == "quit") throw QuitGame{};
    if (entryText.empty()) {
      if (lastComputerShot == 0) {
        lastComputerShot = -1;
        return EntryOutcome::Empty;
      }
      continue;
    }
    if (entryText == "auto") {
      state.autoPlacement = 1;
      return EntryOutcome::Auto;
    }
    // A click always names one square, whatever its column: a column of 100
    // or more is off the grid like any other, not a placement text.
    if (entryText.size() >= 5 && !clicked) return EntryOutcome::Long;

    Square square = ParseSquareName(entryText);
    // Below row 32 the click's letter would wrap into lower case and read as
    // a row of the board, firing at a square the player never pointed at.
    if (clicked && console_.MouseRow() > 32) square.row = 0;
    entryText.erase(0, 1);
    if (!IsOnGrid(square)) {
      sounds_.ErrorBuzz();
      continue;
    }
    currentRow = square.row;
    currentColumn = square.column;
    return EntryOutcome::Square;
  }
}

}  // namespace keelmark
