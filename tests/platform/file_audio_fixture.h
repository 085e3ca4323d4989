#pragma once
// The audio output heard through SDL's file driver: what would have gone to
// the speaker lands in a file, ten times faster than real time unless a test
// says otherwise.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace keelmark::testing {

// The device format the output asks for: 48 kHz, two channels, 16 bits.
inline constexpr double framesPerSecond = 48000.0;

class FileAudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() / ("keelmark-audio-" + std::to_string(::getpid()) + ".raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path_.c_str(), 1);
    // One millisecond per 11 ms buffer.
    setenv("SDL_DISKAUDIODELAY", "1", 1);
  }
  void TearDown() override {
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
    unsetenv("SDL_DISKAUDIODELAY");
    std::filesystem::remove(path_);
  }

  // For each frame written so far, whether either channel is louder than a
  // whisper.
  std::vector<bool> LoudFrames() const {
    std::ifstream file(path_, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto* samples = reinterpret_cast<const std::int16_t*>(bytes.data());
    std::vector<bool> loud(bytes.size() / 4);
    for (std::size_t i = 0; i < loud.size(); ++i) {
      loud[i] = std::abs(samples[2 * i]) > 300 || std::abs(samples[2 * i + 1]) > 300;
    }
    return loud;
  }

  std::filesystem::path path_;
};

}  // namespace keelmark::testing
