#pragma once
// The one way the game speaks: assign speechText, call SpeakText; the call
// returns when the text has been heard.

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace keelmark {

class Voice {
 public:
  virtual ~Voice() = default;
  // Speaks UTF-8 text and returns when it has finished. Returns false when
  // the voice has broken down (its server stopped answering, say): the text
  // may not have been heard, and the voice is not asked again.
  virtual bool Speak(const std::string& utf8Text) = 0;
};

class SilentVoice : public Voice {
 public:
  bool Speak(const std::string&) override { return true; }
};

// Turns the game's 8-bit text into the UTF-8 a voice is given.
using TextToUtf8 = std::function<std::string(std::string_view)>;

// Where the voice is made. A speech server may take a fifth of a second to
// start, and the title need not wait for it; but a voice that belongs to the
// thread that made it (a COM object in a single-threaded apartment) must be
// made on the thread that speaks.
enum class VoiceMaking { InBackground, OnCallingThread };

struct SpeechOptions {
  VoiceMaking making = VoiceMaking::InBackground;
  // Empty: the bytes are CP437, the console code page of the original
  // platform.
  TextToUtf8 toUtf8;
};

class Speech {
 public:
  // Makes a voice, or returns null when that voice cannot be had here.
  using VoiceFactory = std::function<std::unique_ptr<Voice>()>;

  // beforeBlocking runs before every spoken text, so that whatever was
  // printed before it is on the screen while it is heard. The voices are
  // tried in the order given, once each: the first that can be made speaks,
  // and when it breaks down the next one takes over for the rest of the run.
  Speech(std::vector<VoiceFactory> voices, std::function<void()> beforeBlocking, SpeechOptions options = {});
  Speech(VoiceFactory voice, std::function<void()> beforeBlocking, SpeechOptions options = {});

  ~Speech();
  Speech(const Speech&) = delete;
  Speech& operator=(const Speech&) = delete;

  std::string speechText;

  // Made in the background, the voice is begun and the call returns at
  // once; the first SpeakText waits until the voice is there.
  void CreateVoice();
  void SpeakText();
  void ReleaseVoice();

 private:
  void TakeNextVoice();
  void AwaitVoice();

  std::vector<VoiceFactory> voices_;
  std::size_t nextVoice_ = 0;
  std::function<void()> beforeBlocking_;
  SpeechOptions options_;
  std::unique_ptr<Voice> voice_;
  // Last, so that a voice still being made is waited for before the members
  // it works on go away.
  std::future<void> voiceMaking_;
};

}  // namespace keelmark
