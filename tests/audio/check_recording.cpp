// Checks a recording of SDL's disk driver, which holds exactly the samples
// the game handed its audio device, against the sounds the game was expected
// to make, sample for sample.
//
//   keelmark_check_recording RECORDING EXPECTED LONGEST_PAUSE_MS
//
// RECORDING is raw audio in the format the game asks its device for. EXPECTED
// lists the sounds in the order they must be heard, one a line:
//   say TEXT     the espeak-ng voice speaking TEXT
//   clip NAME    an embedded clip
//   wait         the game waits for the player: any silence may follow
// Every clip must be there whole, every text exactly as espeak-ng renders it
// once the game has trimmed its quiet ends, each in its turn and nothing else
// in between. Between two sounds with no "wait" between them the game is
// stringing its own sounds together, so the silence there may exceed
// LONGEST_PAUSE_MS once at most, and 1 s never. Prints the timeline it
// found; exits 1 on a fault.

#include <SDL.h>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/clips/embedded_clips.h"

namespace {

// The format the game opens its device with. The disk driver takes it as it
// is, so the file holds exactly this.
constexpr int deviceRate = 48000;
constexpr int deviceChannels = 2;
constexpr SDL_AudioFormat deviceFormat = AUDIO_S16SYS;
constexpr std::size_t frameBytes = deviceChannels * sizeof(std::int16_t);

using Frames = std::vector<std::uint32_t>;  // one stereo frame per element

struct Sound {
  enum Kind { Speech, Clip } kind;
  std::string name;  // the text spoken, or the clip's name
  bool afterWait;    // the player was waited for just before it
  Frames frames;
};

std::string Describe(const Sound& sound) {
  return sound.kind == Sound::Clip ? sound.name : "\"" + sound.name + "\"";
}

double Seconds(std::size_t frames) { return static_cast<double>(frames) / deviceRate; }
std::string SecondsText(std::size_t frames) { return std::to_string(Seconds(frames)) + " s"; }

Frames ToFrames(const std::vector<std::uint8_t>& bytes) {
  Frames frames(bytes.size() / frameBytes);
  std::memcpy(frames.data(), bytes.data(), frames.size() * frameBytes);
  return frames;
}

// Everything a conversion still holds, as frames; the stream is freed.
Frames Finish(SDL_AudioStream* stream) {
  SDL_AudioStreamFlush(stream);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(SDL_AudioStreamAvailable(stream)));
  const int got = SDL_AudioStreamGet(stream, bytes.data(), static_cast<int>(bytes.size()));
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  SDL_FreeAudioStream(stream);
  return ToFrames(bytes);
}

// A clip is decoded and converted to the device's format in one piece.
Frames ClipFrames(const std::string& name) {
  const keelmark::EmbeddedClip* clip = keelmark::FindClip(name);
  SDL_AudioSpec spec{};
  Uint8* samples = nullptr;
  Uint32 length = 0;
  Frames frames;
  if (clip && SDL_LoadWAV_RW(SDL_RWFromConstMem(clip->data, static_cast<int>(clip->size)), 1, &spec,
                             &samples, &length)) {
    SDL_AudioStream* stream =
        SDL_NewAudioStream(spec.format, spec.channels, spec.freq, deviceFormat, deviceChannels, deviceRate);
    SDL_AudioStreamPut(stream, samples, static_cast<int>(length));
    frames = Finish(stream);
    SDL_FreeWAV(samples);
  }
  if (frames.empty()) {
    std::fprintf(stderr, "no clip named %s could be converted\n", name.c_str());
    std::exit(2);
  }
  return frames;
}

// Speech reaches the device converted piece by piece as espeak-ng renders
// it, and SDL's resampler rounds at every piece, so the expected samples
// come from the same pieces: the quiet before the first and after the last
// audible sample left out, a quiet stretch inside held back until the next
// audible sample.
struct Rendering {
  SDL_AudioStream* stream = nullptr;
  bool heardAnything = false;
  std::vector<std::int16_t> heldBack;
};

int ReceiveSpeech(short* samples, int count, espeak_EVENT* events) {
  if (samples == nullptr || count <= 0 || events == nullptr || events->user_data == nullptr) return 0;
  auto& rendering = *static_cast<Rendering*>(events->user_data);
  constexpr int quietLevel = 64;
  int from = 0;
  if (!rendering.heardAnything) {
    while (from < count && std::abs(samples[from]) <= quietLevel) ++from;
    if (from == count) return 0;
    rendering.heardAnything = true;
  }
  auto& held = rendering.heldBack;
  held.insert(held.end(), samples + from, samples + count);
  std::size_t audible = held.size();
  while (audible > 0 && std::abs(held[audible - 1]) <= quietLevel) --audible;
  if (audible == 0) return 0;
  SDL_AudioStreamPut(rendering.stream, held.data(), static_cast<int>(audible * sizeof(std::int16_t)));
  held.erase(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(audible));
  return 0;
}

Frames SpeechFrames(const std::string& text, int sampleRate) {
  Rendering rendering;
  rendering.stream =
      SDL_NewAudioStream(AUDIO_S16SYS, 1, sampleRate, deviceFormat, deviceChannels, deviceRate);
  espeak_ng_Synthesize(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                       &rendering);
  return Finish(rendering.stream);
}

std::vector<Sound> ReadExpected(const char* path, int speechRate) {
  std::ifstream file(path);
  std::vector<Sound> sounds;
  std::string line;
  bool waited = true;  // the game's start-up is no pause of its making
  while (std::getline(file, line)) {
    if (line == "wait") {
      waited = true;
    } else if (line.starts_with("say ")) {
      sounds.push_back({Sound::Speech, line.substr(4), waited, SpeechFrames(line.substr(4), speechRate)});
      waited = false;
    } else if (line.starts_with("clip ")) {
      sounds.push_back({Sound::Clip, line.substr(5), waited, ClipFrames(line.substr(5))});
      waited = false;
    } else if (!line.empty()) {
      std::fprintf(stderr, "%s: cannot read '%s'\n", path, line.c_str());
      std::exit(2);
    }
  }
  return sounds;
}

std::size_t LeadingZeros(const Frames& frames) {
  return static_cast<std::size_t>(std::find_if(frames.begin(), frames.end(), [](auto f) { return f != 0; }) -
                                  frames.begin());
}

// What the recording holds at `at`, and when, said as the known sound that
// goes on matching it the longest, for a message that names what was heard.
std::string Identify(const Frames& recording, std::size_t at, const std::vector<Sound>& known) {
  const Sound* best = nullptr;
  std::size_t bestLength = 0;
  bool bestWhole = false;
  for (const Sound& sound : known) {
    const std::size_t lead = LeadingZeros(sound.frames);
    std::size_t length = 0;
    while (lead + length < sound.frames.size() && at + length < recording.size() &&
           sound.frames[lead + length] == recording[at + length])
      ++length;
    if (length > bestLength) {
      best = &sound;
      bestLength = length;
      bestWhole = lead + length == sound.frames.size();
    }
  }
  const std::string when = " at " + SecondsText(at);
  if (best == nullptr || bestLength < deviceRate / 50) return "a sound that is none of the game's" + when;
  return (bestWhole ? Describe(*best) : "a sound that begins like " + Describe(*best)) + when;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "FAIL: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s RECORDING EXPECTED LONGEST_PAUSE_MS\n", argv[0]);
    return 2;
  }
  const std::size_t longestPause = static_cast<std::size_t>(std::atoi(argv[3])) * deviceRate / 1000;
  // The timeline and a failure come out in the order they happened.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (SDL_Init(0) != 0) return 2;
  espeak_ng_InitializePath(nullptr);
  if (espeak_ng_Initialize(nullptr) != ENS_OK ||
      espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 50, nullptr) != ENS_OK ||
      espeak_ng_SetVoiceByName(ESPEAKNG_DEFAULT_VOICE) != ENS_OK) {
    std::fprintf(stderr, "espeak-ng would not start\n");
    return 2;
  }
  espeak_SetSynthCallback(&ReceiveSpeech);
  const std::vector<Sound> expected = ReadExpected(argv[2], espeak_ng_GetSampleRate());

  std::ifstream file(argv[1], std::ios::binary);
  const Frames recording = ToFrames({std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()});
  std::printf("%.3f s recorded\n  seconds   pause length  sound\n", Seconds(recording.size()));

  std::vector<Sound> known = expected;
  for (const keelmark::EmbeddedClip& clip : keelmark::EmbeddedClips())
    known.push_back({Sound::Clip, clip.name, false, ClipFrames(clip.name)});

  std::size_t at = 0;  // the end of the last sound found
  // A neighbour may hold the game up once; a pause the game makes itself
  // comes back at every sound of its kind, and each kind comes twice or
  // more in a game. So one long pause is let pass, unless it is absurd.
  std::size_t longestGap = 0;
  std::vector<std::string> longPauses;
  for (const Sound& sound : expected) {
    if (sound.frames.empty()) continue;  // a text with nothing to say
    std::size_t next = at;
    while (next < recording.size() && recording[next] == 0) ++next;
    if (next == recording.size())
      return Fail(Describe(sound) + " was never heard; the recording is silent after " + SecondsText(at));
    // A sound that opens with silence starts before its first audible frame.
    const std::size_t lead = LeadingZeros(sound.frames);
    const auto heardInstead = [&] {
      return Fail(Identify(recording, next, known) + ", where " + Describe(sound) + " was expected");
    };
    if (next - at < lead || sound.frames[lead] != recording[next]) return heardInstead();
    const std::size_t start = next - lead;
    const std::size_t gap = start - at;
    // The time, the silence before (or "player" where the game waited), the
    // length, the sound.
    char before[16] = "  player";
    if (!sound.afterWait) std::snprintf(before, sizeof before, "%+8.3f", Seconds(gap));
    std::printf("%9.3f %s %6.3f  %s\n", Seconds(start), before, Seconds(sound.frames.size()),
                Describe(sound).c_str());
    if (!sound.afterWait) {
      longestGap = std::max(longestGap, gap);
      if (gap > longestPause) longPauses.push_back(SecondsText(gap) + " before " + Describe(sound));
    }
    // Speech is queued while it is being rendered, so a busy machine may let
    // the device run dry between two pieces; a clip is queued whole and can
    // never be broken up.
    std::size_t r = start, dropouts = 0, longestDropout = 0;
    for (std::size_t e = 0; e < sound.frames.size(); ++e, ++r) {
      if (r < recording.size() && recording[r] == sound.frames[e]) continue;
      if (sound.kind == Sound::Speech && r < recording.size() && recording[r] == 0) {
        const std::size_t from = r;
        while (r < recording.size() && recording[r] == 0) ++r;
        ++dropouts;
        longestDropout = std::max(longestDropout, r - from);
        if (r < recording.size() && recording[r] == sound.frames[e]) continue;
      }
      if (r >= recording.size())
        return Fail(Describe(sound) + " was cut short: the recording ends " + SecondsText(e) + " into it");
      // Another sound that happens to open with the same sample.
      if (e < lead + deviceRate / 10) return heardInstead();
      return Fail(Describe(sound) + " from " + SecondsText(start) + " " +
                  (recording[r] == 0 ? "fell silent " : "differs from what it should be ") +
                  SecondsText(e) + " into it (at " + SecondsText(r) + ")");
    }
    if (dropouts > 0) {
      std::printf("           the device ran dry %zu time(s) inside it, for up to %.3f s\n", dropouts,
                  Seconds(longestDropout));
      longestGap = std::max(longestGap, longestDropout);
      if (longestDropout > longestPause)
        longPauses.push_back(SecondsText(longestDropout) + " inside " + Describe(sound));
    }
    at = r;
  }
  std::printf("longest pause inside the game's strings of sounds: %.3f s\n", Seconds(longestGap));
  if (longPauses.size() > 1 || longestGap > deviceRate) {
    std::string list;
    for (const std::string& pause : longPauses) list += "\n  " + pause;
    return Fail("silence inside the game's own strings of sounds longer than " + std::string(argv[3]) +
                " ms (once may be a busy machine, never over 1 s):" + list);
  }
  for (const std::string& pause : longPauses) std::printf("one long pause let pass: %s\n", pause.c_str());
  const auto stray = std::find_if(recording.begin() + static_cast<std::ptrdiff_t>(at), recording.end(),
                                  [](auto f) { return f != 0; });
  if (stray != recording.end()) {
    const std::size_t where = static_cast<std::size_t>(stray - recording.begin());
    return Fail(Identify(recording, where, known) + ", after the last expected sound");
  }
  espeak_ng_Terminate();
  SDL_Quit();
  return 0;
}
