// The espeak-ng voice made again in the same process, as it is when a test
// run repeats or the game falls back to it a second time: espeak-ng's engine
// must not be set up twice, which deadlocked in its own shutdown.

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>

#include "platform/posix/espeak_voice.h"
#include "platform/posix/sdl_audio_out.h"

namespace keelmark {
namespace {

TEST(EspeakVoiceAgain, VoiceMadeReleasedAndMadeAgainSpeaksEachTime) {
  // Played nowhere, in real time.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  // Run where a deadlock can be told from a slow machine without hanging
  // the test binary: three rounds of make, speak, release.
  std::future<int> rounds = std::async(std::launch::async, [] {
    int spoken = 0;
    for (int round = 0; round < 3; ++round) {
      SdlAudioOut audio;
      std::unique_ptr<Voice> voice = OpenEspeakVoice(audio);
      if (voice == nullptr || !voice->Speak("round " + std::to_string(round + 1))) break;
      ++spoken;
    }
    // SDL keeps per-thread data for threads it did not start until told.
    SDL_TLSCleanup();
    return spoken;
  });
  if (rounds.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "making the espeak-ng voice again hangs";
    // The stuck thread would keep the process from ending.
    std::_Exit(1);
  }
  EXPECT_EQ(rounds.get(), 3);
  unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
}  // namespace keelmark
