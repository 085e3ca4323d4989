#include "presentation/speech.h"

#include <utility>

#include "presentation/cp437.h"

namespace keelmark {

Speech::Speech(std::vector<VoiceFactory> voices, std::function<void()> beforeBlocking, SpeechOptions options)
    : voices_(std::move(voices)), beforeBlocking_(std::move(beforeBlocking)), options_(std::move(options)) {
  if (!options_.toUtf8) options_.toUtf8 = Cp437ToUtf8;
}

Speech::Speech(VoiceFactory voice, std::function<void()> beforeBlocking, SpeechOptions options)
    : Speech(std::vector<VoiceFactory>{std::move(voice)}, std::move(beforeBlocking), std::move(options)) {}

Speech::~Speech() {
  if (voiceMaking_.valid()) voiceMaking_.wait();
}

void Speech::CreateVoice() {
  AwaitVoice();
  voice_.reset();
  nextVoice_ = 0;
  if (options_.making == VoiceMaking::OnCallingThread) {
    TakeNextVoice();
    return;
  }
  voiceMaking_ = std::async(std::launch::async, [this] { TakeNextVoice(); });
}

void Speech::AwaitVoice() {
  if (voiceMaking_.valid()) voiceMaking_.get();
}

void Speech::TakeNextVoice() {
  voice_.reset();
  while (!voice_ && nextVoice_ < voices_.size()) {
    const VoiceFactory& create = voices_[nextVoice_++];
    if (create) voice_ = create();
  }
}

void Speech::SpeakText() {
  // What was printed before this text must be on the screen while it is heard.
  if (beforeBlocking_) beforeBlocking_();
  // The slot is handed over: afterwards it holds the form the voice was given.
  speechText = options_.toUtf8(speechText);
  AwaitVoice();
  // A voice that breaks down mid-text is replaced, and the next one says the
  // text again: the player may not have heard it. Without any voice the game
  // goes on silently. An empty text still goes to the voice, which says
  // nothing.
  while (voice_ && !voice_->Speak(speechText)) TakeNextVoice();
}

void Speech::ReleaseVoice() {
  AwaitVoice();
  voice_.reset();
}

}  // namespace keelmark
