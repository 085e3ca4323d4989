#include "platform/windows/sapi_voice.h"

#include <windows.h>
#include <sapi.h>

#include <string>

namespace keelmark {

namespace {

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

class SapiVoice : public Voice {
 public:
  explicit SapiVoice(ISpVoice* voice) : voice_(voice) {}
  ~SapiVoice() override { voice_->Release(); }

  SapiVoice(const SapiVoice&) = delete;
  SapiVoice& operator=(const SapiVoice&) = delete;

  bool Speak(const std::string& utf8Text) override {
    const std::wstring text = WideFromUtf8(utf8Text);
    ULONG streamNumber = 0;
    // Synchronous: returns when the text has been spoken. A failure is not
    // a reason to give the voice up; some systems' Speak always fails, and
    // the game then goes on silently, as it would with no voice.
    voice_->Speak(text.c_str(), SPF_DEFAULT, &streamNumber);
    return true;
  }

 private:
  ISpVoice* voice_;
};

}  // namespace

std::unique_ptr<Voice> OpenSapiVoice() {
  CLSID voiceClass{};
  if (FAILED(CLSIDFromProgID(L"SAPI.SpVoice", &voiceClass))) return nullptr;
  // A new voice each time, in this process or out of it, wherever the
  // system has it.
  ISpVoice* voice = nullptr;
  if (FAILED(CoCreateInstance(voiceClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_ISpVoice, reinterpret_cast<void**>(&voice))) ||
      voice == nullptr)
    return nullptr;
  return std::make_unique<SapiVoice>(voice);
}

}  // namespace keelmark
