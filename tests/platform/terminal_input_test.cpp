// The terminal's bytes stamped when they arrive, not when the game gets
// round to them: a player double-clicks while the game is speaking, and the
// game reads the clicks only when the voice has finished, seconds later.
// A pipe stands in for the terminal and a clock double for time.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/posix/terminal_input.h"
#include "presentation/speech.h"

namespace keelmark {
namespace {

// Time that moves only when the test says; it counts how often it is read,
// so the test can tell when the reading thread has stamped its bytes.
struct TestClock {
  std::atomic<std::int64_t> nowMs{1000};
  std::atomic<int> reads{0};

  TerminalInput::Clock Reader() {
    return [this] {
      ++reads;
      return nowMs.load();
    };
  }
};

// A voice that runs what the test gives it while it "speaks".
class ScriptedVoice : public Voice {
 public:
  explicit ScriptedVoice(std::function<void()> whileSpeaking)
      : whileSpeaking_(std::move(whileSpeaking)) {}
  bool Speak(const std::string&) override {
    whileSpeaking_();
    return true;
  }

 private:
  std::function<void()> whileSpeaking_;
};

std::string SgrReport(int row, int column, bool press) {
  return "\x1b[<0;" + std::to_string(column) + ";" + std::to_string(row) + (press ? "M" : "m");
}

class TerminalInputTest : public ::testing::Test {
 protected:
  TerminalInputTest() {
    EXPECT_EQ(pipe(ends_), 0);
    input_.emplace(ends_[0], InputDecoderOptions{}, clock_.Reader());
  }
  ~TerminalInputTest() override {
    input_.reset();
    close(ends_[0]);
    if (ends_[1] >= 0) close(ends_[1]);
  }

  // The player acts at the clock's present time; returns once the reading
  // thread has taken the bytes in (it reads the clock to stamp them).
  void Arrive(const std::string& bytes) {
    const int readsBefore = clock_.reads;
    ASSERT_EQ(write(ends_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (clock_.reads == readsBefore && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GT(clock_.reads, readsBefore) << "the bytes were never read";
  }

  // What the game's wait for a key gets, without blocking on more.
  std::vector<InputEvent> EventsNow() {
    std::vector<InputEvent> events;
    while (const auto event = input_->NextEvent()) events.push_back(*event);
    return events;
  }

  // Speaks one text through the game's own Speech, while `player` acts.
  void SpeakWhile(std::function<void()> player) {
    Speech speech([player] { return std::make_unique<ScriptedVoice>(player); }, [] {});
    speech.CreateVoice();
    speech.speechText = "E 5";
    speech.SpeakText();
  }

  TestClock clock_;
  int ends_[2] = {-1, -1};
  std::optional<TerminalInput> input_;
};

TEST_F(TerminalInputTest, DoubleClickMadeWhileTheGameSpeaksIsADoubleClick) {
  // The first click is read at once: the game was waiting for it.
  Arrive(SgrReport(5, 5, true) + SgrReport(5, 5, false));
  ASSERT_EQ(EventsNow(), (std::vector<InputEvent>{InputEvent::Mouse(LeftButton, 5, 5),
                                                  InputEvent::Mouse(0, 5, 5)}));
  // The game speaks the entry for three seconds; the second click of the
  // double click comes 150 ms after the first.
  SpeakWhile([this] {
    clock_.nowMs = 1150;
    Arrive(SgrReport(5, 5, true));
    clock_.nowMs = 1200;
    Arrive(SgrReport(5, 5, false));
    clock_.nowMs = 4000;
  });
  EXPECT_EQ(EventsNow(),
            (std::vector<InputEvent>{InputEvent::Mouse(LeftButton, 5, 5, MouseDoubleClick),
                                     InputEvent::Mouse(0, 5, 5)}));
}

TEST_F(TerminalInputTest, EscapeAndALetterFarApartWhileTheGameSpeaksAreTwoKeys) {
  SpeakWhile([this] {
    Arrive("\x1b");
    clock_.nowMs = 1500;
    Arrive("a");
  });
  EXPECT_EQ(EventsNow(),
            (std::vector<InputEvent>{InputEvent::Char(escapeKey), InputEvent::Char('a')}));
}

TEST_F(TerminalInputTest, EndsOnceTheTerminalIsGone) {
  Arrive("b");
  close(ends_[1]);
  ends_[1] = -1;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!input_->Ended() && std::chrono::steady_clock::now() < giveUp) input_->Wait(-1);
  EXPECT_TRUE(input_->Ended());
  // What came before the end is still the game's.
  EXPECT_EQ(EventsNow(), std::vector<InputEvent>{InputEvent::Char('b')});
}

}  // namespace
}  // namespace keelmark
