#include "platform/posix/speech_dispatcher_voice.h"

#include <libspeechd.h>
#include <pthread.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace keelmark {

namespace {

using Clock = std::chrono::steady_clock;

// What the voice shares with the threads that call into libspeechd for it.
// Those threads may outlive the voice (one stuck on a server that never
// answers is left behind), so each holds the link, never the voice.
struct Link {
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
  // Messages of ours the server has finished with (ended or cancelled). An
  // event may come in before spd_say has handed back the message's id, so
  // they are kept by id rather than waited for one at a time.
  std::set<std::size_t> finishedIds;
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
  void Finished(std::size_t messageId, std::size_t clientId) {
    std::shared_ptr<Link> link;
    {
      std::lock_guard lock(mutex_);
      for (const auto& [id, entry] : links_) {
        if (id >= 0 && static_cast<std::size_t>(id) == clientId) link = entry.lock();
      }
    }
    if (link == nullptr) return;  // a voice that has gone
    std::lock_guard lock(link->mutex);
    link->finishedIds.insert(messageId);
    link->changed.notify_all();
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
  Router().Finished(messageId, clientId);
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

// Waits until `done` holds or the deadline passes; the caller looks at the
// outcome afterwards. A helper that is through is joined, one that is still
// in libspeechd is left to finish on its own.
template <typename Done>
void AwaitHelper(Link& link, std::thread& helper, Clock::time_point deadline, Done done) {
  std::unique_lock lock(link.mutex);
  link.changed.wait_until(lock, deadline, done);
  const bool helperFinished = !link.callRunning;
  lock.unlock();
  if (helperFinished) {
    helper.join();
  } else {
    helper.detach();
  }
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

// The helper's side of opening: connect, greet, ask for the events the voice
// waits on.
void Connect(const std::shared_ptr<Link>& link) {
  const bool autospawn = !link->explicitAddress;
  char* error = nullptr;
  SPDConnection* connection = nullptr;
  {
#if defined(__SANITIZE_ADDRESS__)
    // libspeechd 0.11 drops a few bytes of its own on every connection that
    // fails (the note on starting the server); the sanitizer run is after
    // the game's memory, not that.
    __lsan::ScopedDisabler libspeechdKeepsItsNotes;
#endif
    connection = spd_open2("keelmark", "main", nullptr, SPD_MODE_THREADED,
                           link->explicitAddress ? &link->address : nullptr, autospawn, &error);
  }
  std::free(error);
  int clientId = -1;
  if (connection != nullptr) {
    connection->callback_end = OnMessageFinished;
    connection->callback_cancel = OnMessageFinished;
    // spd_open2 hands back a connection even when the server did not take
    // the greeting; a server that cannot take these either is no voice.
    if (spd_set_notification_on(connection, SPD_END) != 0 || spd_set_notification_on(connection, SPD_CANCEL) != 0 ||
        (clientId = AskClientId(connection)) <= 0) {
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
    }
    link->openDone = true;
    link->changed.notify_all();
  }
  // The game gave up waiting for this server before it answered.
  if (unwanted && connection != nullptr) spd_close(connection);
}

std::size_t CharacterCount(std::string_view utf8Text) {
  return static_cast<std::size_t>(
      std::count_if(utf8Text.begin(), utf8Text.end(), [](char byte) { return (byte & 0xC0) != 0x80; }));
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
        link->changed.notify_all();
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
    const Clock::time_point deadline =
        Clock::now() + limits_.perText + limits_.perCharacter * static_cast<long long>(CharacterCount(utf8Text));
    {
      std::lock_guard lock(link_->mutex);
      link_->sayDone = false;
      link_->sayId = -1;
      link_->callRunning = true;
    }
    std::thread helper;
    try {
      helper = StartHelper([link = link_, connection = link_->connection, text = utf8Text] {
        // MESSAGE, not TEXT: the server queues messages and speaks each in
        // full, while a text is cancelled by the next text that comes, ours
        // or another program's. Nothing the game says may be cut short by
        // what it says next.
        const int messageId = spd_say(connection, SPD_MESSAGE, text.c_str());
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
          link->changed.notify_all();
        }
        // The voice gave up on this server and has gone since.
        if (orphaned) CancelAndClose(connection);
      });
    } catch (const std::system_error&) {
      std::lock_guard lock(link_->mutex);
      link_->callRunning = false;
      broken_ = true;
      return false;
    }
    const auto heard = [&] {
      return link_->sayDone && link_->sayId >= 0 && link_->finishedIds.count(static_cast<std::size_t>(link_->sayId)) > 0;
    };
    AwaitHelper(*link_, helper, deadline, [&] { return heard() || (link_->sayDone && link_->sayId < 0); });
    std::lock_guard lock(link_->mutex);
    if (heard()) {
      // Ids grow with every message; what is done with is not needed again.
      link_->finishedIds.erase(link_->finishedIds.begin(),
                               link_->finishedIds.upper_bound(static_cast<std::size_t>(link_->sayId)));
      return true;
    }
    broken_ = true;
    return false;
  }

 private:
  std::shared_ptr<Link> link_;
  SpeechDispatcherLimits limits_;
  bool broken_ = false;
};

}  // namespace

std::unique_ptr<Voice> OpenSpeechDispatcherVoice(const char* address, SpeechDispatcherLimits limits) {
  auto link = std::make_shared<Link>();
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
