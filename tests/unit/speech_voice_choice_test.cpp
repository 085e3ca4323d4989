// Which voice speaks: the first that can be made, and the next one when it
// breaks down, with the game's 8-bit texts handed over as UTF-8. The voice is
// made while the game goes on drawing, so nothing may be heard sooner, later
// or by another voice than if it had been made on the spot; or, where the
// system says so, on the spot, on the thread that speaks.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "presentation/speech.h"

namespace keelmark {
namespace {

using namespace std::chrono_literals;

// Writes "name: text" for every text; breaks down (once asked `breakAt`
// texts) by returning false.
class ListeningVoice : public Voice {
 public:
  ListeningVoice(std::string name, std::vector<std::string>& heard, int breakAt)
      : name_(std::move(name)), heard_(heard), breakAt_(breakAt) {}
  bool Speak(const std::string& text) override {
    if (++asked_ == breakAt_) return false;
    heard_.push_back(name_ + ": " + text);
    return true;
  }

 private:
  std::string name_;
  std::vector<std::string>& heard_;
  int breakAt_;
  int asked_ = 0;
};

class VoiceChoice : public ::testing::Test {
 protected:
  Speech::VoiceFactory Makes(const std::string& name, int breakAt = -1) {
    return [this, name, breakAt] {
      made.push_back(name);
      return std::make_unique<ListeningVoice>(name, heard, breakAt);
    };
  }
  Speech::VoiceFactory Missing(const std::string& name) {
    return [this, name]() -> std::unique_ptr<Voice> {
      made.push_back(name + " (missing)");
      return nullptr;
    };
  }
  void Say(Speech& speech, const std::string& text) {
    speech.speechText = text;
    speech.SpeakText();
  }

  std::vector<std::string> heard;
  std::vector<std::string> made;
};

TEST_F(VoiceChoice, FirstVoiceThatCanBeMadeSpeaksAndOneThatBreaksDownIsReplacedForGood) {
  Speech speech({Missing("service"), Makes("engine", 2), Missing("spare"), Makes("last")}, nullptr);
  speech.CreateVoice();
  Say(speech, "round  1");
  EXPECT_EQ(made, (std::vector<std::string>{"service (missing)", "engine"}));
  // The text the voice broke down on is said again by the next.
  Say(speech, "Computer chooses:  B  7");
  Say(speech, "");
  EXPECT_EQ(made, (std::vector<std::string>{"service (missing)", "engine", "spare (missing)", "last"}));
  EXPECT_EQ(heard, (std::vector<std::string>{"engine: round  1", "last: Computer chooses:  B  7", "last: "}));
}

TEST_F(VoiceChoice, WithoutAnyVoiceTextsAreConvertedAndNothingIsHeard) {
  bool flushed = false;
  Speech speech({Missing("service"), Makes("engine", 1)}, [&] { flushed = true; });
  speech.CreateVoice();
  Say(speech, "caf\x82");
  Say(speech, "round  2");
  EXPECT_TRUE(flushed);
  EXPECT_TRUE(heard.empty());
  // The slot holds what a voice would have been given.
  EXPECT_EQ(speech.speechText, "round  2");
  Say(speech, "caf\x82");
  EXPECT_EQ(speech.speechText, "caf\xC3\xA9");
}

TEST_F(VoiceChoice, VoiceReleasedBeforeAnyTextIsStillMadeAndSpeaksNoMore) {
  Speech speech({Makes("engine")}, nullptr);
  speech.CreateVoice();
  speech.ReleaseVoice();
  EXPECT_EQ(made, std::vector<std::string>{"engine"});
  Say(speech, "Game over.");
  EXPECT_TRUE(heard.empty());
}

TEST_F(VoiceChoice, FirstTextWaitsForTheVoiceStillBeingMadeAfterFlushingTheScreen) {
  // Not done until the test lets it finish, the way a speech server takes
  // its time to start.
  std::promise<void> started;
  std::promise<void> finish;
  std::shared_future<void> finished = finish.get_future().share();
  bool flushed = false;
  Speech speech(
      [&, make = Makes("service")] {
        started.set_value();
        finished.wait();
        return make();
      },
      [&] { flushed = true; });
  // Returns although the factory is held: it runs elsewhere.
  speech.CreateVoice();
  started.get_future().wait();
  std::future<void> speaking = std::async(std::launch::async, [&] { Say(speech, "Keelmark"); });
  // Held back by the unfinished voice: nothing said, and nothing skipped.
  EXPECT_EQ(speaking.wait_for(100ms), std::future_status::timeout);
  finish.set_value();
  speaking.get();
  EXPECT_TRUE(flushed);
  EXPECT_EQ(heard, std::vector<std::string>{"service: Keelmark"});
}

TEST_F(VoiceChoice, VoiceMadeOnTheCallingThreadIsThereAtOnceAndHearsTheSystemsConversion) {
  std::thread::id madeOn;
  Speech speech(
      [&, make = Makes("sapi")] {
        madeOn = std::this_thread::get_id();
        return make();
      },
      nullptr,
      {VoiceMaking::OnCallingThread, [](std::string_view text) { return "[" + std::string(text) + "]"; }});
  speech.CreateVoice();
  EXPECT_EQ(made, std::vector<std::string>{"sapi"});
  EXPECT_EQ(madeOn, std::this_thread::get_id());
  Say(speech, "caf\x82");
  EXPECT_EQ(heard, std::vector<std::string>{"sapi: [caf\x82]"});
}

}  // namespace
}  // namespace keelmark
