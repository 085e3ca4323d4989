#pragma once
// The player's own speech service, speech-dispatcher, as the game's voice:
// whatever voice, rate and volume the player set up for it is what the game
// sounds like.
//
// libspeechd waits without end for a server that never answers, so the
// voice calls it from one worker thread, and the game waits for each call
// only so long. Each word is followed by an index mark, reported when it has
// been heard: the game goes on at the last, and gives the voice up when the
// marks of a begun text stop coming, or the server stops answering or hangs
// up. A text not yet begun may be queued behind another program's: a server
// that still answers is busy, not broken, and is waited for.

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "presentation/speech.h"

namespace keelmark {

struct SpeechDispatcherLimits {
  // Connecting and greeting the server, starting it on demand included.
  std::chrono::milliseconds connect{std::chrono::seconds(5)};
  // From handing a text over, or from its output beginning, until its first
  // word is heard (opening the sound server took up to 1.8 s under a load of
  // 9 on two cores). While the text waits, the server is asked this often
  // whether it still answers.
  std::chrono::milliseconds start{std::chrono::seconds(4)};
  // From one word heard to the next, besides the word's own time: the pause
  // at a full stop inside a text.
  std::chrono::milliseconds pause{std::chrono::milliseconds(1500)};
  // One character at about 80 words a minute. A text holds the game from its
  // first word no longer than the pause plus this for each character.
  std::chrono::milliseconds perCharacter{std::chrono::milliseconds(125)};
  // For the server to answer that question.
  std::chrono::milliseconds answer{std::chrono::seconds(1)};
  // The longest wait behind other programs' texts; then the game's text is
  // withdrawn unheard and the game goes on, the voice kept.
  std::chrono::milliseconds busy{std::chrono::seconds(20)};
};

// The server where speech-dispatcher's clients look (SPEECHD_ADDRESS, else
// the user's socket), started (SPEECHD_CMD, else speech-dispatcher) in a
// session of its own when none runs there. Null when none answers in time.
std::unique_ptr<Voice> OpenSpeechDispatcherVoice(SpeechDispatcherLimits limits = {});

// The form a text is handed to the server in: the text itself, as SSML, with
// an index mark named "w1", "w2", ... after each word and the punctuation
// that ends it, the last at the very end. Exposed for the tests.
struct MarkedText {
  std::string ssml;
  // Characters of the text up to each mark, from the one before.
  std::vector<std::size_t> charactersBeforeMark;
};
MarkedText MarkWords(const std::string& utf8Text);

}  // namespace keelmark
