#include "platform/posix/audio_player.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "platform/clips/embedded_clips.h"

namespace keelmark {

namespace {

std::chrono::nanoseconds LengthOf(std::size_t bytes) {
  return std::chrono::nanoseconds(static_cast<std::int64_t>(bytes) * 1000000000 / audioBytesPerSecond);
}

// Appends all that the converter has ready.
void TakeConverted(SDL_AudioStream* stream, std::vector<std::uint8_t>& into) {
  const std::size_t had = into.size();
  into.resize(had + static_cast<std::size_t>(std::max(SDL_AudioStreamAvailable(stream), 0)));
  const int got = SDL_AudioStreamGet(stream, into.data() + had, static_cast<int>(into.size() - had));
  into.resize(had + static_cast<std::size_t>(std::max(got, 0)));
}

}  // namespace

struct AudioPlayer::Shared {
  std::mutex mutex;
  std::condition_variable changed;
  BackendChain chain;
  std::unique_ptr<AudioBackend> backend;  // the thread's alone
  bool chosen = false, hasDevice = false, open = false;
  std::vector<std::uint8_t> pending;  // for the thread to write,
  bool drainWanted = false;           // then to wait until it has been heard
  bool busy = false;                  // the thread is in a call on the device
  // The game gave up waiting for the call the thread is in: until that
  // returns, every sound is skipped at once.
  bool stalled = false;
  bool ending = false, ended = false;
  Clock::time_point lastUsed{};

  bool Idle() const { return pending.empty() && !drainWanted && !busy; }
  bool SkipsSounds() const { return stalled || (chosen && !hasDevice); }
  // What a sound may take beyond its length.
  std::chrono::milliseconds Allowance() const {
    return lateAllowance + (chosen && open && !busy ? std::chrono::milliseconds(0) : openAllowance);
  }

  template <typename Call>
  auto Unlocked(std::unique_lock<std::mutex>& lock, Call call) {
    busy = true;
    lock.unlock();
    auto result = call();
    lock.lock();
    busy = stalled = false;
    lastUsed = Clock::now();
    changed.notify_all();
    return result;
  }

  void Run() {
    std::unique_lock<std::mutex> lock(mutex);
    backend = Unlocked(lock, [this] {
      for (auto& openBackend : chain)
        if (std::unique_ptr<AudioBackend> answered = openBackend()) return answered;
      return std::unique_ptr<AudioBackend>();
    });
    chosen = true;
    hasDevice = open = backend != nullptr;
    while (!ending) {
      if (hasDevice && (!pending.empty() || drainWanted)) {
        std::vector<std::uint8_t> bytes;
        bytes.swap(pending);
        const bool drain = std::exchange(drainWanted, false), wasOpen = open;
        open = Unlocked(lock, [&] {
          if (!wasOpen && !backend->Open()) return false;
          if (!bytes.empty() && !backend->Write(bytes.data(), bytes.size())) return false;
          if (!drain) return true;
          if (!backend->Drain()) return false;
          std::this_thread::sleep_for(backend->Latency());
          return true;
        });
        // A device that has gone is opened again for the next sound.
        if (!open) Unlocked(lock, [this] { return backend->Close(), 0; });
      } else if (open && backend->ClosesWhenQuiet()) {
        // One wake-up per quiet spell.
        if (Clock::now() < lastUsed + idleBeforeClosing) {
          changed.wait_until(lock, lastUsed + idleBeforeClosing);
        } else {
          Unlocked(lock, [this] { return backend->Close(), 0; });
          open = false;
        }
      } else {
        changed.wait(lock);
      }
    }
    Unlocked(lock, [this] { return backend.reset(), 0; });
    ended = true;
    changed.notify_all();
  }

  // Hands what is pending to the thread and waits until it has been heard,
  // or gives the sound up at the deadline.
  void AwaitHeard(std::unique_lock<std::mutex>& lock, Clock::time_point deadline) {
    drainWanted = true;
    changed.notify_all();
    if (changed.wait_until(lock, deadline, [this] { return Idle(); })) return;
    pending.clear();
    drainWanted = false;
    stalled = busy;
  }
};

AudioPlayer::AudioPlayer(BackendChain backends) : shared_(std::make_shared<Shared>()), started_(Clock::now()) {
  shared_->chain = std::move(backends);
  // SDL keeps per-thread state (its error text) that only threads it made
  // itself give back when they end.
  worker_ = std::thread([shared = shared_] {
    shared->Run();
    SDL_TLSCleanup();
  });
}

AudioPlayer::~AudioPlayer() {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->ending = true;
  shared_->changed.notify_all();
  // A device that does not answer is not waited for: the game ends without
  // it, and the thread with the process.
  if (!shared_->stalled && shared_->changed.wait_for(lock, lateAllowance, [this] { return shared_->ended; })) {
    lock.unlock();
    worker_.join();
  } else {
    worker_.detach();
  }
  if (speechStream_) SDL_FreeAudioStream(speechStream_);
}

bool AudioPlayer::HasDevice() {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  if (shared_->changed.wait_until(lock, started_ + openAllowance, [this] { return shared_->chosen; }))
    return shared_->hasDevice;
  // Still starting: there may yet be a device once the server answers.
  shared_->stalled = true;
  return true;
}

bool AudioPlayer::DeviceIsOpen() {
  HasDevice();
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->open;
}

const std::vector<std::uint8_t>* AudioPlayer::ConvertedClip(const std::string& name) {
  const EmbeddedClip* clip = FindClip(name);
  if (!clip) return nullptr;
  auto [converted, isNew] = convertedClips_.try_emplace(clip->name);
  if (!isNew) return &converted->second;
  SDL_AudioSpec spec{};
  Uint8* samples = nullptr;
  Uint32 length = 0;
  if (!SDL_LoadWAV_RW(SDL_RWFromConstMem(clip->data, static_cast<int>(clip->size)), 1, &spec, &samples, &length))
    return nullptr;
  SDL_AudioStream* stream =
      SDL_NewAudioStream(spec.format, spec.channels, spec.freq, AUDIO_S16SYS, audioChannels, audioFramesPerSecond);
  if (stream && SDL_AudioStreamPut(stream, samples, static_cast<int>(length)) == 0 &&
      SDL_AudioStreamFlush(stream) == 0)
    TakeConverted(stream, converted->second);
  if (stream) SDL_FreeAudioStream(stream);
  SDL_FreeWAV(samples);
  return &converted->second;
}

void AudioPlayer::PlayClip(const std::string& name) {
  if (!HasDevice()) return;
  const std::vector<std::uint8_t>* clip = ConvertedClip(name);
  std::unique_lock<std::mutex> lock(shared_->mutex);
  if (!clip || clip->empty() || shared_->SkipsSounds()) return;
  const Clock::time_point deadline = Clock::now() + LengthOf(clip->size()) + shared_->Allowance();
  shared_->pending.insert(shared_->pending.end(), clip->begin(), clip->end());
  shared_->AwaitHeard(lock, deadline);
}

// Nothing plays by now: the device is let go at once.
void AudioPlayer::StopAll() {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  shared_->lastUsed = Clock::time_point{};
  shared_->changed.notify_all();
}

void AudioPlayer::BeginSamples(int sampleRate) {
  if (speechStream_) SDL_FreeAudioStream(speechStream_);
  speechStream_ = nullptr;
  speechBytes_ = 0;
  if (!HasDevice()) return;
  std::lock_guard<std::mutex> lock(shared_->mutex);
  if (shared_->SkipsSounds()) return;
  speechDue_ = Clock::now() + shared_->Allowance();
  // The device stays open while the text is being rendered.
  shared_->lastUsed = Clock::now();
  speechStream_ = SDL_NewAudioStream(AUDIO_S16SYS, 1, sampleRate, AUDIO_S16SYS, audioChannels, audioFramesPerSecond);
}

// Each handing-over wakes the thread and the sound server's client, so the
// first piece goes at once and each later one once it is as long as all
// before it: a few for a whole text, and rendering twice as fast as it
// plays keeps the output fed.
void AudioPlayer::QueueSamples(const std::int16_t* samples, std::size_t count) {
  if (!speechStream_ || SDL_AudioStreamPut(speechStream_, samples, static_cast<int>(count * 2)) != 0) return;
  const int ready = SDL_AudioStreamAvailable(speechStream_);
  if (ready > 0 && static_cast<std::size_t>(ready) >= speechBytes_) QueueConverted();
}

// The thread is woken once the lock is free, so that it does not wake only
// to wait for it.
void AudioPlayer::QueueConverted() {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    const std::size_t had = shared_->pending.size();
    TakeConverted(speechStream_, shared_->pending);
    speechBytes_ += shared_->pending.size() - had;
  }
  shared_->changed.notify_all();
}

void AudioPlayer::FinishSamples() {
  if (!speechStream_) return;
  SDL_AudioStreamFlush(speechStream_);
  QueueConverted();
  SDL_FreeAudioStream(speechStream_);
  speechStream_ = nullptr;
  std::unique_lock<std::mutex> lock(shared_->mutex);
  if (speechBytes_ > 0) shared_->AwaitHeard(lock, speechDue_ + LengthOf(speechBytes_));
}

}  // namespace keelmark
