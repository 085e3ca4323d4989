#include "platform/posix/speech_dispatcher_voice.h"

#include <fcntl.h>
#include <libspeechd.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

extern char** environ;

namespace keelmark {

namespace {

using Clock = std::chrono::steady_clock;

// What the server has told about one message of ours.
struct MessageNews {
  // Taken up by the server's output: it waits behind no other text now.
  bool begun = false;
  // The highest word mark heard ("w3" is 3).
  std::size_t marks = 0;
  // Ended or cancelled.
  bool finished = false;
  Clock::time_point begunAt{}, firstMarkAt{}, lastMarkAt{};
};

// What the voice shares with its worker and with libspeechd's event thread,
// all under the one mutex. A worker stuck on a server that never answers is
// left behind when the voice goes, so the worker holds this, never the voice.
struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  // Written to when a job is posted or the voice goes: the idle worker polls
  // it together with the server's socket.
  int wake[2] = {-1, -1};
  // A second descriptor of the connection's socket, polled for the server
  // hanging up: libspeechd closes its own when it reads the end, and the
  // number could be taken by another file at once.
  int watch = -1;
  std::deque<std::function<void()>> jobs;
  std::uint64_t jobsPosted = 0, jobsDone = 0;
  bool stopping = false, workerGone = false, hungUp = false;
  // The worker's alone once it has connected.
  SPDConnection* connection = nullptr;
  // What the worker's calls brought back.
  int clientId = -1, sayId = -1;
  bool answered = false;
  // By message id: an event may come in before spd_say has handed back the
  // message's id.
  std::map<std::size_t, MessageNews> news;

  Shared() {
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) wake[0] = wake[1] = -1;
  }
  ~Shared() {
    for (int fd : {wake[0], wake[1], watch}) {
      if (fd >= 0) close(fd);
    }
  }

  // With the mutex held.
  std::uint64_t Post(std::function<void()> job) {
    jobs.push_back(std::move(job));
    const char byte = 1;
    // A full pipe already holds a wake-up.
    if (write(wake[1], &byte, 1) < 0) errno = 0;
    return ++jobsPosted;
  }
};

// libspeechd tells its callbacks the message and client ids and nothing
// else, so events are handed on by the server's client id.
std::mutex routesMutex;
std::map<int, std::weak_ptr<Shared>> routes;

template <typename Update>
void Tell(std::size_t messageId, std::size_t clientId, Update update) {
  std::shared_ptr<Shared> shared;
  {
    std::lock_guard lock(routesMutex);
    const auto found = routes.find(static_cast<int>(clientId));
    if (found != routes.end()) shared = found->second.lock();
  }
  if (shared == nullptr) return;  // a voice that has gone
  const Clock::time_point now = Clock::now();
  std::lock_guard lock(shared->mutex);
  update(shared->news[messageId], now);
  shared->changed.notify_all();
}

void OnBegin(std::size_t messageId, std::size_t clientId, SPDNotificationType) {
  Tell(messageId, clientId, [](MessageNews& news, Clock::time_point now) {
    news.begun = true;
    news.begunAt = now;
  });
}

void OnFinished(std::size_t messageId, std::size_t clientId, SPDNotificationType) {
  Tell(messageId, clientId, [](MessageNews& news, Clock::time_point) { news.finished = true; });
}

void OnIndexMark(std::size_t messageId, std::size_t clientId, SPDNotificationType, char* name) {
  char* end = nullptr;
  const unsigned long word = name != nullptr && name[0] == 'w' ? std::strtoul(name + 1, &end, 10) : 0;
  if (word == 0 || *end != '\0') return;
  Tell(messageId, clientId, [&](MessageNews& news, Clock::time_point now) {
    if (word <= news.marks) return;
    if (news.marks == 0) news.firstMarkAt = now;
    news.marks = word;
    news.lastMarkAt = now;
  });
}

// libspeechd's spd_get_client_id reads a reply that is not there when the
// server hangs up at that moment, and takes the game down with it; the
// question is put here instead. The answer reads "245-<id>\r\n245 OK ...".
int AskClientId(SPDConnection* connection) {
  char* reply = nullptr;
  int clientId = -1;
  if (spd_execute_command_with_reply(connection, "HISTORY GET CLIENT_ID", &reply) == 0 && reply != nullptr &&
      std::string_view(reply).starts_with("245-")) {
    char* end = nullptr;
    const long parsed = std::strtol(reply + 4, &end, 10);
    if (std::string_view(end).starts_with("\r\n") && parsed > 0 && parsed <= INT_MAX) clientId = static_cast<int>(parsed);
  }
  std::free(reply);
  return clientId;
}

SPDConnection* OpenConnection(const SPDConnectionAddress* address) {
  char* error = nullptr;
#if defined(__SANITIZE_ADDRESS__)
  // libspeechd 0.11 drops a few bytes of its own on every connection that
  // fails; the sanitizer run is after the game's memory, not that.
  __lsan::ScopedDisabler libspeechdKeepsItsNotes;
#endif
  // Never libspeechd's own start of a server: it waits for the start without
  // a limit, and leaves the server in the game's session.
  SPDConnection* connection = spd_open2("keelmark", "main", nullptr, SPD_MODE_THREADED, address, 0, &error);
  std::free(error);
  return connection;
}

// Starts the server as speech-dispatcher's clients do ("--spawn" returns
// once it listens), but in a session of its own: in the game's, its output
// modules would be hung up when a game that leads its terminal's session
// ends, leaving a server that no longer speaks for the next game. Only a
// server on a unix socket is started from here. False when the command
// cannot be run at all.
bool StartServer(const SPDConnectionAddress& address) {
  if (address.method != SPD_METHOD_UNIX_SOCKET || address.unix_socket_name == nullptr) return false;
  const char* command = std::getenv("SPEECHD_CMD");
  if (command == nullptr || *command == '\0') command = "speech-dispatcher";
  std::string arguments[] = {command, "--spawn", "--communication-method", "unix_socket", "--socket-path",
                             address.unix_socket_name};
  char* argv[] = {arguments[0].data(), arguments[1].data(), arguments[2].data(), arguments[3].data(),
                  arguments[4].data(), arguments[5].data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // The screen is the game's: nothing the server says may land on it.
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // The worker blocks SIGPIPE, and the game may ignore signals that the
  // server must take as usual.
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, command, &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  // Waited for, so that no zombie is left behind.
  int status = 0;
  while (failed == 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return failed == 0;
}

// A server refuses to start ("already running") while another one holds
// its pid file, which it takes long before it listens.
bool AnotherServerIsStarting() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const char* home = std::getenv("HOME");
  std::string folder = runtime != nullptr && *runtime != '\0' ? runtime : std::string(home ? home : "") + "/.cache";
  return access((folder + "/speech-dispatcher/pid/speech-dispatcher.pid").c_str(), F_OK) == 0;
}

// Connects where the player's clients would, starting the server if none
// answers there. When another game's start got there first, its server is
// not listening yet: connecting is tried again for a while. A start that
// simply failed costs nothing more.
SPDConnection* Connect(Clock::time_point deadline) {
  char* error = nullptr;
  SPDConnectionAddress* address = spd_get_default_address(&error);
  std::free(error);
  if (address == nullptr) return nullptr;
  SPDConnection* connection = OpenConnection(address);
  if (connection == nullptr && StartServer(*address) && (connection = OpenConnection(address)) == nullptr &&
      AnotherServerIsStarting()) {
    const Clock::time_point retryUntil = std::min(deadline, Clock::now() + std::chrono::seconds(2));
    while ((connection = OpenConnection(address)) == nullptr && Clock::now() < retryUntil) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  SPDConnectionAddress__free(address);
  return connection;
}

// Connects and asks for the events the voice waits on. spd_open2 hands back
// a connection even when the server did not take the greeting; a server that
// cannot take these either is no voice.
void Greet(Shared& shared, Clock::time_point deadline) {
  SPDConnection* connection = Connect(deadline);
  if (connection == nullptr) return;
  connection->callback_begin = OnBegin;
  connection->callback_end = OnFinished;
  connection->callback_cancel = OnFinished;
  connection->callback_im = OnIndexMark;
  bool greeted = true;
  for (SPDNotification event : {SPD_BEGIN, SPD_END, SPD_CANCEL, SPD_INDEX_MARKS}) {
    greeted = greeted && spd_set_notification_on(connection, event) == 0;
  }
  int clientId = -1;
  int watch = -1;
  if (greeted && spd_set_data_mode(connection, SPD_DATA_SSML) == 0 &&
      (clientId = AskClientId(connection)) > 0 && (watch = fcntl(connection->socket, F_DUPFD_CLOEXEC, 0)) >= 0) {
    std::lock_guard lock(shared.mutex);
    shared.connection = connection;
    shared.clientId = clientId;
    shared.watch = watch;
    return;
  }
  spd_close(connection);
}

// The worker runs the voice's calls into libspeechd one after another; idle,
// it watches for the server hanging up. When the voice has gone it withdraws
// what the server still holds of ours and hangs up. A server that has gone
// away must show as a failed call, not end the game by SIGPIPE: libspeechd's
// event thread, started from here by spd_open2, inherits the same mask.
void RunWorker(const std::shared_ptr<Shared>& shared) {
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
  std::unique_lock lock(shared->mutex);
  while (!shared->stopping || !shared->jobs.empty()) {
    if (shared->jobs.empty()) {
      pollfd watched[2] = {{shared->wake[0], POLLIN, 0}, {shared->hungUp ? -1 : shared->watch, POLLRDHUP, 0}};
      lock.unlock();
      poll(watched, 2, -1);
      char drained[64];
      while (read(shared->wake[0], drained, sizeof drained) > 0) {
      }
      // The events that came before the hang-up are still being read.
      if (watched[1].revents != 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      lock.lock();
      shared->hungUp = shared->hungUp || watched[1].revents != 0;
    } else {
      std::function<void()> job = std::move(shared->jobs.front());
      shared->jobs.pop_front();
      lock.unlock();
      job();
      lock.lock();
      ++shared->jobsDone;
    }
    shared->changed.notify_all();
  }
  if (SPDConnection* connection = std::exchange(shared->connection, nullptr)) {
    lock.unlock();
    spd_cancel(connection);
    spd_close(connection);
    lock.lock();
  }
  shared->workerGone = true;
  shared->changed.notify_all();
}

std::size_t CharacterCount(std::string_view utf8Text) {
  return static_cast<std::size_t>(
      std::count_if(utf8Text.begin(), utf8Text.end(), [](char byte) { return (byte & 0xC0) != 0x80; }));
}

constexpr std::string_view blanks = " \t\r\n";

void AppendEscaped(std::string& ssml, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&': ssml += "&amp;"; break;
      case '<': ssml += "&lt;"; break;
      case '>': ssml += "&gt;"; break;
      case '"': ssml += "&quot;"; break;
      case '\'': ssml += "&apos;"; break;
      default:
        // Control characters are not allowed in XML at all; to the ear they
        // are a space.
        ssml += (static_cast<unsigned char>(c) < 0x20 && blanks.find(c) == std::string_view::npos) ? ' ' : c;
    }
  }
}

// Lets the worker finish, and waits for it until the deadline; one still in
// libspeechd then is left to finish on its own.
void Stop(Shared& shared, std::thread& worker, Clock::time_point deadline) {
  std::unique_lock lock(shared.mutex);
  shared.stopping = true;
  const char byte = 1;
  if (write(shared.wake[1], &byte, 1) < 0) errno = 0;
  const bool gone = shared.changed.wait_until(lock, deadline, [&] { return shared.workerGone; });
  lock.unlock();
  gone ? worker.join() : worker.detach();
}

class SpeechDispatcherVoice : public Voice {
 public:
  SpeechDispatcherVoice(std::shared_ptr<Shared> shared, std::thread worker, SpeechDispatcherLimits limits)
      : shared_(std::move(shared)), worker_(std::move(worker)), limits_(limits) {}

  SpeechDispatcherVoice(const SpeechDispatcherVoice&) = delete;
  SpeechDispatcherVoice& operator=(const SpeechDispatcherVoice&) = delete;

  ~SpeechDispatcherVoice() override {
    {
      std::lock_guard lock(routesMutex);
      const auto found = routes.find(shared_->clientId);
      if (found != routes.end() && found->second.lock() == shared_) routes.erase(found);
    }
    // A server that has let a text go unfinished may not answer the hang-up
    // either, and the next voice is waiting to say that text again: it is
    // only asked. One that has answered everything is given the time of a
    // greeting.
    Stop(*shared_, worker_, broken_ ? Clock::now() : Clock::now() + limits_.connect);
  }

  bool Speak(const std::string& utf8Text) override {
    if (utf8Text.empty()) return true;
    if (broken_) return false;
    const MarkedText marked = MarkWords(utf8Text);
    const std::size_t words = marked.charactersBeforeMark.size();
    const auto timeFor = [&](std::size_t characters) {
      return Clock::duration(limits_.perCharacter * static_cast<std::chrono::milliseconds::rep>(characters));
    };
    Shared& shared = *shared_;
    const Clock::time_point handedOver = Clock::now();
    std::unique_lock lock(shared.mutex);
    shared.sayId = -1;
    // MESSAGE, not TEXT: the server queues messages and speaks each in full,
    // while a text is cut short by the next that comes, ours or another
    // program's. What is left of the last text is only the synthesiser's
    // pause after its last mark; this one need not wait for it.
    const std::uint64_t said = shared.Post([&shared, ssml = marked.ssml, cut = std::exchange(pauseToCut_, false)] {
      if (cut) spd_cancel(shared.connection);
      const int id = spd_say(shared.connection, SPD_MESSAGE, ssml.c_str());
      std::lock_guard lock(shared.mutex);
      shared.sayId = id;
    });
    // The server takes a text at once when it answers at all.
    if (!shared.changed.wait_until(lock, handedOver + limits_.start, [&] { return shared.hungUp || shared.jobsDone >= said; }) ||
        shared.sayId < 0) {
      return Break();
    }
    const auto id = static_cast<std::size_t>(shared.sayId);
    Clock::time_point askAt = handedOver + limits_.start;
    for (;;) {
      const MessageNews news = shared.news[id];
      if (news.finished || news.marks >= words) {
        // Ended at its last mark: the closing pause is still to come.
        pauseToCut_ = !news.finished;
        // Ids grow with every message: what is done with is not needed again.
        shared.news.erase(shared.news.begin(), shared.news.upper_bound(id));
        return true;
      }
      if (shared.hungUp) return Break();
      const auto changed = [&] {
        const MessageNews& now = shared.news[id];
        return shared.hungUp || now.finished || now.begun != news.begun || now.marks != news.marks;
      };
      if (news.begun || news.marks > 0) {
        // Once begun, each word is due in its own time, and the whole text in
        // the time of its characters.
        const Clock::time_point due =
            news.marks == 0 ? news.begunAt + limits_.start + timeFor(marked.charactersBeforeMark[0])
                            : std::min(news.lastMarkAt + limits_.pause + timeFor(marked.charactersBeforeMark[news.marks]),
                                       news.firstMarkAt + limits_.pause + timeFor(CharacterCount(utf8Text)));
        if (!shared.changed.wait_until(lock, due, changed)) return Break();
      } else if (Clock::now() >= handedOver + limits_.busy) {
        // Waiting behind other programs' texts for too long: this text is
        // withdrawn, the voice kept.
        shared.Post([&shared] { spd_cancel(shared.connection); });
        return true;
      } else if (Clock::now() >= askAt) {
        // A busy server still answers; one that has stopped does not.
        shared.answered = false;
        const std::uint64_t asked = shared.Post([&shared] {
          const bool answered = AskClientId(shared.connection) > 0;
          std::lock_guard lock(shared.mutex);
          shared.answered = answered;
        });
        if (!shared.changed.wait_until(lock, Clock::now() + limits_.answer, [&] { return shared.jobsDone >= asked; }) ||
            !shared.answered) {
          return Break();
        }
        askAt = Clock::now() + limits_.start;
      } else {
        shared.changed.wait_until(lock, std::min(askAt, handedOver + limits_.busy), changed);
      }
    }
  }

 private:
  bool Break() {
    broken_ = true;
    return false;
  }

  std::shared_ptr<Shared> shared_;
  std::thread worker_;
  SpeechDispatcherLimits limits_;
  bool broken_ = false;
  // The last text was left at its last word's mark.
  bool pauseToCut_ = false;
};

}  // namespace

MarkedText MarkWords(const std::string& utf8Text) {
  MarkedText marked;
  marked.ssml = "<speak>";
  const std::string_view text(utf8Text);
  const std::size_t lastWordEnd = text.find_last_not_of(blanks) + 1;
  for (std::size_t from = 0; from < lastWordEnd;) {
    // Blanks after the last word go before its mark: the mark closes the text.
    std::size_t end = std::min(text.find_first_of(blanks, text.find_first_not_of(blanks, from)), text.size());
    if (end == lastWordEnd) end = text.size();
    AppendEscaped(marked.ssml, text.substr(from, end - from));
    marked.charactersBeforeMark.push_back(CharacterCount(text.substr(from, end - from)));
    marked.ssml += "<mark name=\"w" + std::to_string(marked.charactersBeforeMark.size()) + "\"/>";
    from = end;
  }
  if (marked.charactersBeforeMark.empty()) {
    // Blanks alone: nothing to hear, but still an end to wait for.
    AppendEscaped(marked.ssml, text);
    marked.charactersBeforeMark.push_back(CharacterCount(text));
    marked.ssml += "<mark name=\"w1\"/>";
  }
  marked.ssml += "</speak>";
  return marked;
}

std::unique_ptr<Voice> OpenSpeechDispatcherVoice(SpeechDispatcherLimits limits) {
  auto shared = std::make_shared<Shared>();
  if (shared->wake[0] < 0) return nullptr;
  const Clock::time_point deadline = Clock::now() + limits.connect;
  const std::uint64_t greeting = shared->Post([&shared = *shared, deadline] { Greet(shared, deadline); });
  std::thread worker;
  try {
    worker = std::thread(RunWorker, shared);
  } catch (const std::system_error&) {
    return nullptr;
  }
  std::unique_lock lock(shared->mutex);
  if (!shared->changed.wait_until(lock, deadline, [&] { return shared->jobsDone >= greeting; }) || shared->connection == nullptr) {
    lock.unlock();
    // A worker still connecting hangs up on whatever it gets.
    Stop(*shared, worker, Clock::now());
    return nullptr;
  }
  lock.unlock();
  {
    std::lock_guard routesLock(routesMutex);
    routes[shared->clientId] = shared;
  }
  return std::make_unique<SpeechDispatcherVoice>(std::move(shared), std::move(worker), limits);
}

}  // namespace keelmark
