// The speech-dispatcher voice against servers of our own on a private unix
// socket: one that is not there, one that hangs up, one that never answers,
// and one that speaks enough of the protocol to queue texts and report when
// each has been spoken, or never report it. The game must never freeze on
// any of them, and must hear each text to its end from one that works.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/speech_dispatcher_voice.h"
#include "presentation/speech.h"

namespace keelmark {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

enum class ServerMode {
  Refuse,  // accepts a connection and closes it at once
  Silent,  // accepts and reads, never answers a line
  Answer,  // answers as speech-dispatcher does
};

struct ServerOptions {
  ServerMode mode = ServerMode::Answer;
  // How long after queueing a text the server reports it spoken; never, when
  // empty.
  std::optional<milliseconds> endAfter = milliseconds(0);
  bool cancelInsteadOfEnd = false;
  // The end of the text reaches the client before the reply that queued it.
  bool endBeforeQueuedReply = false;
  // Ends of another message of ours and of our message for another client
  // come first.
  bool decoyEvents = false;
  // False: the server stops answering once the client sets a priority, so
  // spd_say never returns.
  bool answerSay = true;
  // The server hangs up as soon as the client starts sending a text.
  bool hangUpOnSpeak = false;
  // The server hangs up when asked for the client's id, the last question
  // of the greeting.
  bool hangUpOnClientId = false;
  // False: once a text is queued, the server answers nothing more, as the
  // real one did when it had no sound output.
  bool answerAfterText = true;
};

// Client ids differ between the servers of one run, as they do between the
// clients of one real server: a connection of an earlier test that is left
// behind must not be mistaken for the current one.
std::atomic<int> nextClientId{41};

// A speech server on a unix socket, speaking the lines libspeechd 0.11 sends
// and waits for, as the real server answered them.
class FakeSpeechServer {
 public:
  FakeSpeechServer(const fs::path& socketPath, ServerOptions options)
      : path_(socketPath), options_(options), clientId_(nextClientId++) {
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string pathText = path_.string();
    if (listenFd_ < 0 || pathText.size() >= sizeof(address.sun_path) || pipe(wake_) != 0) {
      ADD_FAILURE() << "cannot make a socket at " << pathText;
      return;
    }
    std::copy(pathText.begin(), pathText.end(), address.sun_path);
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(listenFd_, 8) != 0) {
      ADD_FAILURE() << "cannot listen at " << pathText;
      return;
    }
    thread_ = std::thread([this] { Run(); });
  }

  ~FakeSpeechServer() {
    if (thread_.joinable()) {
      const char stop = 's';
      EXPECT_EQ(write(wake_[1], &stop, 1), 1);
      thread_.join();
    }
    if (listenFd_ >= 0) close(listenFd_);
    for (int fd : wake_) {
      if (fd >= 0) close(fd);
    }
    std::error_code ignored;
    fs::remove(path_, ignored);
  }

  std::string Address() const { return "unix_socket:" + path_.string(); }

  std::vector<std::string> Commands() {
    std::lock_guard lock(mutex_);
    return commands_;
  }
  std::vector<std::string> Texts() {
    std::lock_guard lock(mutex_);
    return texts_;
  }
  int HangUps() {
    std::lock_guard lock(mutex_);
    return hangUps_;
  }
  int CountCommands(const std::string& prefix) {
    const std::vector<std::string> commands = Commands();
    return static_cast<int>(std::count_if(commands.begin(), commands.end(),
                                          [&](const std::string& c) { return StartsWith(Upper(c), prefix); }));
  }

  // Waits for something the client does on its own threads.
  bool WaitUntil(const std::function<bool()>& ready, milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    while (!ready()) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
  }

 private:
  struct Client {
    int fd = -1;
    std::string input;
    bool inText = false;
    std::string text;
  };
  struct Delayed {
    Clock::time_point due;
    int fd;
    std::string bytes;
  };

  static std::string Event(int code, int messageId, int clientId, const char* name) {
    std::ostringstream event;
    event << code << '-' << messageId << "\r\n" << code << '-' << clientId << "\r\n" << code << ' ' << name << "\r\n";
    return event.str();
  }

  static void Send(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }

  void Run() {
    std::vector<Client> clients;
    std::vector<Delayed> delayed;
    for (;;) {
      std::vector<pollfd> watched{{wake_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
      for (const Client& client : clients) watched.push_back({client.fd, POLLIN, 0});
      int timeout = -1;
      if (!delayed.empty()) {
        const auto first = std::min_element(delayed.begin(), delayed.end(),
                                            [](const Delayed& a, const Delayed& b) { return a.due < b.due; });
        timeout = static_cast<int>(
            std::max<long long>(0, std::chrono::duration_cast<milliseconds>(first->due - Clock::now()).count() + 1));
      }
      if (poll(watched.data(), watched.size(), timeout) < 0) continue;
      if (watched[0].revents != 0) break;
      for (std::size_t i = 0; i < clients.size(); ++i) {
        if (watched[i + 2].revents == 0) continue;
        Client& client = clients[i];
        char buffer[4096];
        const ssize_t n = read(client.fd, buffer, sizeof buffer);
        if (n <= 0) {
          std::lock_guard lock(mutex_);
          ++hangUps_;
          close(client.fd);
          client.fd = -1;
          continue;
        }
        client.input.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while (client.fd >= 0 && (end = client.input.find("\r\n")) != std::string::npos) {
          const std::string line = client.input.substr(0, end);
          client.input.erase(0, end + 2);
          Handle(client, line, delayed);
        }
      }
      std::erase_if(delayed, [&](const Delayed& d) {
        return std::none_of(clients.begin(), clients.end(), [&](const Client& c) { return c.fd == d.fd; });
      });
      std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
      // Taken in after the clients polled above, which `watched` lines up with.
      if (watched[1].revents & POLLIN) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
          if (options_.mode == ServerMode::Refuse) {
            close(fd);
          } else {
            clients.push_back(Client{fd, {}, false, {}});
          }
        }
      }
      const Clock::time_point now = Clock::now();
      for (const Delayed& d : delayed) {
        if (d.due <= now) Send(d.fd, d.bytes);
      }
      std::erase_if(delayed, [&](const Delayed& d) { return d.due <= now; });
    }
    for (const Client& client : clients) close(client.fd);
  }

  void Handle(Client& client, const std::string& line, std::vector<Delayed>& delayed) {
    if (client.inText) {
      if (line == ".") {
        client.inText = false;
        Queue(client, delayed);
      } else {
        if (!client.text.empty()) client.text += '\n';
        client.text += StartsWith(line, "..") ? line.substr(1) : line;
      }
      return;
    }
    {
      std::lock_guard lock(mutex_);
      commands_.push_back(line);
    }
    if (options_.mode == ServerMode::Silent || (!options_.answerAfterText && TextsQueued() > 0)) return;
    const std::string command = Upper(line);
    if (StartsWith(command, "SET SELF CLIENT_NAME ")) {
      Send(client.fd, "208 OK CLIENT NAME SET\r\n");
    } else if (StartsWith(command, "SET SELF NOTIFICATION ")) {
      Send(client.fd, "220 OK NOTIFICATION SET\r\n");
    } else if (command == "HISTORY GET CLIENT_ID") {
      if (options_.hangUpOnClientId) {
        close(client.fd);
        client.fd = -1;
        return;
      }
      Send(client.fd, "245-" + std::to_string(clientId_) + "\r\n245 OK CLIENT ID SENT\r\n");
    } else if (StartsWith(command, "SET SELF PRIORITY ")) {
      if (options_.answerSay) Send(client.fd, "202 OK PRIORITY SET\r\n");
    } else if (command == "SPEAK") {
      Send(client.fd, "230 OK RECEIVING DATA\r\n");
      if (options_.hangUpOnSpeak) {
        close(client.fd);
        client.fd = -1;
        return;
      }
      client.inText = true;
      client.text.clear();
    } else if (command == "CANCEL SELF") {
      Send(client.fd, "213 OK CANCELED\r\n");
    } else {
      Send(client.fd, "300 ERR UNKNOWN COMMAND\r\n");
    }
  }

  std::size_t TextsQueued() {
    std::lock_guard lock(mutex_);
    return texts_.size();
  }

  void Queue(Client& client, std::vector<Delayed>& delayed) {
    const int messageId = nextMessageId_++;
    {
      std::lock_guard lock(mutex_);
      texts_.push_back(client.text);
    }
    const std::string queued = "225-" + std::to_string(messageId) + "\r\n225 OK MESSAGE QUEUED\r\n";
    const std::string finished = options_.cancelInsteadOfEnd ? Event(703, messageId, clientId_, "CANCELED")
                                                             : Event(702, messageId, clientId_, "END");
    if (options_.endBeforeQueuedReply) {
      Send(client.fd, finished + queued);
      return;
    }
    Send(client.fd, queued);
    Send(client.fd, Event(701, messageId, clientId_, "BEGIN"));
    if (options_.decoyEvents) {
      Send(client.fd, Event(702, messageId + 1000, clientId_, "END"));
      Send(client.fd, Event(703, messageId + 1001, clientId_, "CANCELED"));
      Send(client.fd, Event(702, messageId, clientId_ + 1000, "END"));
    }
    if (options_.endAfter) delayed.push_back({Clock::now() + *options_.endAfter, client.fd, finished});
  }

  fs::path path_;
  ServerOptions options_;
  int clientId_;
  int nextMessageId_ = 1;
  int listenFd_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::vector<std::string> texts_;
  int hangUps_ = 0;
};

// Every test runs in a private directory, with libspeechd's way of starting
// a server pointed at a stand-in script: no test may start the machine's real
// speech-dispatcher. The stand-in notes how it was called and, when the test
// has a server waiting at ServerPath(), "starts" it by putting a link to it
// where the client looks, as a started server would put its socket there.
class SpeechDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "keelmark-spd-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    spawnNote_ = dir_ / "spawned";
    const fs::path script = dir_ / "spawn.sh";
    {
      std::ofstream out(script);
      out << "#!/bin/sh\n"
          << "echo \"$@\" > '" << spawnNote_.string() << "'\n"
          << "[ -S '" << ServerPath().string() << "' ] || exit 1\n"
          << "ln -s '" << ServerPath().string() << "' '" << SocketPath().string() << "'\n";
    }
    fs::permissions(script, fs::perms::owner_all);
    Remember("SPEECHD_CMD");
    Remember("SPEECHD_ADDRESS");
    setenv("SPEECHD_CMD", script.c_str(), 1);
    unsetenv("SPEECHD_ADDRESS");
  }

  void TearDown() override {
    for (const auto& [name, value] : savedEnvironment_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path SocketPath() const { return dir_ / "sock"; }
  fs::path ServerPath() const { return dir_ / "server"; }
  bool SpawnWasAsked() const { return fs::exists(spawnNote_); }
  std::string SpawnArguments() const {
    std::ifstream in(spawnNote_);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Limits for servers that are expected to answer: wide, since they only
  // come into play when the voice is wrong.
  static SpeechDispatcherLimits Patient() {
    SpeechDispatcherLimits limits;
    limits.connect = milliseconds(5000);
    limits.perText = milliseconds(5000);
    limits.perCharacter = milliseconds(0);
    return limits;
  }

  // Limits for servers that are expected to fail the voice.
  static SpeechDispatcherLimits Short() {
    SpeechDispatcherLimits limits;
    limits.connect = milliseconds(300);
    limits.perText = milliseconds(300);
    limits.perCharacter = milliseconds(10);
    return limits;
  }

 private:
  void Remember(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    savedEnvironment_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }

  fs::path dir_;
  fs::path spawnNote_;
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
};

using SpeechDispatcherConnect = SpeechDispatcherTest;
using SpeechDispatcherSpeak = SpeechDispatcherTest;
using SpeechDispatcherFallback = SpeechDispatcherTest;

// --- Connecting ---

TEST_F(SpeechDispatcherConnect, NothingListeningGivesNoVoiceAtOnceAndStartsNoServer) {
  SpeechDispatcherLimits limits = Patient();
  const std::string address = "unix_socket:" + SocketPath().string();
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(OpenSpeechDispatcherVoice(address.c_str(), limits), nullptr);
  // Well within the five-second connect limit: the failure itself was seen.
  EXPECT_LT(MillisecondsSince(start), 2000);
  // A server named by the game is not started on its behalf.
  EXPECT_FALSE(SpawnWasAsked()) << SpawnArguments();
}

TEST_F(SpeechDispatcherConnect, DefaultAddressStartsTheConfiguredServerOnDemand) {
  // SPEECHD_ADDRESS is where the player's clients look; the server there is
  // started on demand, as speech-dispatcher's own clients do.
  FakeSpeechServer server(ServerPath(), ServerOptions{});
  setenv("SPEECHD_ADDRESS", ("unix_socket:" + SocketPath().string()).c_str(), 1);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(nullptr, Patient());
  ASSERT_TRUE(SpawnWasAsked());
  const std::string arguments = SpawnArguments();
  EXPECT_NE(arguments.find("--spawn"), std::string::npos) << arguments;
  EXPECT_NE(arguments.find("--socket-path " + SocketPath().string()), std::string::npos) << arguments;
  ASSERT_NE(voice, nullptr);
  EXPECT_TRUE(voice->Speak("round 1"));
  EXPECT_EQ(server.Texts(), std::vector<std::string>{"round 1"});
}

TEST_F(SpeechDispatcherConnect, DefaultAddressWhoseServerWillNotStartGivesNoVoiceAtOnce) {
  setenv("SPEECHD_ADDRESS", ("unix_socket:" + SocketPath().string()).c_str(), 1);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(OpenSpeechDispatcherVoice(nullptr, Patient()), nullptr);
  EXPECT_LT(MillisecondsSince(start), 2000);
  EXPECT_TRUE(SpawnWasAsked());
}

TEST_F(SpeechDispatcherConnect, UnknownAddressKindGivesNoVoice) {
  EXPECT_EQ(OpenSpeechDispatcherVoice("carrier_pigeon:/tmp/x", Patient()), nullptr);
  EXPECT_EQ(OpenSpeechDispatcherVoice("unix_socket:", Patient()), nullptr);
  EXPECT_FALSE(SpawnWasAsked());
}

TEST_F(SpeechDispatcherConnect, ServerThatHangsUpGivesNoVoiceQuickly) {
  ServerOptions options;
  options.mode = ServerMode::Refuse;
  FakeSpeechServer server(SocketPath(), options);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(OpenSpeechDispatcherVoice(server.Address().c_str(), Patient()), nullptr);
  // Well within the five-second connect limit: the hang-up itself was seen.
  EXPECT_LT(MillisecondsSince(start), 2000);
  EXPECT_FALSE(SpawnWasAsked());
}

TEST_F(SpeechDispatcherConnect, ServerHangingUpMidGreetingGivesNoVoiceAndNothingElse) {
  // libspeechd's own client id call would read a missing reply here and
  // bring the tests down.
  ServerOptions options;
  options.hangUpOnClientId = true;
  FakeSpeechServer server(SocketPath(), options);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(OpenSpeechDispatcherVoice(server.Address().c_str(), Patient()), nullptr);
  EXPECT_LT(MillisecondsSince(start), 2000);
  EXPECT_EQ(server.CountCommands("HISTORY GET CLIENT_ID"), 1);
}

TEST_F(SpeechDispatcherConnect, ServerThatNeverAnswersGivesNoVoiceAfterTheConnectLimit) {
  ServerOptions options;
  options.mode = ServerMode::Silent;
  FakeSpeechServer server(SocketPath(), options);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(OpenSpeechDispatcherVoice(server.Address().c_str(), Short()), nullptr);
  const long long elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 250);
  EXPECT_LT(elapsed, 300 + 1500);
  // The greeting did reach it: the wait was for its answer.
  EXPECT_EQ(server.CountCommands("SET SELF CLIENT_NAME "), 1);
}

TEST_F(SpeechDispatcherConnect, GreetsAsKeelmarkAndAsksForEndAndCancelEventsOnly) {
  FakeSpeechServer server(SocketPath(), ServerOptions{});
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  ASSERT_TRUE(voice->Speak("round 1"));
  const std::vector<std::string> commands = server.Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_TRUE(StartsWith(commands.front(), "SET SELF CLIENT_NAME \"")) << commands.front();
  EXPECT_NE(commands.front().find(":keelmark:main\""), std::string::npos) << commands.front();
  const auto sent = [&](const std::string& command) {
    return std::find(commands.begin(), commands.end(), command) != commands.end();
  };
  EXPECT_TRUE(sent("SET SELF NOTIFICATION end on"));
  EXPECT_TRUE(sent("SET SELF NOTIFICATION cancel on"));
  // The player's own settings rule: no voice, rate, pitch, volume, language
  // or synthesizer of the game's choosing.
  for (const std::string& command : commands) {
    const std::string upper = Upper(command);
    const bool allowed = StartsWith(upper, "SET SELF CLIENT_NAME ") || StartsWith(upper, "SET SELF NOTIFICATION ") ||
                         upper == "HISTORY GET CLIENT_ID" || upper == "SET SELF PRIORITY MESSAGE" ||
                         upper == "SPEAK";
    EXPECT_TRUE(allowed) << "unexpected command: " << command;
  }
}

// --- Speaking ---

TEST_F(SpeechDispatcherSpeak, EachTextReturnsOnlyWhenTheServerHasSpokenIt) {
  ServerOptions options;
  options.endAfter = milliseconds(200);
  FakeSpeechServer server(SocketPath(), options);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  for (const char* text : {"round 1", "Coordinates?"}) {
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(voice->Speak(text)) << text;
    const long long elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, 180) << text;
    EXPECT_LT(elapsed, 3000) << text;
  }
  EXPECT_EQ(server.Texts(), (std::vector<std::string>{"round 1", "Coordinates?"}));
  // Queued, never cutting into the previous text.
  EXPECT_EQ(server.CountCommands("SET SELF PRIORITY MESSAGE"), 2);
}

TEST_F(SpeechDispatcherSpeak, TextGoesToTheServerAsItIs) {
  FakeSpeechServer server(SocketPath(), ServerOptions{});
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  const std::string accented = "Tr\xc3\xa4" "ffer \xe2\x80\x94 J10";  // UTF-8: a umlaut, an em dash
  EXPECT_TRUE(voice->Speak(accented));
  EXPECT_TRUE(voice->Speak(".5 miles"));  // a leading dot travels escaped and arrives whole
  EXPECT_EQ(server.Texts(), (std::vector<std::string>{accented, ".5 miles"}));
}

TEST_F(SpeechDispatcherSpeak, EndReportedBeforeTheTextIsQueuedStillCounts) {
  ServerOptions options;
  options.endBeforeQueuedReply = true;
  FakeSpeechServer server(SocketPath(), options);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  for (const char* text : {"round 1", "Coordinates?"}) {
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(voice->Speak(text)) << text;
    // Far below the five-second limit: the early report was not lost.
    EXPECT_LT(MillisecondsSince(start), 2000) << text;
  }
}

TEST_F(SpeechDispatcherSpeak, EventsOfOtherMessagesOrClientsDoNotEndTheWait) {
  ServerOptions options;
  options.decoyEvents = true;
  options.endAfter = milliseconds(300);
  FakeSpeechServer server(SocketPath(), options);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(voice->Speak("round 1"));
  const long long elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 280);
  EXPECT_LT(elapsed, 3000);
}

TEST_F(SpeechDispatcherSpeak, CancelledTextCountsAsDoneAndTheVoiceGoesOn) {
  // Cancelled by the player's screen reader, say: the server is well.
  ServerOptions options;
  options.cancelInsteadOfEnd = true;
  options.endAfter = milliseconds(100);
  FakeSpeechServer server(SocketPath(), options);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(voice->Speak("round 1"));
  EXPECT_TRUE(voice->Speak("Coordinates?"));
  EXPECT_LT(MillisecondsSince(start), 3000);
  EXPECT_EQ(server.Texts().size(), 2u);
}

TEST_F(SpeechDispatcherSpeak, EmptyTextIsNotSentAndReturnsAtOnce) {
  ServerOptions options;
  options.endAfter.reset();  // were it sent, it would never end
  FakeSpeechServer server(SocketPath(), options);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(voice->Speak(""));
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_EQ(server.CountCommands("SPEAK"), 0);
  EXPECT_TRUE(server.Texts().empty());
}

TEST_F(SpeechDispatcherSpeak, TextNeverReportedSpokenBreaksTheVoiceForGood) {
  ServerOptions options;
  options.endAfter.reset();
  FakeSpeechServer server(SocketPath(), options);
  SpeechDispatcherLimits limits = Short();
  limits.connect = milliseconds(5000);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), limits);
  ASSERT_NE(voice, nullptr);
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(voice->Speak("round 1"));  // 300 + 10 * 7 = 370 ms allowed
  const long long elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 350);
  EXPECT_LT(elapsed, 370 + 1500);
  const Clock::time_point again = Clock::now();
  EXPECT_FALSE(voice->Speak("Coordinates?"));
  EXPECT_LT(MillisecondsSince(again), 200);
  EXPECT_EQ(server.Texts(), std::vector<std::string>{"round 1"});
  // Still answering: it is asked to drop the text, which is then heard from
  // the next voice instead.
  voice.reset();
  EXPECT_TRUE(server.WaitUntil([&] { return server.CountCommands("CANCEL SELF") == 1; }, milliseconds(2000)));
}

TEST_F(SpeechDispatcherSpeak, LettingGoOfAVoiceWhoseServerFellSilentDoesNotWaitForIt) {
  ServerOptions options;
  options.endAfter.reset();
  options.answerAfterText = false;
  FakeSpeechServer server(SocketPath(), options);
  SpeechDispatcherLimits limits = Short();
  limits.connect = milliseconds(5000);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), limits);
  ASSERT_NE(voice, nullptr);
  EXPECT_FALSE(voice->Speak("round 1"));
  // Well short of the five seconds a greeting may take.
  const Clock::time_point closing = Clock::now();
  voice.reset();
  EXPECT_LT(MillisecondsSince(closing), 1000);
}

TEST_F(SpeechDispatcherSpeak, AllowedTimeGrowsWithTheLengthOfTheText) {
  ServerOptions options;
  options.endAfter = milliseconds(500);
  FakeSpeechServer server(SocketPath(), options);
  SpeechDispatcherLimits limits = Patient();
  limits.perText = milliseconds(100);
  limits.perCharacter = milliseconds(50);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), limits);
  ASSERT_NE(voice, nullptr);
  // 36 characters: 100 + 50 * 36 = 1900 ms, well past the 500 ms it takes.
  EXPECT_TRUE(voice->Speak("Your battle ship has been sunk. Ouch"));
  // 1 character: 150 ms, short of it.
  EXPECT_FALSE(voice->Speak("A"));
}

TEST_F(SpeechDispatcherSpeak, ServerThatStopsAnsweringMidTextDoesNotFreezeTheGame) {
  ServerOptions options;
  options.answerSay = false;
  FakeSpeechServer server(SocketPath(), options);
  SpeechDispatcherLimits limits = Short();
  limits.connect = milliseconds(5000);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), limits);
  ASSERT_NE(voice, nullptr);
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(voice->Speak("round 1"));
  EXPECT_LT(MillisecondsSince(start), 370 + 1500);
  EXPECT_FALSE(voice->Speak("Coordinates?"));
  // Nor does letting go of it: the connection is still stuck in a call.
  const Clock::time_point closing = Clock::now();
  voice.reset();
  EXPECT_LT(MillisecondsSince(closing), 1000);
}

TEST_F(SpeechDispatcherSpeak, ServerHangingUpMidTextBreaksTheVoiceAndNothingElse) {
  // libspeechd then writes to a closed socket; SIGPIPE would end the tests.
  ServerOptions options;
  options.hangUpOnSpeak = true;
  FakeSpeechServer server(SocketPath(), options);
  SpeechDispatcherLimits limits = Short();
  limits.connect = milliseconds(5000);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), limits);
  ASSERT_NE(voice, nullptr);
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(voice->Speak("round 1"));
  EXPECT_LT(MillisecondsSince(start), 370 + 1500);
  EXPECT_FALSE(voice->Speak("Coordinates?"));
  const Clock::time_point closing = Clock::now();
  voice.reset();
  EXPECT_LT(MillisecondsSince(closing), 1000);
}

TEST_F(SpeechDispatcherSpeak, LettingGoOfAWorkingVoiceCancelsItsSpeechAndHangsUp) {
  FakeSpeechServer server(SocketPath(), ServerOptions{});
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  ASSERT_TRUE(voice->Speak("round 1"));
  EXPECT_EQ(server.HangUps(), 0);
  const Clock::time_point closing = Clock::now();
  voice.reset();
  EXPECT_LT(MillisecondsSince(closing), 2000);
  EXPECT_EQ(server.CountCommands("CANCEL SELF"), 1);
  EXPECT_TRUE(server.WaitUntil([&] { return server.HangUps() == 1; }, milliseconds(2000)));
}

// --- Handing over to the next voice ---

class RecordingVoice : public Voice {
 public:
  explicit RecordingVoice(std::vector<std::string>& heard) : heard_(heard) {}
  bool Speak(const std::string& utf8Text) override {
    heard_.push_back(utf8Text);
    return true;
  }

 private:
  std::vector<std::string>& heard_;
};

TEST_F(SpeechDispatcherFallback, BrokenServerHandsTheTextAndTheRestOfTheGameToTheNextVoice) {
  ServerOptions options;
  options.endAfter.reset();
  options.answerAfterText = false;
  FakeSpeechServer server(SocketPath(), options);
  const std::string address = server.Address();
  SpeechDispatcherLimits limits = Short();
  limits.connect = milliseconds(5000);
  std::vector<std::string> heard;
  Speech speech({[&] { return OpenSpeechDispatcherVoice(address.c_str(), limits); },
                 [&]() -> std::unique_ptr<Voice> { return std::make_unique<RecordingVoice>(heard); }},
                nullptr);
  speech.CreateVoice();
  EXPECT_TRUE(heard.empty());  // the server greeted: its voice speaks first

  Clock::time_point start = Clock::now();
  speech.speechText = "round 1";
  speech.SpeakText();
  EXPECT_LT(MillisecondsSince(start), 370 + 1500);
  EXPECT_EQ(heard, std::vector<std::string>{"round 1"});

  start = Clock::now();
  speech.speechText = "Coordinates?";
  speech.SpeakText();
  EXPECT_LT(MillisecondsSince(start), 200);
  EXPECT_EQ(heard, (std::vector<std::string>{"round 1", "Coordinates?"}));
  // The broken server was given the first text only.
  EXPECT_EQ(server.Texts(), std::vector<std::string>{"round 1"});
  speech.ReleaseVoice();
}

}  // namespace
}  // namespace keelmark
