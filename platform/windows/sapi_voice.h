#pragma once
// The system's text-to-speech voice, SAPI 5's "SAPI.SpVoice", with the
// voice, rate and volume the player chose for Windows.

#include <memory>

#include "presentation/speech.h"

namespace keelmark {

// Null when there is no such voice here. The calling thread must have
// initialised COM.
std::unique_ptr<Voice> OpenSapiVoice();

}  // namespace keelmark
