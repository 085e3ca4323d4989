#include "tests/doubles/test_random.h"

namespace keelmark::testing {

double ScriptedRandom::NextUnit() {
  if (next_ >= values_.size()) throw RandomExhausted();
  return values_[next_++];
}

void ScriptedRandom::PushDraw(int result, int lo, int hi) {
  Push((result - lo + 0.5) / (hi - lo + 1));
}

void ScriptedRandom::PushSquare(int row, int column) {
  PushDraw(row, 1, 10);
  PushDraw(column, 1, 10);
}

}  // namespace keelmark::testing
