#pragma once
// The player's own speech service, speech-dispatcher, as the game's voice:
// whatever voice, rate and volume the player set up for it is what the game
// sounds like.
//
// libspeechd waits without end for a server that accepts a connection but
// never answers, so every call into it that waits for the server runs on a
// thread of its own while the game waits for it only so long. A server that
// misses such a deadline has broken down for the rest of the run.
//
// The words of a text are heard, not only handed over: each word is followed
// by an index mark, which the server reports when its sound has been played.
// The game goes on at the last mark, at the end of the text, without waiting
// for the synthesiser's pause after it, and gives the voice up as soon as
// the marks stop coming.

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
  // From handing a text over until the server has begun to sound it: its
  // output module opening the sound server on the first text. A healthy
  // server took up to 1.8 s on a machine with a load of 9 on two cores.
  std::chrono::milliseconds start{std::chrono::seconds(4)};
  // From one word heard to the next, besides the word's own time: the pause
  // at a full stop inside a text.
  std::chrono::milliseconds pause{std::chrono::milliseconds(1500)};
  // One character at a slow speaking rate (about 80 words a minute). No text
  // holds the game longer than start plus this for each of its characters.
  std::chrono::milliseconds perCharacter{std::chrono::milliseconds(125)};
};

// Null address: where speech-dispatcher's own clients look (SPEECHD_ADDRESS,
// else the user's default socket), starting the server configured for the
// user (SPEECHD_CMD, else speech-dispatcher) when none runs, in a session of
// its own. An explicit address ("unix_socket:/path",
// "inet_socket:host:port") names a server that must already be there.
// Returns null when no server answers within limits.connect.
std::unique_ptr<Voice> OpenSpeechDispatcherVoice(const char* address = nullptr, SpeechDispatcherLimits limits = {});

// The form a text is handed to the server in: SSML with an index mark named
// "w1", "w2", ... after each word with the punctuation that ends it, the
// last at the very end; a closing "?" or single "!" is doubled. A mark
// between the last word and its closing punctuation came from espeak-ng's
// module at the start of that word, hundreds of ms before it had been heard.
// Exposed for the tests.
struct MarkedText {
  std::string ssml;
  // Characters of the text up to each mark, from the one before.
  std::vector<std::size_t> charactersBeforeMark;
};
MarkedText MarkWords(const std::string& utf8Text);

}  // namespace keelmark
