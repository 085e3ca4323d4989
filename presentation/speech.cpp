#include "presentation/speech.h"

#include <utility>

#include "presentation/cp437.h"

namespace keelmark {

Speech::Speech(VoiceFactory createVoice, std::function<void()> beforeBlocking)
    : createVoice_(std::move(createVoice)), beforeBlocking_(std::move(beforeBlocking)) {}

void Speech::CreateVoice() {
  voice_.reset();
  if (createVoice_) voice_ = createVoice_();
}

void Speech::SpeakText() {
  // What was printed before this text must be on the screen while it is heard.
  if (beforeBlocking_) beforeBlocking_();
  // The slot is handed over: afterwards it holds the form the voice was given.
  speechText = Cp437ToUtf8(speechText);
  // Without a voice the game goes on silently; an empty text still goes to
  // the voice, which says nothing.
  if (voice_) voice_->Speak(speechText);
}

void Speech::ReleaseVoice() { voice_.reset(); }

}  // namespace keelmark
