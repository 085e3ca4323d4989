#pragma once
// The one way the game speaks: assign speechText, call SpeakText; the call
// returns when the text has been heard.

#include <functional>
#include <memory>
#include <string>

namespace keelmark {

class Voice {
 public:
  virtual ~Voice() = default;
  // Speaks UTF-8 text and returns when it has finished.
  virtual void Speak(const std::string& utf8Text) = 0;
};

class SilentVoice : public Voice {
 public:
  void Speak(const std::string&) override {}
};

class Speech {
 public:
  using VoiceFactory = std::function<std::unique_ptr<Voice>()>;

  // beforeBlocking runs before every spoken text, so that whatever was
  // printed before it is on the screen while it is heard.
  Speech(VoiceFactory createVoice, std::function<void()> beforeBlocking);

  std::string speechText;

  void CreateVoice();
  void SpeakText();
  void ReleaseVoice();

 private:
  VoiceFactory createVoice_;
  std::function<void()> beforeBlocking_;
  std::unique_ptr<Voice> voice_;
};

}  // namespace keelmark
