#pragma once
// The espeak-ng library as the voice when no speech service answers: its
// samples go through the game's own audio output, like the clips.

#include <memory>

#include "presentation/speech.h"

namespace keelmark {

class SdlAudioOut;

// Null when there is nothing to hear it on, or espeak-ng cannot load its data.
std::unique_ptr<Voice> OpenEspeakVoice(SdlAudioOut& audio);

}  // namespace keelmark
