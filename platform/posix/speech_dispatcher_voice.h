#pragma once
// The player's own speech service, speech-dispatcher, as the game's voice:
// whatever voice, rate and volume the player set up for it is what the game
// sounds like.
//
// libspeechd waits without end for a server that accepts a connection but
// never answers, so every call into it that waits for the server runs on a
// thread of its own while the game waits for it only so long. A server that
// misses such a deadline has broken down for the rest of the run.

#include <chrono>
#include <memory>

#include "presentation/speech.h"

namespace keelmark {

struct SpeechDispatcherLimits {
  // Connecting and greeting the server, starting it on demand included.
  std::chrono::milliseconds connect{std::chrono::seconds(5)};
  // A text must have been spoken within perText + perCharacter * its length.
  std::chrono::milliseconds perText{std::chrono::seconds(5)};
  std::chrono::milliseconds perCharacter{std::chrono::milliseconds(200)};
};

// Null address: where speech-dispatcher's own clients look (SPEECHD_ADDRESS,
// else the user's default socket), starting the server configured for the
// user when none runs. An explicit address ("unix_socket:/path",
// "inet_socket:host:port") names a server that must already be there.
// Returns null when no server answers within limits.connect.
std::unique_ptr<Voice> OpenSpeechDispatcherVoice(const char* address = nullptr, SpeechDispatcherLimits limits = {});

}  // namespace keelmark
