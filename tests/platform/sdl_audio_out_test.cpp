// The SDL audio output and the espeak-ng voice heard through SDL's file
// driver: what would have gone to the speaker lands in a file, so the tests
// can check that each call returns only after all of its sound has been
// written out, that the device is let go after a quiet spell and taken again
// for the next sound, that a recording device keeps one file for the whole
// game, that a call waits for its sound by sleeping rather than polling, and
// that the espeak-ng voice can be made again.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/espeak_voice.h"
#include "platform/posix/sdl_audio_out.h"

namespace keelmark {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto idle = SdlAudioOut::idleBeforeClosing;

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

// Wake-ups of the calling thread so far: each time it gave up the processor.
long ThreadWakeUps() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw + usage.ru_nivcsw;
}

// How long the output keeps its device from now, looked at every 5 ms for
// up to three idle spells.
Clock::duration TimeUntilLetGo(SdlAudioOut& audio) {
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
      SdlAudioOut audio;
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

// At the real-time pace of a sound card: the 2.4-second clip would cost a
// polling wait more than two thousand wake-ups.
TEST_F(AudioThroughFile, RecordingDeviceStaysOpenAndAClipIsWaitedForBySleeping) {
  unsetenv("SDL_DISKAUDIODELAY");
  SdlAudioOut audio;
  ASSERT_TRUE(audio.HasDevice());
  const long before = ThreadWakeUps();
  audio.PlayClip("drop");
  EXPECT_LT(ThreadWakeUps() - before, 50);
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
  SdlAudioOut audio(SdlAudioOut::WhenQuiet::CloseAnyDevice);
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
  SdlAudioOut audio;
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

}  // namespace
}  // namespace keelmark
