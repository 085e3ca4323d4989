#include "platform/posix/sdl_audio_out.h"

#include <algorithm>
#include <cstring>

#include "platform/clips/embedded_clips.h"

namespace keelmark {

namespace {

// SDL's device plays where no PulseAudio server answers (ALSA, say) and into
// a file for the tests. Its buffer is what a sound waits behind, so it is
// short; 1024 frames (21 ms at 48 kHz) is the shortest that SDL over a
// sound server on a busy two-core machine played without breaking up:
// 512 frames broke up there dozens of times in a game.
constexpr Uint16 deviceBufferFrames = 1024;

// An open SDL device keeps its thread writing silence even when paused,
// hundreds of wake-ups a second in the game and in the sound server; only
// a closed one is quiet. The file and dummy drivers cost nothing open, and
// the file driver would start its recording afresh on every open.
bool ClosesWhenQuiet(const char* driver) {
  return driver && std::strcmp(driver, "disk") != 0 && std::strcmp(driver, "dummy") != 0;
}

}  // namespace

SdlAudioOut::SdlAudioOut(WhenQuiet whenQuiet) : whenQuiet_(whenQuiet) {
  // The terminal's own signal handlers put the screen back on SIGINT and
  // SIGTERM; SDL's would swallow those signals instead.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // SDL keeps per-thread state (its error text) that only threads it made
  // itself give back when they end; these two give it back by hand.
  subsystemStarting_ = std::async(std::launch::async, [this] {
                         StartSubsystem();
                         SDL_TLSCleanup();
                       }).share();
  closer_ = std::thread([this] {
    CloseWhenQuiet();
    SDL_TLSCleanup();
  });
}

SdlAudioOut::~SdlAudioOut() {
  AwaitSubsystem();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ending_ = true;
  }
  quietChanged_.notify_all();
  closer_.join();
  CloseDevice();
  if (speechStream_) SDL_FreeAudioStream(speechStream_);
  if (subsystemReady_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// Connecting to a sound server can take most of the time the title has to
// appear in; the first device is opened here too, so that the first sound
// does not pay for it, and it is closed again like any other when quiet.
void SdlAudioOut::StartSubsystem() {
  subsystemReady_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  if (!subsystemReady_) return;
  const char* driver = SDL_GetCurrentAudioDriver();
  closeWhenQuiet_ = whenQuiet_ == WhenQuiet::CloseAnyDevice || ClosesWhenQuiet(driver);
  std::lock_guard<std::mutex> lock(mutex_);
  // SDL has found a PulseAudio server that answers (it never starts one),
  // so the server's own library, which would start one, plays to it. SDL's
  // PipeWire driver stays with SDL: behind it there may be no PulseAudio
  // service at all.
  if (driver && std::strcmp(driver, "pulseaudio") == 0) {
    pulse_ = PulsePlayback::Connect();
    if (pulse_) {
      usePulse_ = true;
      deviceSpec_ = SDL_AudioSpec{};
      deviceSpec_.freq = PulsePlayback::framesPerSecond;
      deviceSpec_.format = AUDIO_S16SYS;
      deviceSpec_.channels = PulsePlayback::channels;
    }
  }
  deviceAvailable_ = OpenDevice();
  if (deviceAvailable_ && !usePulse_) SDL_PauseAudioDevice(device_, 0);
  lastSoundHeard_ = Clock::now();
  quietChanged_.notify_all();
}

void SdlAudioOut::AwaitSubsystem() {
  if (subsystemStarting_.valid()) subsystemStarting_.wait();
}

bool SdlAudioOut::HasDevice() {
  AwaitSubsystem();
  return deviceAvailable_;
}

bool SdlAudioOut::DeviceIsOpen() {
  AwaitSubsystem();
  std::lock_guard<std::mutex> lock(mutex_);
  return IsOpen();
}

// Opens paused: the caller queues its sound first, so that the device's
// first buffer already holds it.
bool SdlAudioOut::OpenDevice() {
  if (IsOpen()) return true;
  if (usePulse_) {
    pulse_ = PulsePlayback::Connect();
    return pulse_ != nullptr;
  }
  if (!subsystemReady_) return false;
  SDL_AudioSpec wanted{};
  wanted.freq = 48000;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = 2;
  wanted.samples = deviceBufferFrames;
  SDL_AudioSpec obtained{};
  device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (device_ == 0) return false;
  if (obtained.freq != deviceSpec_.freq || obtained.format != deviceSpec_.format ||
      obtained.channels != deviceSpec_.channels)
    convertedClips_.clear();
  deviceSpec_ = obtained;
  return true;
}

void SdlAudioOut::CloseDevice() {
  pulse_.reset();
  if (device_ == 0) return;
  SDL_CloseAudioDevice(device_);
  device_ = 0;
}

// Closes the device once nothing has played for idleBeforeClosing. It
// sleeps until then, and without an open device until the next sound, so it
// costs one wake-up per quiet spell.
void SdlAudioOut::CloseWhenQuiet() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!ending_) {
    if (IsOpen() && closeWhenQuiet_ && !soundInProgress_) {
      const Clock::time_point due = lastSoundHeard_ + idleBeforeClosing;
      if (Clock::now() >= due) {
        CloseDevice();
        continue;
      }
      quietChanged_.wait_until(lock, due);
    } else {
      quietChanged_.wait(lock);
    }
  }
}

void SdlAudioOut::SoundFinished(std::unique_lock<std::mutex>& lock) {
  soundInProgress_ = false;
  lastSoundHeard_ = Clock::now();
  lock.unlock();
  quietChanged_.notify_all();
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
  if (!HasDevice()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  if (!OpenDevice()) return;
  soundInProgress_ = true;
  const std::vector<std::uint8_t>* clip = ConvertedClip(name);
  if (clip && !clip->empty()) {
    Queue(clip->data(), clip->size());
    WaitUntilHeard();
  }
  SoundFinished(lock);
}

void SdlAudioOut::StopAll() {
  AwaitSubsystem();
  std::lock_guard<std::mutex> lock(mutex_);
  if (device_ != 0) SDL_ClearQueuedAudio(device_);
  CloseDevice();
}

void SdlAudioOut::BeginSamples(int sampleRate) {
  if (!HasDevice()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (speechStream_) SDL_FreeAudioStream(speechStream_);
  speechStream_ = nullptr;
  if (!OpenDevice()) return;
  soundInProgress_ = true;
  speechStream_ = SDL_NewAudioStream(AUDIO_S16SYS, 1, sampleRate, deviceSpec_.format, deviceSpec_.channels,
                                     deviceSpec_.freq);
}

void SdlAudioOut::QueueSamples(const std::int16_t* samples, std::size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!speechStream_ || count == 0 || !IsOpen()) return;
  if (SDL_AudioStreamPut(speechStream_, samples, static_cast<int>(count * sizeof(std::int16_t))) != 0)
    return;
  QueueConverted(speechStream_);
}

void SdlAudioOut::FinishSamples() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!speechStream_) return;
  SDL_AudioStreamFlush(speechStream_);
  if (IsOpen()) QueueConverted(speechStream_);
  SDL_FreeAudioStream(speechStream_);
  speechStream_ = nullptr;
  WaitUntilHeard();
  SoundFinished(lock);
}

// All that is ready goes in one piece: each handing-over wakes the server's
// client thread, and this one with it.
void SdlAudioOut::QueueConverted(SDL_AudioStream* stream) {
  const int available = SDL_AudioStreamAvailable(stream);
  if (available <= 0) return;
  convertedSpeech_.resize(static_cast<std::size_t>(available));
  const int got = SDL_AudioStreamGet(stream, convertedSpeech_.data(), available);
  if (got > 0) Queue(convertedSpeech_.data(), static_cast<std::size_t>(got));
}

// A server that stops answering is let go; the next sound tries a new
// stream, and without one it is skipped.
void SdlAudioOut::Queue(const void* data, std::size_t bytes) {
  if (usePulse_) {
    if (pulse_ && !pulse_->Write(data, bytes)) pulse_.reset();
    return;
  }
  if (device_ == 0) return;
  SDL_QueueAudio(device_, data, static_cast<Uint32>(bytes));
  SDL_PauseAudioDevice(device_, 0);
}

void SdlAudioOut::WaitUntilHeard() {
  if (usePulse_) {
    if (pulse_ && !pulse_->WaitUntilPlayed()) pulse_.reset();
    return;
  }
  if (device_ == 0) return;
  const Uint32 bytesPerSecond = static_cast<Uint32>(deviceSpec_.freq) * deviceSpec_.channels *
                                (SDL_AUDIO_BITSIZE(deviceSpec_.format) / 8);
  const Uint32 bufferMs = 1000u * deviceSpec_.samples / static_cast<Uint32>(deviceSpec_.freq);
  // SDL offers no event for a drained queue. Sleeping for as long as the
  // queue still plays gets there in a few wake-ups; the last device buffer
  // or less is watched a millisecond at a time, because the moment it is
  // taken is what the return below is timed from.
  for (;;) {
    const Uint32 queued = SDL_GetQueuedAudioSize(device_);
    if (queued == 0 || SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_PLAYING) break;
    const Uint32 queuedMs = static_cast<Uint32>(std::uint64_t{queued} * 1000 / bytesPerSecond);
    SDL_Delay(std::max<Uint32>(queuedMs, 1));
  }
  // The last piece has just gone into the mixing buffer; it still has that
  // buffer and the sound server's own, about as long again, to go through.
  SDL_Delay(2 * bufferMs + 1);
}

}  // namespace keelmark
