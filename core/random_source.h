#pragma once
// The game's single source of chance. The game seeds it once from the clock;
// tests hand in one that ignores the clock and follows their own seed.

#include <cstdint>
#include <random>

namespace keelmark {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual void SeedFromClock() = 0;
  // Uniform in [0, 1).
  virtual double NextUnit() = 0;
};

// Seconds since local midnight, milliseconds included.
double SecondsSinceMidnight();

class ClockSeededRandom : public RandomSource {
 public:
  void SeedFromClock() override;
  double NextUnit() override;

 protected:
  void SeedWith(std::uint64_t seed) { engine_.seed(seed); }

 private:
  std::mt19937_64 engine_{0};
};

}  // namespace keelmark
