#include "platform/windows/sapi_voice.h"

#include <windows.h>
#include <sapi.h>

#include <string>

namespace keelmark {

namespace {

// Empty when the text does not read in that code page.
std::wstring WideFrom(UINT codePage, DWORD flags, std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
  return wide;
}

class SapiVoice : public Voice {
 public:
  explicit SapiVoice(ISpVoice* voice) : voice_(voice) {}
  ~SapiVoice() override { voice_->Release(); }

  SapiVoice(const SapiVoice&) = delete;
  SapiVoice& operator=(const SapiVoice&) = delete;

  bool Speak(const std::string& utf8Text) override {
    const std::wstring text = WideFrom(CP_UTF8, 0, utf8Text);
    ULONG streamNumber = 0;
    // Synchronous: returns when the text has been spoken. Never markup: an
    // entry the player types that begins with "<" would otherwise be read
    // as tags, or not at all. A failure is not a reason to give the voice
    // up; some systems' Speak always fails, and the game then goes on
    // silently, as it would with no voice.
    voice_->Speak(text.c_str(), SPF_DEFAULT | SPF_IS_NOT_XML, &streamNumber);
    return true;
  }

 private:
  ISpVoice* voice_;
};

std::string Utf8From(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

}  // namespace

std::string Utf8FromConsoleText(std::string_view text) {
  // A console in the UTF-8 code page, say, gives bytes that need not form
  // UTF-8 one key at a time; those are read as the system's ANSI text.
  std::wstring wide = WideFrom(GetConsoleCP(), MB_ERR_INVALID_CHARS, text);
  if (wide.empty()) wide = WideFrom(CP_ACP, 0, text);
  return Utf8From(wide);
}

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
