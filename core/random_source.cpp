#include "core/random_source.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace keelmark {

double SecondsSinceMidnight() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  // localtime's result lives in a buffer shared by the whole process, so it
  // is copied at once; the game reads the clock only here, once, at start-up.
  const std::tm local = *std::localtime(&seconds);
  const auto millis =
      duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + millis / 1000.0;
}

void ClockSeededRandom::SeedFromClock() {
  // Milliseconds of the day: the same resolution the game has always seeded
  // with, so two games started in the same second still differ.
  SeedWith(static_cast<std::uint64_t>(std::llround(SecondsSinceMidnight() * 1000.0)));
}

double ClockSeededRandom::NextUnit() {
  // 53 random bits scaled into [0, 1): never 1.0, which a draw would turn
  // into a value one past its range.
  return static_cast<double>(engine_() >> 11) * 0x1.0p-53;
}

}  // namespace keelmark
