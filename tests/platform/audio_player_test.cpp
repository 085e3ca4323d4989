// The audio player and the espeak-ng voice heard through SDL's file driver:
// what would have gone to the speaker lands in a file, so the tests can check
// that each call returns only after all of its sound has been written out,
// that the device is let go after a quiet spell and taken again for the next
// sound, that a recording device keeps one file for the whole game, and that
// the espeak-ng voice can be made again. Against a backend that stops
// answering, that the game waits for it no longer than a sound needs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/espeak_voice.h"
#include "platform/posix/audio_player.h"

namespace keelmark {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto idle = AudioPlayer::idleBeforeClosing;

// The device format the output asks for: 48 kHz, two channels, 16 bits.
constexpr double framesPerSecond = 48000.0;

class AudioThroughFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() / ("keelmark-audio-" + std::to_string(::getpid()) + ".raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path_.c_str(), 1);
    // One millisecond per 21 ms buffer, unless a test needs a sound card's
    // real-time pace.
    setenv("SDL_DISKAUDIODELAY", "1", 1);
  }
  void TearDown() override {
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
    unsetenv("SDL_DISKAUDIODELAY");
    std::filesystem::remove(path_);
  }

  // The stretches of sound in the file, in seconds each: frames where
  // either channel is louder than a whisper, split wherever half a second
  // or more is quiet.
  std::vector<double> SoundingStretches() const {
    std::ifstream file(path_, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto* samples = reinterpret_cast<const std::int16_t*>(bytes.data());
    std::vector<double> stretches;
    std::size_t first = 0, last = 0;
    bool inside = false;
    for (std::size_t i = 0; i < bytes.size() / 4; ++i) {
      if (std::abs(samples[2 * i]) <= 300 && std::abs(samples[2 * i + 1]) <= 300) continue;
      if (inside && i - last > framesPerSecond / 2) {
        stretches.push_back((last - first + 1) / framesPerSecond);
        inside = false;
      }
      if (!inside) first = i;
      inside = true;
      last = i;
    }
    if (inside) stretches.push_back((last - first + 1) / framesPerSecond);
    return stretches;
  }

  std::filesystem::path path_;
};

// How long the output keeps its device from now, looked at every 5 ms for
// up to three idle spells.
Clock::duration TimeUntilLetGo(AudioPlayer& audio) {
  const auto start = Clock::now();
  while (audio.DeviceIsOpen() && Clock::now() - start < 3 * idle) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return Clock::now() - start;
}

// A clip's sounding length in the file: the WAV's length less its faded
// ends, and less up to a buffer's worth the file driver may not have
// written out yet.
constexpr double dropSeconds = 2.375, sinkSeconds = 0.64, clipSlack = 0.05;

// Made, released and made again, as when the game falls back to it a second
// time: espeak-ng's engine set up twice deadlocked in its own shutdown, so
// the rounds run where a deadlock can be told from a slow machine without
// hanging the test binary.
TEST_F(AudioThroughFile, VoiceMadeAgainSpeaksThroughTheSameOutputAndNothingIsSkippedAtOnce) {
  std::future<void> rounds = std::async(std::launch::async, [this] {
    for (int round = 0; round < 2; ++round) {
      AudioPlayer audio;
      std::unique_ptr<Voice> voice = OpenEspeakVoice(audio);
      ASSERT_NE(voice, nullptr);
      const auto start = Clock::now();
      audio.PlayClip("splash");
      EXPECT_TRUE(voice->Speak(""));
      EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
      EXPECT_TRUE(SoundingStretches().empty());
      EXPECT_TRUE(voice->Speak("Generating ship locations, please wait."));
      // About two seconds at espeak-ng's default rate.
      const std::vector<double> stretches = SoundingStretches();
      ASSERT_EQ(stretches.size(), 1u) << "round " << round + 1;
      EXPECT_GT(stretches[0], 1.0);
      EXPECT_LT(stretches[0], 5.0);
    }
    // SDL keeps per-thread data for threads it did not start until told.
    SDL_TLSCleanup();
  });
  if (rounds.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "making the espeak-ng voice again hangs";
    // The stuck thread would keep the process from ending.
    std::_Exit(1);
  }
}

// How often a call wakes while its sound plays is a figure of the audio
// benchmark, at a sound card's real pace.
TEST_F(AudioThroughFile, RecordingDeviceStaysOpen) {
  AudioPlayer audio;
  ASSERT_TRUE(audio.HasDevice());
  audio.PlayClip("drop");
  std::this_thread::sleep_for(idle + std::chrono::milliseconds(600));
  EXPECT_TRUE(audio.DeviceIsOpen());
  // One file holds every sound.
  audio.PlayClip("sink");
  const std::vector<double> stretches = SoundingStretches();
  ASSERT_EQ(stretches.size(), 2u);
  EXPECT_NEAR(stretches[0], dropSeconds, 0.1);
  EXPECT_NEAR(stretches[1], sinkSeconds, clipSlack);
}

TEST_F(AudioThroughFile, DeviceIsLetGoWhenQuietAndTakenAgainByAClipOrSpeech) {
  AudioPlayer audio({[] { return OpenSdlBackend(WhenQuiet::CloseAnyDevice); }});
  ASSERT_TRUE(audio.HasDevice());
  // The device opened at start-up is let go like any other.
  EXPECT_LT(TimeUntilLetGo(audio), 3 * idle);
  audio.PlayClip("sink");
  // Sounds close together share the open device: it is kept for the whole
  // quiet spell after the sound.
  const auto kept = TimeUntilLetGo(audio);
  EXPECT_GE(kept, idle - std::chrono::milliseconds(20));
  EXPECT_LT(kept, 3 * idle);
  // The file driver starts its file afresh on opening: only the last sound,
  // whole, is in it.
  std::vector<double> stretches = SoundingStretches();
  ASSERT_EQ(stretches.size(), 1u);
  EXPECT_NEAR(stretches[0], sinkSeconds, clipSlack);

  // A fifth of a second of a 440 Hz tone at 22,050 samples a second.
  std::vector<std::int16_t> tone(22050 / 5);
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = (i / 25) % 2 ? 8000 : -8000;
  audio.BeginSamples(22050);
  audio.QueueSamples(tone.data(), tone.size() / 2);
  audio.QueueSamples(tone.data() + tone.size() / 2, tone.size() - tone.size() / 2);
  audio.FinishSamples();
  EXPECT_TRUE(audio.DeviceIsOpen());
  stretches = SoundingStretches();
  ASSERT_EQ(stretches.size(), 1u);
  EXPECT_GT(stretches[0], 0.2 - 0.03);
  EXPECT_LT(stretches[0], 0.2 + 0.005);
}

TEST_F(AudioThroughFile, WithoutADeviceEverySoundIsSkippedAndNoVoiceIsMadeOnIt) {
  // An audio driver that does not exist stands for a machine without sound.
  setenv("SDL_AUDIODRIVER", "keelmark-none", 1);
  AudioPlayer audio;
  EXPECT_FALSE(audio.HasDevice());
  const auto start = Clock::now();
  audio.PlayClip("drop");
  audio.PlayClip("buzzer");
  audio.BeginSamples(22050);
  const std::int16_t samples[4] = {1000, -1000, 1000, -1000};
  audio.QueueSamples(samples, 4);
  audio.FinishSamples();
  audio.StopAll();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(OpenEspeakVoice(audio), nullptr);
}

// A sound server that stops answering: while the gate is shut, every call on
// the backend waits.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool shut = false;
  // A server that has gone away refuses at once.
  std::atomic<bool> gone{false};
  std::atomic<int> opens{0};
  std::atomic<std::size_t> bytesWritten{0};
  std::atomic<int> writes{0};

  void Pass() {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return !shut; });
  }
  void Shut(bool now) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      shut = now;
    }
    changed.notify_all();
  }
};

class GatedBackend : public AudioBackend {
 public:
  explicit GatedBackend(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
  bool Open() override {
    gate_->Pass();
    ++gate_->opens;
    return !gate_->gone;
  }
  bool Write(const void*, std::size_t bytes) override {
    gate_->Pass();
    if (gate_->gone) return false;
    gate_->bytesWritten += bytes;
    ++gate_->writes;
    return true;
  }
  bool Drain() override { return gate_->Pass(), true; }
  std::chrono::microseconds Latency() override { return {}; }
  void Close() override { gate_->Pass(); }
  bool ClosesWhenQuiet() const override { return false; }

 private:
  std::shared_ptr<Gate> gate_;
};

Clock::duration TimeOf(const std::function<void()>& call) {
  const auto start = Clock::now();
  call();
  return Clock::now() - start;
}

constexpr auto late = AudioPlayer::lateAllowance;
// Far longer than skipping a sound takes, far shorter than an allowance.
constexpr std::chrono::milliseconds atOnce{300};

// Rendered speech comes in pieces of 50 ms, a few milliseconds apart; each
// write wakes the output's thread and the sound server's client.
TEST(RenderedSpeech, FirstPieceIsWrittenAtOnceAndAWholeTextInAFewWrites) {
  auto gate = std::make_shared<Gate>();
  AudioPlayer audio({[gate] { return std::make_unique<GatedBackend>(gate); }});
  ASSERT_TRUE(audio.HasDevice());
  std::vector<std::int16_t> piece(22050 / 20);
  for (std::size_t i = 0; i < piece.size(); ++i) piece[i] = (i / 25) % 2 ? 8000 : -8000;
  audio.BeginSamples(22050);
  audio.QueueSamples(piece.data(), piece.size());
  const auto queued = Clock::now();
  while (gate->writes == 0 && Clock::now() - queued < atOnce) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(gate->writes, 1);
  for (int i = 1; i < 40; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    audio.QueueSamples(piece.data(), piece.size());
  }
  audio.FinishSamples();
  // Two seconds, in pieces that double: 1, 1, 2, 4, 8, 16 and the rest.
  EXPECT_LE(gate->writes, 7);
  // All of it, less the few milliseconds the converter keeps at the end.
  EXPECT_LE(gate->bytesWritten, 2 * 48000 * 4);
  EXPECT_GT(gate->bytesWritten, 1.96 * 48000 * 4);
}

TEST(StalledSoundServer, ASoundIsGivenUpTheNextSkippedAtOnceAndSoundComesBackWhenItAnswers) {
  auto gate = std::make_shared<Gate>();
  AudioPlayer audio({[gate] { return std::make_unique<GatedBackend>(gate); }});
  ASSERT_TRUE(audio.HasDevice());
  audio.PlayClip("sink");
  ASSERT_GT(gate->bytesWritten, 0u);

  gate->Shut(true);
  const auto held = TimeOf([&] { audio.PlayClip("sink"); });
  EXPECT_GE(held, late);
  EXPECT_LT(held, std::chrono::duration<double>(sinkSeconds) + late + std::chrono::seconds(2));
  EXPECT_LT(TimeOf([&] {
              audio.PlayClip("drop");
              const std::int16_t samples[4] = {1000, -1000, 1000, -1000};
              audio.BeginSamples(22050);
              audio.QueueSamples(samples, 4);
              audio.FinishSamples();
            }),
            atOnce);

  gate->Shut(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::size_t before = gate->bytesWritten;
  audio.PlayClip("sink");
  EXPECT_GT(gate->bytesWritten, before);
}

TEST(StalledSoundServer, OneThatWentAwayCostsNothingAndIsHeardAgainOnceItIsBack) {
  auto gate = std::make_shared<Gate>();
  AudioPlayer audio({[gate] { return std::make_unique<GatedBackend>(gate); }});
  ASSERT_TRUE(audio.HasDevice());
  gate->gone = true;
  EXPECT_LT(TimeOf([&] {
              audio.PlayClip("sink");
              audio.PlayClip("sink");
            }),
            atOnce);
  gate->gone = false;
  audio.PlayClip("sink");
  EXPECT_GT(gate->bytesWritten, 0u);
  EXPECT_EQ(gate->opens, 2);
}

// Ending the game while the server does not answer: the player's thread,
// stuck in its call, is left behind rather than waited for.
TEST(StalledSoundServer, NeitherTheStartNorTheEndWaitsForIt) {
  auto gate = std::make_shared<Gate>();
  gate->Shut(true);
  auto audio = std::make_unique<AudioPlayer>(AudioPlayer::BackendChain{[gate] {
    gate->Pass();
    return std::make_unique<GatedBackend>(gate);
  }});
  const auto startHeld = TimeOf([&] { EXPECT_TRUE(audio->HasDevice()); });
  EXPECT_GE(startHeld, AudioPlayer::openAllowance - std::chrono::milliseconds(50));
  EXPECT_LT(startHeld, AudioPlayer::openAllowance + std::chrono::seconds(2));
  EXPECT_LT(TimeOf([&] { audio->PlayClip("sink"); }), atOnce);

  gate->Shut(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  audio->PlayClip("sink");
  EXPECT_GT(gate->bytesWritten, 0u);

  gate->Shut(true);
  audio->PlayClip("buzzer");
  EXPECT_LT(TimeOf([&] { audio.reset(); }), atOnce);
  // The thread left behind ends once the server answers.
  gate->Shut(false);
}

}  // namespace
}  // namespace keelmark
