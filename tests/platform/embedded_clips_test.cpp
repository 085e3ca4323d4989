// The clips the binary carries: found by effect name in any case (which
// names find none is the clip table's to say), and each one a WAVE file the
// portable decoder reads in the format and length the game's pacing was
// made for.

#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>

#include "platform/clips/embedded_clips.h"

namespace keelmark {
namespace {

struct ClipFormat {
  const char* name;  // in any case, as the game may spell it
  SDL_AudioFormat format;
  int channels;
  int rate;
  double seconds;
};

TEST(EmbeddedClips, EachDecodesToItsFormatAndLength) {
  const ClipFormat expected[] = {
      {"drop", AUDIO_U8, 1, 22050, 2.375},  {"Hit", AUDIO_S16LSB, 1, 22050, 2.26},
      {"MISS", AUDIO_U8, 2, 22050, 1.95},   {"sInK", AUDIO_U8, 1, 11025, 0.671},
      {"buzzer", AUDIO_U8, 1, 11025, 1.768},
  };
  ASSERT_EQ(EmbeddedClips().size(), std::size(expected));
  for (const ClipFormat& want : expected) {
    SCOPED_TRACE(want.name);
    const EmbeddedClip* clip = FindClip(want.name);
    ASSERT_NE(clip, nullptr);
    SDL_AudioSpec spec{};
    Uint8* samples = nullptr;
    Uint32 length = 0;
    ASSERT_NE(SDL_LoadWAV_RW(SDL_RWFromConstMem(clip->data, static_cast<int>(clip->size)), 1, &spec,
                             &samples, &length),
              nullptr)
        << SDL_GetError();
    EXPECT_EQ(spec.format, want.format);
    EXPECT_EQ(spec.channels, want.channels);
    EXPECT_EQ(spec.freq, want.rate);
    const int frameBytes = SDL_AUDIO_BITSIZE(spec.format) / 8 * spec.channels;
    const double seconds = static_cast<double>(length) / frameBytes / spec.freq;
    EXPECT_LE(std::abs(seconds - want.seconds), want.seconds * 0.05) << seconds << " s";

    // A clip that is mostly silence would be heard as a gap in the game.
    double sumOfSquares = 0.0;
    const Uint32 frames = length / static_cast<Uint32>(frameBytes);
    for (Uint32 i = 0; i < frames; ++i) {
      const double sample = spec.format == AUDIO_U8
                                ? (samples[i * frameBytes] - 128) / 128.0
                                : reinterpret_cast<const Sint16*>(samples)[i] / 32768.0;
      sumOfSquares += sample * sample;
    }
    EXPECT_GT(std::sqrt(sumOfSquares / frames), 0.05);
    SDL_FreeWAV(samples);
  }
}

}  // namespace
}  // namespace keelmark
