// The SDL audio output and the espeak-ng voice, heard through SDL's file
// driver: what would have gone to the speaker lands in a file, a little
// faster than real time, so the tests can check that each call returns only
// after all of its sound has been written out.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/posix/espeak_voice.h"
#include "platform/posix/sdl_audio_out.h"

namespace keelmark {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The device format the output asks for: 48 kHz, two channels, 16 bits.
constexpr double framesPerSecond = 48000.0;
constexpr int bytesPerFrame = 4;

class AudioThroughFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = fs::temp_directory_path() / ("keelmark-audio-" + std::to_string(::getpid()) + ".raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path_.c_str(), 1);
    // One millisecond per 11 ms buffer: ten times faster than real time.
    setenv("SDL_DISKAUDIODELAY", "1", 1);
  }
  void TearDown() override {
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
    unsetenv("SDL_DISKAUDIODELAY");
    fs::remove(path_);
  }

  // Seconds from the first to the last frame louder than a whisper.
  double SoundingSeconds() const {
    std::ifstream file(path_, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::size_t frames = bytes.size() / bytesPerFrame;
    const auto* samples = reinterpret_cast<const std::int16_t*>(bytes.data());
    std::size_t first = frames, last = 0;
    for (std::size_t i = 0; i < frames; ++i) {
      if (std::abs(samples[2 * i]) > 300 || std::abs(samples[2 * i + 1]) > 300) {
        if (first == frames) first = i;
        last = i;
      }
    }
    return first == frames ? 0.0 : (last - first + 1) / framesPerSecond;
  }

  fs::path path_;
};

TEST_F(AudioThroughFile, UnknownClipIsSkippedAtOnce) {
  SdlAudioOut audio;
  const auto start = Clock::now();
  audio.PlayClip("splash");
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(SoundingSeconds(), 0.0);
}

TEST_F(AudioThroughFile, EspeakSpeechGoesThroughTheSameOutput) {
  SdlAudioOut audio;
  std::unique_ptr<Voice> voice = OpenEspeakVoice(audio);
  ASSERT_NE(voice, nullptr);
  EXPECT_TRUE(voice->Speak(""));
  EXPECT_EQ(SoundingSeconds(), 0.0);
  EXPECT_TRUE(voice->Speak("Generating ship locations, please wait."));
  // About two seconds at espeak-ng's default rate.
  const double seconds = SoundingSeconds();
  EXPECT_GT(seconds, 1.0);
  EXPECT_LT(seconds, 5.0);
}

TEST(AudioWithoutDevice, EverySoundIsSkippedAndNoVoiceIsMadeOnIt) {
  // An audio driver that does not exist stands for a machine without sound.
  setenv("SDL_AUDIODRIVER", "keelmark-none", 1);
  {
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
  unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
}  // namespace keelmark
