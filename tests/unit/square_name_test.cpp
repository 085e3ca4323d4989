// Reading square names: the row from the first character, the column from
// the number that follows, with no range check (the callers refuse).

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "core/game.h"

namespace keelmark {
namespace {

// The column is whatever ParseLeadingNumber makes of the rest, tried in full
// below; these cases show which rest it is given.
TEST(ParseSquareName, RowFromTheFirstCharacterColumnFromTheNumberAfterIt) {
  const struct {
    std::string text;
    int row;
    int column;
  } cases[] = {
      {"b7", 2, 7},     {"B7", 2, 7},       {"b07", 2, 7},   {"C07", 3, 7},     {"a1", 1, 1},
      {"j10", 10, 10},  {"J10", 10, 10},    {"e5x", 5, 5},   {"a1,a5", 1, 1},   {"c3c", 3, 3},
      // The game's own square text, with its blank.
      {"C 7", 3, 7},    {"J 10", 10, 10},   {"a\t7", 1, 7},  {"a1e1", 1, 10},   {"a-3", 1, -3},
      {"a2.5", 1, 2},
      // Rows off the grid are reported, not clamped.
      {"k1", 11, 1},    {"K1", 11, 1},      {"7c", '7' - 64, 0}, {"Auto", 1, 0}, {"QUIT", 17, 0},
      {"a", 1, 0},      {"", -65, 0},
      // 0xE1 is above 96, so 32 comes off before 64: 225 - 96.
      {"\xE1" "5", 129, 5},
  };
  for (const auto& c : cases) {
    const Square s = ParseSquareName(c.text);
    EXPECT_EQ(s.row, c.row) << "row of \"" << c.text << "\"";
    EXPECT_EQ(s.column, c.column) << "column of \"" << c.text << "\"";
  }
}

struct NumberCase {
  std::string text;
  std::int32_t value;
};

TEST(ParseLeadingNumber, ReadsDecimalNumbersAtTheStart) {
  const std::vector<NumberCase> cases = {
      {"7", 7},      {"07", 7},     {"10", 10},    {"  7", 7},  {"\t\n 7", 7},
      {"+7", 7},     {"-7", -7},    {"7x", 7},     {"1.2.3", 1}, {".5", 0},
      {"1e1", 10},   {"1E1", 10},   {"1d1", 10},   {"1D1", 10}, {"1e+1", 10},
      {"1e", 1},     {"150e-2", 2}, {"2.5", 2},    {"3.5", 4},  {"-2.5", -2},
      {"-3.5", -4},  {"0.5", 0},    {"0.51", 1},   {"4.49", 4}, {"1,5", 1},
      {"1.5", 2},    {"7.6", 8},    {"25e-1", 2},
  };
  for (const NumberCase& c : cases) {
    EXPECT_EQ(ParseLeadingNumber(c.text), c.value) << "\"" << c.text << "\"";
  }
}

TEST(ParseLeadingNumber, TextWithoutANumberGivesZero) {
  // Only decimal digits count: no hexadecimal, no infinities, no letters.
  for (const char* text : {"", " ", "x7", "-", "+", ".", "e5", "inf", "nan", "infinity"}) {
    EXPECT_EQ(ParseLeadingNumber(text), 0) << "\"" << text << "\"";
  }
  // A zero followed by an x, not hexadecimal sixteen.
  EXPECT_EQ(ParseLeadingNumber("0x10"), 0);
}

TEST(ParseLeadingNumber, ValuesBeyond32BitsSaturate) {
  EXPECT_EQ(ParseLeadingNumber("2147483647"), INT32_MAX);
  EXPECT_EQ(ParseLeadingNumber("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseLeadingNumber("2147483648"), INT32_MAX);
  EXPECT_EQ(ParseLeadingNumber("99999999999"), INT32_MAX);
  EXPECT_EQ(ParseLeadingNumber("10000000000000000000000"), INT32_MAX);
  EXPECT_EQ(ParseLeadingNumber("-2147483649"), INT32_MIN);
  EXPECT_EQ(ParseLeadingNumber("1e400"), INT32_MAX);
  EXPECT_EQ(ParseLeadingNumber("-1e400"), INT32_MIN);
}

}  // namespace
}  // namespace keelmark
