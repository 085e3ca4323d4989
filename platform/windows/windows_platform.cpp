// The Windows devices: the console, the system's sound player for the
// clips, and SAPI for speech, else silence.

#include <windows.h>
#include <objbase.h>

#include "platform/platform.h"
#include "platform/windows/sapi_voice.h"
#include "platform/windows/windows_console.h"
#include "platform/windows/winmm_audio_out.h"

namespace keelmark {

namespace {

// COM before anything else and undone last, after the voice is released and
// the console given back. The game's one thread is a single-threaded
// apartment, so the voice is made and used on that thread alone: made on
// another thread, it would belong to an apartment that this thread cannot
// call into, and the game would be silent.
class ComApartment {
 public:
  ComApartment() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComApartment() {
    if (initialised_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

class WindowsPlatform : public Platform {
 public:
  Terminal& Screen() override { return console_; }
  AudioOut& Audio() override { return audio_; }
  std::vector<Speech::VoiceFactory> Voices() override { return {[] { return OpenSapiVoice(); }}; }
  SpeechOptions ChooseSpeechOptions() override {
    return {VoiceMaking::OnCallingThread, Utf8FromConsoleText};
  }

 private:
  ComApartment apartment_;
  WindowsConsole console_;
  WinmmAudioOut audio_;
};

}  // namespace

std::unique_ptr<Platform> OpenPlatform() { return std::make_unique<WindowsPlatform>(); }

}  // namespace keelmark
