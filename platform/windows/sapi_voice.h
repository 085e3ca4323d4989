#pragma once
// The system's text-to-speech voice, SAPI 5's "SAPI.SpVoice", with the
// voice, rate and volume the player chose for Windows.

#include <memory>
#include <string>
#include <string_view>

#include "presentation/speech.h"

namespace keelmark {

// Null when there is no such voice here. The calling thread must have
// initialised COM, and only that thread may speak with the voice.
std::unique_ptr<Voice> OpenSapiVoice();

// The game's 8-bit text as UTF-8, read in the console's input code page,
// which is what the player's keys arrived in, or in the system's ANSI code
// page where that does not read it.
std::string Utf8FromConsoleText(std::string_view text);

}  // namespace keelmark
