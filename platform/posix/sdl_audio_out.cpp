#include "platform/posix/sdl_audio_out.h"

#include "platform/posix/embedded_clips.h"

namespace keelmark {

namespace {

// Small device buffers keep the time from a call to its sound, and from its
// last sample to the call's return, short: 384 frames are 8 ms at 48 kHz.
// Smaller ones were heard to break up while the machine was busy.
constexpr Uint16 deviceBufferFrames = 384;

}  // namespace

SdlAudioOut::SdlAudioOut() {
  // The terminal's own signal handlers put the screen back on SIGINT and
  // SIGTERM; SDL's would swallow those signals instead.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  subsystemReady_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  // Opened once here to learn whether there is a device at all; from then
  // on it is open only while something sounds.
  deviceAvailable_ = OpenDevice();
  CloseDevice();
}

SdlAudioOut::~SdlAudioOut() {
  CloseDevice();
  if (speechStream_) SDL_FreeAudioStream(speechStream_);
  if (subsystemReady_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool SdlAudioOut::OpenDevice() {
  if (device_ != 0) return true;
  if (!subsystemReady_) return false;
  SDL_AudioSpec wanted{};
  wanted.freq = 48000;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = deviceBufferFrames;
  SDL_AudioSpec obtained{};
  device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (device_ == 0) return false;
  if (obtained.freq != deviceSpec_.freq || obtained.channels != deviceSpec_.channels ||
      obtained.format != deviceSpec_.format)
    convertedClips_.clear();
  deviceSpec_ = obtained;
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

void SdlAudioOut::CloseDevice() {
  if (device_ == 0) return;
  SDL_CloseAudioDevice(device_);
  device_ = 0;
}

const std::vector<std::uint8_t>* SdlAudioOut::ConvertedClip(const std::string& name) {
  const EmbeddedClip* clip = FindClip(name);
  if (!clip) return nullptr;
  auto cached = convertedClips_.find(clip->name);
  if (cached != convertedClips_.end()) return &cached->second;

  SDL_AudioSpec clipSpec{};
  Uint8* samples = nullptr;
  Uint32 length = 0;
  if (!SDL_LoadWAV_RW(SDL_RWFromConstMem(clip->data, static_cast<int>(clip->size)), 1, &clipSpec,
                      &samples, &length))
    return nullptr;
  std::vector<std::uint8_t> converted;
  SDL_AudioStream* stream = SDL_NewAudioStream(clipSpec.format, clipSpec.channels, clipSpec.freq,
                                               deviceSpec_.format, deviceSpec_.channels, deviceSpec_.freq);
  if (stream && SDL_AudioStreamPut(stream, samples, static_cast<int>(length)) == 0 &&
      SDL_AudioStreamFlush(stream) == 0) {
    converted.resize(static_cast<std::size_t>(SDL_AudioStreamAvailable(stream)));
    const int got = SDL_AudioStreamGet(stream, converted.data(), static_cast<int>(converted.size()));
    converted.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  }
  if (stream) SDL_FreeAudioStream(stream);
  SDL_FreeWAV(samples);
  return &convertedClips_.emplace(clip->name, std::move(converted)).first->second;
}

void SdlAudioOut::PlayClip(const std::string& name) {
  if (!deviceAvailable_ || !OpenDevice()) return;
  const std::vector<std::uint8_t>* clip = ConvertedClip(name);
  if (!clip || clip->empty()) return;
  if (SDL_QueueAudio(device_, clip->data(), static_cast<Uint32>(clip->size())) != 0) return;
  WaitUntilHeard();
}

void SdlAudioOut::StopAll() {
  if (device_ != 0) SDL_ClearQueuedAudio(device_);
  CloseDevice();
}

void SdlAudioOut::BeginSamples(int sampleRate) {
  if (speechStream_) SDL_FreeAudioStream(speechStream_);
  speechStream_ = nullptr;
  if (!deviceAvailable_ || !OpenDevice()) return;
  speechStream_ = SDL_NewAudioStream(AUDIO_S16SYS, 1, sampleRate, deviceSpec_.format,
                                     deviceSpec_.channels, deviceSpec_.freq);
}

void SdlAudioOut::QueueSamples(const std::int16_t* samples, std::size_t count) {
  if (!speechStream_ || count == 0) return;
  if (SDL_AudioStreamPut(speechStream_, samples, static_cast<int>(count * sizeof(std::int16_t))) != 0)
    return;
  QueueConverted(speechStream_);
}

void SdlAudioOut::FinishSamples() {
  if (!speechStream_) return;
  SDL_AudioStreamFlush(speechStream_);
  QueueConverted(speechStream_);
  SDL_FreeAudioStream(speechStream_);
  speechStream_ = nullptr;
  WaitUntilHeard();
}

void SdlAudioOut::QueueConverted(SDL_AudioStream* stream) {
  std::uint8_t piece[8192];
  int got = 0;
  while ((got = SDL_AudioStreamGet(stream, piece, sizeof piece)) > 0)
    SDL_QueueAudio(device_, piece, static_cast<Uint32>(got));
}

void SdlAudioOut::WaitUntilHeard() {
  if (device_ == 0) return;
  // SDL offers no event for a drained queue; a millisecond's poll is as
  // close as the device's own buffer lets us know anyway.
  while (SDL_GetQueuedAudioSize(device_) > 0 && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_PLAYING)
    SDL_Delay(1);
  // The last piece has just gone into the mixing buffer; one buffer's time
  // later it has reached the sound server, and closing lets the server play
  // out what it holds. Closing also keeps the device from waking the machine
  // while the game waits for the player, and a freshly opened stream starts
  // sooner than one with silence already buffered ahead of the new sound.
  SDL_Delay(static_cast<Uint32>(1000 * deviceSpec_.samples / deviceSpec_.freq + 1));
  CloseDevice();
}

}  // namespace keelmark
