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
#include <optional>
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
  // The highest word mark heard ("w3" is 3).
  std::size_t marks = 0;
  // The server's output has taken it up: it waits behind nothing now.
  bool begun = false;
  Clock::time_point begunAt{};
  Clock::time_point firstMarkAt{};
  Clock::time_point lastMarkAt{};
  // Ended or cancelled.
  bool finished = false;
};

// What the voice shares with its worker and with libspeechd's event thread.
// A worker stuck on a server that never answers is left behind when the
// voice goes, so the worker holds this, never the voice.
struct Shared {
  Shared() {
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) wake[0] = wake[1] = -1;
  }
  ~Shared() {
    for (int fd : {wake[0], wake[1], watch}) {
      if (fd >= 0) close(fd);
    }
  }
  Shared(const Shared&) = delete;
  Shared& operator=(const Shared&) = delete;

  // Written to whenever something below changes, so that the game can wait
  // for news and for the server's socket in one poll.
  int wake[2] = {-1, -1};
  // A second descriptor of the connection's socket, polled for the server
  // hanging up: libspeechd closes its own when it reads the end, and the
  // number could be taken by another file at once.
  int watch = -1;

  std::mutex mutex;
  std::condition_variable jobWaiting;
  std::deque<std::function<void()>> jobs;
  std::uint64_t jobsPosted = 0;
  std::uint64_t jobsDone = 0;
  bool stopping = false;
  bool workerGone = false;

  // Used by the worker alone, once connected.
  SPDConnection* connection = nullptr;
  // Results of the worker's calls.
  int clientId = -1;
  int sayId = -1;
  bool answered = false;
  // By message id: an event may come in before spd_say has handed back the
  // message's id.
  std::map<std::size_t, MessageNews> news;

  void Wake() {
    const char byte = 1;
    // A full pipe already holds a wake-up.
    if (wake[1] >= 0 && write(wake[1], &byte, 1) < 0) errno = 0;
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
  std::lock_guard lock(shared->mutex);
  update(shared->news[messageId]);
  shared->Wake();
}

void OnMessageFinished(std::size_t messageId, std::size_t clientId, SPDNotificationType) {
  Tell(messageId, clientId, [](MessageNews& news) { news.finished = true; });
}

void OnMessageBegun(std::size_t messageId, std::size_t clientId, SPDNotificationType) {
  const Clock::time_point now = Clock::now();
  Tell(messageId, clientId, [&](MessageNews& news) {
    news.begun = true;
    news.begunAt = now;
  });
}

void OnIndexMark(std::size_t messageId, std::size_t clientId, SPDNotificationType, char* name) {
  if (name == nullptr || name[0] != 'w') return;
  char* end = nullptr;
  const unsigned long word = std::strtoul(name + 1, &end, 10);
  if (end == name + 1 || *end != '\0') return;
  const Clock::time_point now = Clock::now();
  Tell(messageId, clientId, [&](MessageNews& news) {
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
    if (end != reply + 4 && std::string_view(end).starts_with("\r\n") && parsed > 0 && parsed <= INT_MAX) {
      clientId = static_cast<int>(parsed);
    }
  }
  std::free(reply);
  return clientId;
}

SPDConnection* OpenConnection(const SPDConnectionAddress* address) {
  char* error = nullptr;
  SPDConnection* connection = nullptr;
  {
#if defined(__SANITIZE_ADDRESS__)
    // libspeechd 0.11 drops a few bytes of its own on every connection that
    // fails; the sanitizer run is after the game's memory, not that.
    __lsan::ScopedDisabler libspeechdKeepsItsNotes;
#endif
    // Never libspeechd's own start of a server: it waits for the start
    // without a limit, and leaves the server in the game's session.
    connection = spd_open2("keelmark", "main", nullptr, SPD_MODE_THREADED, address, 0, &error);
  }
  std::free(error);
  return connection;
}

// Starts the server as speech-dispatcher's clients do ("--spawn" returns
// once it listens), but in a session of its own: in the game's, its output
// modules would be hung up when a game that leads its terminal's session
// ends, leaving a server that no longer speaks for the next game. False when
// the command cannot be run at all.
bool StartServer(const SPDConnectionAddress& address) {
  const char* command = std::getenv("SPEECHD_CMD");
  if (command == nullptr || *command == '\0') command = "speech-dispatcher";
  std::vector<std::string> arguments{command, "--spawn", "--communication-method"};
  if (address.method == SPD_METHOD_UNIX_SOCKET && address.unix_socket_name != nullptr) {
    arguments.insert(arguments.end(), {"unix_socket", "--socket-path", address.unix_socket_name});
  } else if (address.method == SPD_METHOD_INET_SOCKET && address.inet_socket_host != nullptr) {
    const std::string_view host = address.inet_socket_host;
    // Only a server on this machine can be started from here.
    if (host != "localhost" && !host.starts_with("127.")) return false;
    arguments.insert(arguments.end(), {"inet_socket", "--port", std::to_string(address.inet_socket_port)});
  } else {
    return false;
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  // The screen is the game's: nothing the server says may land on it.
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // The worker blocks SIGPIPE, and the game may ignore or catch signals that
  // the server must take as usual.
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  for (int signal : {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU, SIGCHLD, SIGUSR1, SIGUSR2,
                     SIGALRM}) {
    sigaddset(&signals, signal);
  }
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, command, &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) return false;
  // Waited for, so that no zombie is left behind.
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

// Connects where the player's clients would, starting the server if none
// answers there. A start that fails most often means that another game's
// start got there first ("already running") and its server is not listening
// yet: connecting is tried again for a while.
SPDConnection* Connect(Clock::time_point deadline) {
  char* error = nullptr;
  SPDConnectionAddress* address = spd_get_default_address(&error);
  std::free(error);
  if (address == nullptr) return nullptr;
  SPDConnection* connection = OpenConnection(address);
  if (connection == nullptr && StartServer(*address)) {
    const Clock::time_point retryUntil = std::min(deadline, Clock::now() + std::chrono::seconds(2));
    while ((connection = OpenConnection(address)) == nullptr && Clock::now() < retryUntil) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  SPDConnectionAddress__free(address);
  return connection;
}

// Connects and greets on the worker: asks for the events the voice waits on.
void Greet(Shared& shared, Clock::time_point deadline) {
  SPDConnection* connection = Connect(deadline);
  if (connection == nullptr) return;
  connection->callback_begin = OnMessageBegun;
  connection->callback_end = OnMessageFinished;
  connection->callback_cancel = OnMessageFinished;
  connection->callback_im = OnIndexMark;
  int clientId = -1;
  int watch = -1;
  // spd_open2 hands back a connection even when the server did not take the
  // greeting; a server that cannot take these either is no voice.
  if (spd_set_notification_on(connection, SPD_BEGIN) != 0 || spd_set_notification_on(connection, SPD_END) != 0 || spd_set_notification_on(connection, SPD_CANCEL) != 0 ||
      spd_set_notification_on(connection, SPD_INDEX_MARKS) != 0 || spd_set_data_mode(connection, SPD_DATA_SSML) != 0 ||
      (clientId = AskClientId(connection)) <= 0 || (watch = fcntl(connection->socket, F_DUPFD_CLOEXEC, 0)) < 0) {
    spd_close(connection);
    return;
  }
  std::lock_guard lock(shared.mutex);
  shared.connection = connection;
  shared.clientId = clientId;
  shared.watch = watch;
}

// The worker runs the voice's calls into libspeechd one after another, and
// when the voice has gone, withdraws what the server still holds of ours and
// hangs up. A server that has gone away must show as a failed call, not end
// the game by SIGPIPE: libspeechd's event thread, started from here by
// spd_open2, inherits the same mask.
void RunWorker(const std::shared_ptr<Shared>& shared) {
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
  std::unique_lock lock(shared->mutex);
  for (;;) {
    shared->jobWaiting.wait(lock, [&] { return !shared->jobs.empty() || shared->stopping; });
    if (shared->jobs.empty()) break;
    std::function<void()> job = std::move(shared->jobs.front());
    shared->jobs.pop_front();
    lock.unlock();
    job();
    lock.lock();
    ++shared->jobsDone;
    shared->Wake();
  }
  if (SPDConnection* connection = std::exchange(shared->connection, nullptr)) {
    lock.unlock();
    spd_cancel(connection);
    spd_close(connection);
    lock.lock();
  }
  shared->workerGone = true;
  shared->Wake();
}

std::size_t CharacterCount(std::string_view utf8Text) {
  return static_cast<std::size_t>(
      std::count_if(utf8Text.begin(), utf8Text.end(), [](char byte) { return (byte & 0xC0) != 0x80; }));
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

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
        ssml += (static_cast<unsigned char>(c) < 0x20 && !IsBlank(c)) ? ' ' : c;
    }
  }
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
    // either (speech-dispatcher without a sound output answers nothing), and
    // the next voice is waiting to say that text again: it is only asked.
    // One that has answered everything so far is given the time of a
    // greeting.
    const Clock::time_point deadline = broken_ ? Clock::now() : Clock::now() + limits_.connect;
    Stop(*shared_, worker_, deadline);
  }

  // Asks the worker to finish, and waits for it until the deadline; one
  // still in libspeechd then is left to finish on its own.
  static void Stop(Shared& shared, std::thread& worker, Clock::time_point deadline) {
    {
      std::lock_guard lock(shared.mutex);
      shared.stopping = true;
    }
    shared.jobWaiting.notify_one();
    const bool gone = Await(shared, -1, deadline, [&] { return shared.workerGone; });
    gone ? worker.join() : worker.detach();
  }

  // Waits until `done` holds (under the lock) or the deadline passes, or,
  // with a watched descriptor, the server hangs up; tells whether it held.
  template <typename Done>
  static bool Await(Shared& shared, int watch, Clock::time_point deadline, Done done) {
    for (;;) {
      {
        std::lock_guard lock(shared.mutex);
        if (done()) return true;
      }
      const Clock::time_point now = Clock::now();
      if (now >= deadline) return false;
      pollfd watched[2] = {{shared.wake[0], POLLIN, 0}, {watch, POLLRDHUP, 0}};
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
      if (poll(watched, 2, static_cast<int>(std::min<long long>(wait, INT_MAX))) < 0 && errno != EINTR) return false;
      char drained[64];
      while (read(shared.wake[0], drained, sizeof drained) > 0) {
      }
      if (watched[1].revents != 0) {
        // The events that came before the hang-up are still being read.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::lock_guard lock(shared.mutex);
        return done();
      }
    }
  }

  bool Speak(const std::string& utf8Text) override {
    if (utf8Text.empty()) return true;
    if (broken_) return false;
    const MarkedText marked = MarkWords(utf8Text);
    const std::size_t words = marked.charactersBeforeMark.size();
    const Clock::time_point handedOver = Clock::now();
    // MESSAGE, not TEXT: the server queues messages and speaks each in full,
    // while a text is cut short by the next text that comes, ours or another
    // program's. What is left of the last text is only the synthesiser's
    // pause after its last mark; the next need not wait for it.
    const std::uint64_t said = Post([shared = shared_.get(), ssml = marked.ssml, cut = std::exchange(pauseToCut_, false)] {
      if (cut) spd_cancel(shared->connection);
      const int id = spd_say(shared->connection, SPD_MESSAGE, ssml.c_str());
      std::lock_guard lock(shared->mutex);
      shared->sayId = id;
    });
    // The server takes a text at once when it answers at all.
    if (!Await(*shared_, shared_->watch, handedOver + limits_.start, [&] { return shared_->jobsDone >= said; }) ||
        shared_->sayId < 0) {
      return Break();
    }
    const auto messageId = static_cast<std::size_t>(shared_->sayId);
    const auto timeFor = [&](std::size_t characters) {
      return Clock::duration(limits_.perCharacter * static_cast<std::chrono::milliseconds::rep>(characters));
    };
    // Until its first word, the text may be waiting behind other programs'
    // texts; the server is asked now and then whether it still answers.
    Clock::time_point askAt = handedOver + limits_.start;
    for (;;) {
      MessageNews news;
      {
        std::lock_guard lock(shared_->mutex);
        news = shared_->news[messageId];
        if (news.finished || news.marks >= words) {
          // Ended at its last mark: the closing pause is still to come.
          pauseToCut_ = !news.finished;
          // Ids grow with every message: what is done with is not needed again.
          shared_->news.erase(shared_->news.begin(), shared_->news.upper_bound(messageId));
          return true;
        }
      }
      Clock::time_point deadline;
      if (news.marks > 0) {
        deadline = std::min(news.lastMarkAt + limits_.pause + timeFor(marked.charactersBeforeMark[news.marks]),
                            news.firstMarkAt + limits_.pause + timeFor(CharacterCount(utf8Text)));
      } else if (news.begun) {
        deadline = news.begunAt + limits_.start + timeFor(marked.charactersBeforeMark[0]);
      } else if (Clock::now() >= handedOver + limits_.busy) {
        // Given up, this text only: the server is busy, not broken.
        Post([shared = shared_.get()] { spd_cancel(shared->connection); });
        return true;
      } else if (Clock::now() >= askAt) {
        const Clock::time_point asked = Clock::now();
        const std::uint64_t question = Post([shared = shared_.get()] {
          const bool answered = AskClientId(shared->connection) > 0;
          std::lock_guard lock(shared->mutex);
          shared->answered = answered;
        });
        if (!Await(*shared_, shared_->watch, asked + limits_.answer, [&] { return shared_->jobsDone >= question; }) ||
            !shared_->answered) {
          return Break();
        }
        askAt = Clock::now() + limits_.start;
        continue;
      } else {
        deadline = std::min(askAt, handedOver + limits_.busy);
      }
      const bool newsCame = Await(*shared_, shared_->watch, deadline, [&] {
        const MessageNews& now = shared_->news[messageId];
        return now.finished || now.marks != news.marks || now.begun != news.begun;
      });
      if (!newsCame && (news.begun || news.marks > 0 || Clock::now() < deadline)) return Break();
    }
  }

 private:
  bool Break() {
    broken_ = true;
    return false;
  }

  std::uint64_t Post(std::function<void()> job) {
    std::uint64_t ticket;
    {
      std::lock_guard lock(shared_->mutex);
      shared_->jobs.push_back(std::move(job));
      ticket = ++shared_->jobsPosted;
    }
    shared_->jobWaiting.notify_one();
    return ticket;
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
  const std::size_t lastWordEnd = text.find_last_not_of(" \t\r\n") + 1;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t wordStart = from;
    while (wordStart < text.size() && IsBlank(text[wordStart])) ++wordStart;
    std::size_t wordEnd = wordStart;
    while (wordEnd < text.size() && !IsBlank(text[wordEnd])) ++wordEnd;
    if (wordStart == wordEnd) break;
    // Blanks after the last word go before its mark: the mark closes the text.
    const std::size_t end = wordEnd == lastWordEnd ? text.size() : wordEnd;
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
  shared->jobs.push_back([shared = shared.get(), deadline] { Greet(*shared, deadline); });
  shared->jobsPosted = 1;
  std::thread worker;
  try {
    worker = std::thread(RunWorker, shared);
  } catch (const std::system_error&) {
    return nullptr;
  }
  const bool greeted = SpeechDispatcherVoice::Await(*shared, -1, deadline, [&] { return shared->jobsDone >= 1; });
  if (!greeted || shared->connection == nullptr) {
    // A worker still connecting hangs up on whatever it gets.
    SpeechDispatcherVoice::Stop(*shared, worker, Clock::now());
    return nullptr;
  }
  {
    std::lock_guard lock(routesMutex);
    routes[shared->clientId] = shared;
  }
  return std::make_unique<SpeechDispatcherVoice>(std::move(shared), std::move(worker), limits);
}

}  // namespace keelmark
