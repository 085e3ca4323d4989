#pragma once
// The player's own speech service, speech-dispatcher, as the game's voice:
// whatever voice, rate and volume the player set up for it is what the game
// sounds like.
//
// libspeechd waits without end for a server that accepts a connection but
// never answers, so the voice makes its calls into it on one worker thread of
// its own, and the game waits for each call only so long. A server that
// misses such a deadline has stopped answering: the voice breaks down.
//
// Each word of a text is followed by an index mark, which the server reports
// when the word has been heard; the game goes on at the last mark, and gives
// the voice up when the marks of a text that has begun stop coming. A text
// that has not begun may be waiting behind another program's: as long as the
// server still answers, that is a busy server, and the game waits for it.

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
  // From handing a text over until its first word has been heard: the output
  // module opening the sound server on the first text took up to 1.8 s on a
  // machine with a load of 9 on two cores. Past it, and as often again, the
  // server is asked whether it still answers.
  std::chrono::milliseconds start{std::chrono::seconds(4)};
  // From one word heard to the next, besides the word's own time: the pause
  // at a full stop inside a text.
  std::chrono::milliseconds pause{std::chrono::milliseconds(1500)};
  // One character at a slow speaking rate (about 80 words a minute). Once a
  // text has begun, it holds the game no longer than the pause plus this for
  // each of its characters.
  std::chrono::milliseconds perCharacter{std::chrono::milliseconds(125)};
  // For the server to answer that question.
  std::chrono::milliseconds answer{std::chrono::seconds(1)};
  // The longest wait behind other programs' texts; then the game's text is
  // withdrawn unheard and the game goes on, the voice kept.
  std::chrono::milliseconds busy{std::chrono::seconds(20)};
};

// The server where speech-dispatcher's own clients look (SPEECHD_ADDRESS,
// else the user's default socket), started as the user configured it
// (SPEECHD_CMD, else speech-dispatcher) when none runs there, in a session of
// its own. Null when no server answers within limits.connect.
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
