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
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

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
  Clock::time_point lastMarkAt{};
  // Ended or cancelled.
  bool finished = false;
};

// What the voice shares with the threads that call into libspeechd for it
// and with libspeechd's event thread. Those threads may outlive the voice
// (one stuck on a server that never answers is left behind), so each holds
// the link, never the voice.
struct Link {
  Link() {
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) wake[0] = wake[1] = -1;
  }
  ~Link() {
    for (int fd : {wake[0], wake[1], watch}) {
      if (fd >= 0) close(fd);
    }
  }
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Written to whenever something below changes, so that the game can wait
  // for news and for the server's socket in one poll.
  int wake[2] = {-1, -1};
  // A second descriptor of the connection's socket, polled for the server
  // hanging up. libspeechd closes its own when it reads the end of the
  // connection, and the number could be taken by another file at once.
  int watch = -1;

  std::mutex mutex;
  std::condition_variable changed;

  // Where to connect when the game names the server itself.
  bool explicitAddress = false;
  std::string socketPath;
  std::string host;
  SPDConnectionAddress address{};

  SPDConnection* connection = nullptr;
  int clientId = -1;
  bool openDone = false;

  // A call into libspeechd is under way on a helper thread.
  bool callRunning = false;
  // The voice has gone (or was never handed out): whoever holds the
  // connection last closes it.
  bool abandoned = false;

  bool sayDone = false;
  int sayId = -1;
  // By message id: an event may come in before spd_say has handed back the
  // message's id.
  std::map<std::size_t, MessageNews> news;

  void Wake() {
    const char byte = 1;
    // A full pipe already holds a wake-up.
    if (wake[1] >= 0 && write(wake[1], &byte, 1) < 0) errno = 0;
    changed.notify_all();
  }
};

// libspeechd tells its callbacks the message and client ids and nothing
// else, so the events are handed on to the voice by the server's client id.
// The clients of one server have distinct ids, and the game holds one
// connection at a time.
class EventRouter {
 public:
  void Add(int clientId, const std::shared_ptr<Link>& link) {
    std::lock_guard lock(mutex_);
    links_.emplace_back(clientId, link);
  }

  void Remove(const Link* link) {
    std::lock_guard lock(mutex_);
    std::erase_if(links_, [&](const auto& entry) {
      std::shared_ptr<Link> held = entry.second.lock();
      return held == nullptr || held.get() == link;
    });
  }

  // Runs on libspeechd's event thread of the connection.
  template <typename Update>
  void Tell(std::size_t messageId, std::size_t clientId, Update update) {
    std::shared_ptr<Link> link;
    {
      std::lock_guard lock(mutex_);
      for (const auto& [id, entry] : links_) {
        if (id >= 0 && static_cast<std::size_t>(id) == clientId) link = entry.lock();
      }
    }
    if (link == nullptr) return;  // a voice that has gone
    std::lock_guard lock(link->mutex);
    update(link->news[messageId]);
    link->Wake();
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<int, std::weak_ptr<Link>>> links_;
};

EventRouter& Router() {
  // Never destroyed: a connection left behind may still deliver an event
  // while the process runs its exit handlers.
  static auto* router = new EventRouter;
  return *router;
}

void OnMessageFinished(std::size_t messageId, std::size_t clientId, SPDNotificationType) {
  Router().Tell(messageId, clientId, [](MessageNews& news) { news.finished = true; });
}

void OnIndexMark(std::size_t messageId, std::size_t clientId, SPDNotificationType, char* name) {
  if (name == nullptr || name[0] != 'w') return;
  char* end = nullptr;
  const unsigned long word = std::strtoul(name + 1, &end, 10);
  if (end == name + 1 || *end != '\0') return;
  const Clock::time_point now = Clock::now();
  Router().Tell(messageId, clientId, [&](MessageNews& news) {
    if (word <= news.marks) return;
    news.marks = word;
    news.lastMarkAt = now;
  });
}

// Starts a thread for calls into libspeechd. A server that has gone away
// must show as a failed call, not end the game by SIGPIPE when libspeechd
// writes to its socket; libspeechd's own event thread, started from here by
// spd_open2, inherits the same mask.
template <typename Work>
std::thread StartHelper(Work work) {
  return std::thread([work = std::move(work)]() mutable {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    work();
  });
}

// A helper that is through is joined, one that is still in libspeechd is
// left to finish on its own.
void LetGoOfHelper(Link& link, std::thread& helper) {
  bool finished;
  {
    std::lock_guard lock(link.mutex);
    finished = !link.callRunning;
  }
  if (finished) {
    helper.join();
  } else {
    helper.detach();
  }
}

// Waits until `done` holds or the deadline passes; the caller looks at the
// outcome afterwards.
template <typename Done>
void AwaitHelper(Link& link, std::thread& helper, Clock::time_point deadline, Done done) {
  {
    std::unique_lock lock(link.mutex);
    link.changed.wait_until(lock, deadline, done);
  }
  LetGoOfHelper(link, helper);
}

// A text the server still holds is not to be heard after the game has
// turned away from this voice, nor after the game has ended.
void CancelAndClose(SPDConnection* connection) {
  spd_cancel(connection);
  spd_close(connection);
}

// libspeechd's spd_get_client_id reads a reply that is not there when the
// server hangs up at that moment, and takes the game down with it; the
// question is put here instead. The answer reads "245-<id>\r\n245 OK ...".
int AskClientId(SPDConnection* connection) {
  char* reply = nullptr;
  const int failed = spd_execute_command_with_reply(connection, "HISTORY GET CLIENT_ID", &reply);
  int clientId = -1;
  if (failed == 0 && reply != nullptr) {
    const std::string_view answer(reply);
    const std::string_view prefix = "245-";
    const std::size_t end = answer.find("\r\n");
    if (answer.substr(0, prefix.size()) == prefix && end != std::string_view::npos && end > prefix.size()) {
      const std::string digits(answer.substr(prefix.size(), end - prefix.size()));
      char* stop = nullptr;
      const long parsed = std::strtol(digits.c_str(), &stop, 10);
      if (*stop == '\0' && parsed > 0 && parsed <= INT_MAX) clientId = static_cast<int>(parsed);
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

// Starts the server as speech-dispatcher's clients do ("--spawn": it refuses
// when one already runs there, and returns once it listens), but in a
// session of its own. In the game's session, the server's output modules
// would be hung up when a game that leads its terminal's session ends,
// leaving a server that no longer speaks for the next game.
bool StartServer(const SPDConnectionAddress& address) {
  const char* command = std::getenv("SPEECHD_CMD");
  if (command == nullptr || *command == '\0') command = "speech-dispatcher";
  std::vector<std::string> arguments{command, "--spawn", "--communication-method"};
  if (address.method == SPD_METHOD_UNIX_SOCKET && address.unix_socket_name != nullptr) {
    arguments.insert(arguments.end(), {"unix_socket", "--socket-path", address.unix_socket_name});
  } else if (address.method == SPD_METHOD_INET_SOCKET && address.inet_socket_host != nullptr) {
    const std::string_view host = address.inet_socket_host;
    // Only a server on this machine can be started from here.
    if (host != "localhost" && host.substr(0, 4) != "127.") return false;
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
  // This thread blocks SIGPIPE, and the game may ignore or catch signals
  // that the server must take as usual.
  sigset_t noSignals;
  sigemptyset(&noSignals);
  posix_spawnattr_setsigmask(&attributes, &noSignals);
  sigset_t usualSignals;
  sigemptyset(&usualSignals);
  for (int signal : {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU, SIGCHLD, SIGUSR1, SIGUSR2,
                     SIGALRM}) {
    sigaddset(&usualSignals, signal);
  }
  posix_spawnattr_setsigdefault(&attributes, &usualSignals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, command, &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) return false;
  // The game waits for this only so long; this helper waits for the exit,
  // so that no zombie is left behind.
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The helper's side of opening: connect (starting the server if need be),
// greet, ask for the events the voice waits on.
void Connect(const std::shared_ptr<Link>& link) {
  SPDConnection* connection = nullptr;
  if (link->explicitAddress) {
    connection = OpenConnection(&link->address);
  } else {
    char* error = nullptr;
    SPDConnectionAddress* address = spd_get_default_address(&error);
    std::free(error);
    if (address != nullptr) {
      connection = OpenConnection(address);
      if (connection == nullptr && StartServer(*address)) connection = OpenConnection(address);
      SPDConnectionAddress__free(address);
    }
  }
  int clientId = -1;
  int watch = -1;
  if (connection != nullptr) {
    connection->callback_end = OnMessageFinished;
    connection->callback_cancel = OnMessageFinished;
    connection->callback_im = OnIndexMark;
    // spd_open2 hands back a connection even when the server did not take
    // the greeting; a server that cannot take these either is no voice.
    if (spd_set_notification_on(connection, SPD_END) != 0 || spd_set_notification_on(connection, SPD_CANCEL) != 0 ||
        spd_set_notification_on(connection, SPD_INDEX_MARKS) != 0 ||
        spd_set_data_mode(connection, SPD_DATA_SSML) != 0 || (clientId = AskClientId(connection)) <= 0 ||
        (watch = fcntl(connection->socket, F_DUPFD_CLOEXEC, 0)) < 0) {
      spd_close(connection);
      connection = nullptr;
    }
  }
  bool unwanted = false;
  {
    std::lock_guard lock(link->mutex);
    link->callRunning = false;
    if (link->abandoned) {
      unwanted = true;
    } else {
      link->connection = connection;
      link->clientId = clientId;
      link->watch = std::exchange(watch, -1);
    }
    link->openDone = true;
    link->Wake();
  }
  // The game gave up waiting for this server before it answered.
  if (watch >= 0) close(watch);
  if (unwanted && connection != nullptr) spd_close(connection);
}

std::size_t CharacterCount(std::string_view utf8Text) {
  return static_cast<std::size_t>(
      std::count_if(utf8Text.begin(), utf8Text.end(), [](char byte) { return (byte & 0xC0) != 0x80; }));
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// After a closing "?" or a single "!", espeak-ng's module reports a mark
// only once the synthesiser's pause has passed, some 300 ms after the last
// word; after a second one, as after a full stop, at the last word's end.
// The second mark is not heard (unless the player has every punctuation
// mark read out).
std::string_view SilentEcho(std::string_view textToLastWord) {
  const std::size_t n = textToLastWord.size();
  if (n == 0 || (textToLastWord[n - 1] != '?' && textToLastWord[n - 1] != '!')) return {};
  if (n >= 2 && (textToLastWord[n - 2] == '?' || textToLastWord[n - 2] == '!')) return {};
  return textToLastWord.substr(n - 1);
}

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

bool SetAddress(Link& link, std::string_view address) {
  const std::size_t colon = address.find(':');
  const std::string_view method = address.substr(0, colon);
  const std::string_view rest = colon == std::string_view::npos ? std::string_view() : address.substr(colon + 1);
  link.address = SPDConnectionAddress{};
  if (method == "unix_socket") {
    if (rest.empty()) return false;
    link.socketPath = std::string(rest);
    link.address.method = SPD_METHOD_UNIX_SOCKET;
    link.address.unix_socket_name = link.socketPath.data();
  } else if (method == "inet_socket") {
    const std::size_t portColon = rest.find(':');
    link.host = std::string(rest.substr(0, portColon));
    if (link.host.empty()) link.host = "127.0.0.1";
    int port = SPEECHD_DEFAULT_PORT;
    if (portColon != std::string_view::npos) {
      const std::string portText(rest.substr(portColon + 1));
      char* end = nullptr;
      const long parsed = std::strtol(portText.c_str(), &end, 10);
      if (portText.empty() || *end != '\0' || parsed <= 0 || parsed > 65535) return false;
      port = static_cast<int>(parsed);
    }
    link.address.method = SPD_METHOD_INET_SOCKET;
    link.address.inet_socket_host = link.host.data();
    link.address.inet_socket_port = port;
  } else {
    return false;
  }
  link.explicitAddress = true;
  return true;
}

class SpeechDispatcherVoice : public Voice {
 public:
  SpeechDispatcherVoice(std::shared_ptr<Link> link, SpeechDispatcherLimits limits)
      : link_(std::move(link)), limits_(limits) {}

  SpeechDispatcherVoice(const SpeechDispatcherVoice&) = delete;
  SpeechDispatcherVoice& operator=(const SpeechDispatcherVoice&) = delete;

  ~SpeechDispatcherVoice() override {
    Router().Remove(link_.get());
    SPDConnection* connection = nullptr;
    {
      std::lock_guard lock(link_->mutex);
      link_->abandoned = true;
      // A call still stuck in libspeechd holds the connection's lock; closing
      // would wait for it. The call closes the connection if it ever returns.
      if (link_->callRunning) return;
      connection = std::exchange(link_->connection, nullptr);
      link_->callRunning = true;
    }
    try {
      std::thread helper = StartHelper([link = link_, connection] {
        CancelAndClose(connection);
        std::lock_guard lock(link->mutex);
        link->callRunning = false;
        link->Wake();
      });
      // A server that has let a text go unfinished may not answer this
      // either (speech-dispatcher without a sound output stops answering
      // altogether), and the next voice is waiting to say that text again:
      // it is only asked. One that has answered everything so far answers at
      // once, and is given the time of a greeting before the game goes on.
      const Clock::time_point deadline = broken_ ? Clock::now() : Clock::now() + limits_.connect;
      AwaitHelper(*link_, helper, deadline, [&] { return !link_->callRunning; });
    } catch (const std::system_error&) {
      // No thread to be had: leave the connection rather than risk a wait.
    }
  }

  bool Speak(const std::string& utf8Text) override {
    if (utf8Text.empty()) return true;
    if (broken_) return false;
    const MarkedText marked = MarkWords(utf8Text);
    const Clock::time_point handedOver = Clock::now();
    // However the server goes on, no text holds the game longer than this.
    const Clock::time_point latest =
        handedOver + limits_.start +
        limits_.perCharacter * static_cast<std::chrono::milliseconds::rep>(CharacterCount(utf8Text));
    {
      std::lock_guard lock(link_->mutex);
      // A call of the last text still stuck: the server stopped answering.
      if (link_->callRunning) return Break();
      link_->sayDone = false;
      link_->sayId = -1;
      link_->callRunning = true;
    }
    std::thread helper;
    try {
      helper = StartHelper([link = link_, connection = link_->connection, ssml = marked.ssml,
                            cancelFirst = std::exchange(pauseToCut_, false)] {
        // What is left of the last text is only the synthesiser's pause
        // after its last mark; the next text need not wait for it.
        if (cancelFirst) spd_cancel(connection);
        // MESSAGE, not TEXT: the server queues messages and speaks each in
        // full, while a text is cancelled by the next text that comes, ours
        // or another program's. Nothing the game says may be cut short by
        // what it says next.
        const int messageId = spd_say(connection, SPD_MESSAGE, ssml.c_str());
        bool orphaned = false;
        {
          std::lock_guard lock(link->mutex);
          link->callRunning = false;
          link->sayDone = true;
          link->sayId = messageId;
          if (link->abandoned && link->connection == connection) {
            link->connection = nullptr;
            orphaned = true;
          }
          link->Wake();
        }
        // The voice gave up on this server and has gone since.
        if (orphaned) CancelAndClose(connection);
      });
    } catch (const std::system_error&) {
      std::lock_guard lock(link_->mutex);
      link_->callRunning = false;
      return Break();
    }
    const bool heard = AwaitWords(marked, handedOver, latest);
    LetGoOfHelper(*link_, helper);
    return heard || Break();
  }

 private:
  bool Break() {
    broken_ = true;
    return false;
  }

  // Waits until the last word of the text has been heard (or the server
  // reports the text ended or cancelled), as long as the server keeps
  // making progress and the connection stays up.
  bool AwaitWords(const MarkedText& marked, Clock::time_point handedOver, Clock::time_point latest) {
    const std::size_t words = marked.charactersBeforeMark.size();
    const auto characterTime = [&](std::size_t mark) {
      return Clock::duration(limits_.perCharacter * static_cast<std::chrono::milliseconds::rep>(
          marked.charactersBeforeMark[mark]));
    };
    std::optional<Clock::time_point> hungUpAt;
    for (;;) {
      Clock::time_point deadline = latest;
      {
        std::lock_guard lock(link_->mutex);
        if (link_->sayDone && link_->sayId < 0) return false;
        if (link_->sayDone) {
          const auto found = link_->news.find(static_cast<std::size_t>(link_->sayId));
          const MessageNews news = found == link_->news.end() ? MessageNews{} : found->second;
          if (news.finished || news.marks >= words) {
            // Ended at its last mark: the closing pause is still to come.
            pauseToCut_ = !news.finished;
            // Ids grow with every message; what is done with is not needed again.
            link_->news.erase(link_->news.begin(), link_->news.upper_bound(static_cast<std::size_t>(link_->sayId)));
            return true;
          }
          deadline = std::min(deadline, news.marks == 0 ? handedOver + limits_.start + characterTime(0)
                                                        : news.lastMarkAt + limits_.pause + characterTime(news.marks));
        } else {
          // The server takes a text at once when it answers at all.
          deadline = std::min(deadline, handedOver + limits_.start);
        }
      }
      // The events that came before the hang-up are still being read.
      if (hungUpAt) deadline = std::min(deadline, *hungUpAt + std::chrono::milliseconds(50));
      const Clock::time_point now = Clock::now();
      if (now >= deadline) return false;
      pollfd watched[2] = {{link_->wake[0], POLLIN, 0}, {hungUpAt ? -1 : link_->watch, POLLRDHUP, 0}};
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
      if (poll(watched, 2, static_cast<int>(std::min<long long>(wait, INT_MAX))) < 0 && errno != EINTR) return false;
      if (watched[1].revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) hungUpAt = Clock::now();
      char drained[64];
      while (read(link_->wake[0], drained, sizeof drained) > 0) {
      }
    }
  }

  std::shared_ptr<Link> link_;
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
    AppendEscaped(marked.ssml, text.substr(from, wordEnd - from));
    if (end == text.size()) AppendEscaped(marked.ssml, SilentEcho(text.substr(0, wordEnd)));
    AppendEscaped(marked.ssml, text.substr(wordEnd, end - wordEnd));
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

std::unique_ptr<Voice> OpenSpeechDispatcherVoice(const char* address, SpeechDispatcherLimits limits) {
  auto link = std::make_shared<Link>();
  if (link->wake[0] < 0) return nullptr;
  if (address != nullptr && !SetAddress(*link, address)) return nullptr;
  const Clock::time_point deadline = Clock::now() + limits.connect;
  link->callRunning = true;
  std::thread helper;
  try {
    helper = StartHelper([link] { Connect(link); });
  } catch (const std::system_error&) {
    return nullptr;
  }
  AwaitHelper(*link, helper, deadline, [&] { return link->openDone; });
  int clientId = -1;
  {
    std::lock_guard lock(link->mutex);
    if (!link->openDone) {
      // The helper closes whatever it gets, whenever it gets it.
      link->abandoned = true;
      return nullptr;
    }
    if (link->connection == nullptr) return nullptr;
    clientId = link->clientId;
  }
  Router().Add(clientId, link);
  return std::make_unique<SpeechDispatcherVoice>(std::move(link), limits);
}

}  // namespace keelmark
