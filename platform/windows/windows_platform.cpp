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

// COM before anything else and undone last. The voice is made on a thread of
// its own and used on this one: with this thread in the multithreaded
// apartment, every thread of the process that sets up no COM of its own is in
// it too, so the voice can be made there and used here.
class ComApartment {
 public:
  ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
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

 private:
  ComApartment apartment_;
  WindowsConsole console_;
  WinmmAudioOut audio_;
};

}  // namespace

std::unique_ptr<Platform> OpenPlatform() { return std::make_unique<WindowsPlatform>(); }

}  // namespace keelmark
