#pragma once
// The one way the game makes a sound: a clip played by its effect name,
// returning when it has been heard.

#include <functional>
#include <string>

namespace keelmark {

class AudioOut {
 public:
  virtual ~AudioOut() = default;
  // Plays the clip of this effect name and returns when it has finished.
  // A clip that cannot be played is skipped silently.
  virtual void PlayClip(const std::string& name) = 0;
  virtual void StopAll() = 0;
};

class SilentAudioOut : public AudioOut {
 public:
  void PlayClip(const std::string&) override {}
  void StopAll() override {}
};

class SoundEffects {
 public:
  SoundEffects(AudioOut& audio, std::function<void()> beforeBlocking);

  std::string drop, hit, miss, sink, buzzer;

  void SetSoundNames();
  void PlaySoundEffect(std::string name);
  void ErrorBuzz();
  void StopSoundEffects();

 private:
  AudioOut& audio_;
  std::function<void()> beforeBlocking_;
};

}  // namespace keelmark
