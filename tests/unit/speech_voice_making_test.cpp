// The voice is made while the game goes on drawing: CreateVoice returns at
// once, and the first text waits for the voice, so nothing is heard sooner,
// later or by another voice than if it had been made on the spot.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "presentation/speech.h"

namespace keelmark {
namespace {

using namespace std::chrono_literals;

class HeardVoice : public Voice {
 public:
  explicit HeardVoice(std::vector<std::string>& heard) : heard_(heard) {}
  bool Speak(const std::string& text) override {
    heard_.push_back(text);
    return true;
  }

 private:
  std::vector<std::string>& heard_;
};

// A factory that is not done until the test lets it finish, the way a
// speech server takes its time to start.
class SlowFactory {
 public:
  std::unique_ptr<Voice> Make(std::vector<std::string>& heard) {
    std::unique_lock<std::mutex> lock(mutex_);
    started_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
    return std::make_unique<HeardVoice>(heard);
  }
  void WaitUntilStarted() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return started_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool started_ = false;
  bool released_ = false;
};

TEST(VoiceMaking, FirstTextWaitsForTheVoiceAfterFlushingTheScreen) {
  std::vector<std::string> heard;
  SlowFactory factory;
  bool flushed = false;
  Speech speech([&] { return factory.Make(heard); }, [&] { flushed = true; });
  // Returns although the factory is held: it runs elsewhere.
  speech.CreateVoice();
  factory.WaitUntilStarted();
  speech.speechText = "Keelmark";
  std::future<void> speaking = std::async(std::launch::async, [&] { speech.SpeakText(); });
  // Held back by the unfinished voice: nothing said, and nothing skipped.
  EXPECT_EQ(speaking.wait_for(100ms), std::future_status::timeout);
  factory.Release();
  speaking.get();
  EXPECT_TRUE(flushed);
  EXPECT_EQ(heard, std::vector<std::string>{"Keelmark"});
}

TEST(VoiceMaking, VoiceReleasedBeforeAnyTextIsStillMadeAndLetGo) {
  std::vector<std::string> heard;
  int made = 0;
  {
    Speech speech(
        [&]() -> std::unique_ptr<Voice> {
          ++made;
          return std::make_unique<HeardVoice>(heard);
        },
        nullptr);
    speech.CreateVoice();
    speech.ReleaseVoice();
    EXPECT_EQ(made, 1);
    // Without a voice, texts go nowhere.
    speech.speechText = "quit";
    speech.SpeakText();
  }
  EXPECT_TRUE(heard.empty());
}

TEST(VoiceMaking, MissingVoicesFallThroughToTheNextOnTheMakingThread) {
  std::vector<std::string> heard;
  std::vector<std::string> tried;
  Speech speech({[&]() -> std::unique_ptr<Voice> {
                   tried.push_back("service");
                   return nullptr;
                 },
                 [&]() -> std::unique_ptr<Voice> {
                   tried.push_back("engine");
                   return std::make_unique<HeardVoice>(heard);
                 }},
                nullptr);
  speech.CreateVoice();
  speech.speechText = "Coordinates?";
  speech.SpeakText();
  EXPECT_EQ(tried, (std::vector<std::string>{"service", "engine"}));
  EXPECT_EQ(heard, std::vector<std::string>{"Coordinates?"});
}

}  // namespace
}  // namespace keelmark
