#pragma once
// Sound and speech libraries write their complaints (no sound server, no
// ALSA card) to standard error; on the terminal the game draws on, those
// lines would land in the middle of the boards. While one of these lives,
// standard error that goes to a terminal goes nowhere instead.

namespace keelmark {

class QuietStderr {
 public:
  QuietStderr();
  ~QuietStderr();
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int savedStderr_ = -1;
};

}  // namespace keelmark
