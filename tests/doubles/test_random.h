#pragma once
// Random sources for tests: one that plays back exact values, one that
// follows a seed and ignores the clock.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "core/random_source.h"

namespace keelmark::testing {

struct RandomExhausted : std::runtime_error {
  RandomExhausted() : std::runtime_error("scripted random values exhausted") {}
};

// Hands out the given unit values in order and throws RandomExhausted after
// the last, so a test also learns when the game draws more than it expected.
class ScriptedRandom : public RandomSource {
 public:
  void SeedFromClock() override {}
  double NextUnit() override;

  void Push(double value) { values_.push_back(value); }
  // Queues the value that makes UniformDraw(lo, hi) come out as `result`:
  // the middle of that result's slice of [0, 1).
  void PushDraw(int result, int lo, int hi);
  // A row then a column, as RandomSquare draws them.
  void PushSquare(int row, int column);
  void PushDirection(int direction) { PushDraw(direction, 1, 4); }

  std::size_t Remaining() const { return values_.size() - next_; }

 private:
  std::vector<double> values_;
  std::size_t next_ = 0;
};

// The game's own generator, seeded by the test; the clock is never read.
class SeededRandom : public ClockSeededRandom {
 public:
  explicit SeededRandom(std::uint64_t seed) { SeedWith(seed); }
  void SeedFromClock() override {}
};

}  // namespace keelmark::testing
