#include "platform/posix/sdl_audio_out.h"

#include "platform/clips/embedded_clips.h"

namespace keelmark {

namespace {

// Device buffers short enough that a sound starts, and a call returns after
// its last sample, within a few hundredths of a second, and long enough not
// to run dry on a busy two-core machine: 1024 frames are 21 ms at 48 kHz,
// which SDL's PulseAudio output also asks the server to hold. With 384 and
// 768 frames the clips were heard to break up there now and then while the
// terminal was being redrawn.
constexpr Uint16 deviceBufferFrames = 1024;

}  // namespace

SdlAudioOut::SdlAudioOut() {
  // The terminal's own signal handlers put the screen back on SIGINT and
  // SIGTERM; SDL's would swallow those signals instead.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  subsystemReady_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  deviceAvailable_ = OpenDevice();
}

SdlAudioOut::~SdlAudioOut() {
  CloseDevice();
  if (speechStream_) SDL_FreeAudioStream(speechStream_);
  if (subsystemReady_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// The device stays open from start-up to the end of the game. Each sound
// then queues behind the one before on a single stream, so two sounds can
// never overlap and none is cut short: closing a device drops whatever the
// sound server still holds of it, which on a busy machine was heard as a
// clipped tail. It also takes the server's slow start for a new stream once,
// at start-up, instead of at every sound.
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
  if (device_ == 0) return;
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
  if (device_ == 0) return;
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
  // The last piece has just gone into the mixing buffer; it still has that
  // buffer and the sound server's own, about as long again, to go through.
  SDL_Delay(static_cast<Uint32>(2 * 1000 * deviceSpec_.samples / deviceSpec_.freq + 1));
}

}  // namespace keelmark
