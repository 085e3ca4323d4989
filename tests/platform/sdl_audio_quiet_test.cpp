// The audio output between sounds and while one plays: the device is let go
// after a quiet spell and taken again for the next sound, a recording
// device keeps one file for the whole game, and a call waits for its sound
// by sleeping rather than by polling.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/posix/sdl_audio_out.h"
#include "tests/platform/file_audio_fixture.h"

namespace keelmark {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto idle = SdlAudioOut::idleBeforeClosing;

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

class QuietThroughFile : public testing::FileAudioTest {
 protected:
  // The stretches of sound in the file, in seconds each, split wherever
  // half a second or more is quiet.
  std::vector<double> SoundingStretches() const {
    const std::vector<bool> loud = LoudFrames();
    std::vector<double> stretches;
    std::size_t first = 0, last = 0;
    bool inside = false;
    for (std::size_t i = 0; i < loud.size(); ++i) {
      if (!loud[i]) continue;
      if (inside && i - last > testing::framesPerSecond / 2) {
        stretches.push_back((last - first + 1) / testing::framesPerSecond);
        inside = false;
      }
      if (!inside) first = i;
      inside = true;
      last = i;
    }
    if (inside) stretches.push_back((last - first + 1) / testing::framesPerSecond);
    return stretches;
  }
};

// A clip's sounding length in the file: the WAV's length less its faded
// ends, and less up to a buffer's worth the file driver may not have
// written out yet.
constexpr double dropSeconds = 2.375, sinkSeconds = 0.64, clipSlack = 0.05;

// At the real-time pace of a sound card: the 2.4-second clip would cost a
// polling wait more than two thousand wake-ups.
TEST_F(QuietThroughFile, RecordingDeviceStaysOpenAndAClipIsWaitedForBySleeping) {
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

TEST_F(QuietThroughFile, DeviceIsLetGoWhenQuietAndTakenAgainByAClipOrSpeech) {
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

}  // namespace
}  // namespace keelmark
