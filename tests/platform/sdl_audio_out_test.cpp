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
#include "tests/platform/file_audio_fixture.h"

namespace keelmark {
namespace {

using Clock = std::chrono::steady_clock;

class AudioThroughFile : public testing::FileAudioTest {
 protected:
  // Seconds from the first to the last frame louder than a whisper.
  double SoundingSeconds() const {
    const std::vector<bool> loud = LoudFrames();
    std::size_t first = loud.size(), last = 0;
    for (std::size_t i = 0; i < loud.size(); ++i) {
      if (!loud[i]) continue;
      if (first == loud.size()) first = i;
      last = i;
    }
    return first == loud.size() ? 0.0 : (last - first + 1) / testing::framesPerSecond;
  }
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
