#pragma once
// A speech server on a unix socket, speaking the lines libspeechd 0.11 sends
// and waits for, as speech-dispatcher answered them: it queues texts and
// reports the index marks in each as they would be heard and then the
// text's end, or breaks down in the ways a real server was seen to.

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace keelmark {

struct FakeSpeechOptions {
  // Accepts a connection and closes it at once, before the greeting.
  bool refuse = false;
  // Each index mark comes this long after the one before (the first after
  // the text was queued), and the end this long after the last mark (the
  // synthesiser's closing pause).
  std::chrono::milliseconds perMark{0};
  std::chrono::milliseconds closingPause{0};
  // An output module without index marks: only the end is reported.
  bool reportMarks = true;
  // The output module falls silent after this many marks of a text (a
  // module killed, a sound server gone), or the server hangs up then.
  std::optional<int> stallAfterMarks{};
  bool hangUpOnStall = false;
  bool cancelInsteadOfEnd = false;
  // The end of the text reaches the client before the reply that queued it.
  bool endBeforeQueuedReply = false;
  // Ends and marks of another message of ours and of our message for
  // another client come first.
  bool decoyEvents = false;
  // The first command starting with this (in capitals) is not answered:
  // the server hangs up instead, or answers nothing from then on.
  std::string hangUpOn{};
  std::string silentFrom{};
  // Answers nothing once it has taken a text (as speech-dispatcher without a
  // sound output).
  bool silentOnceTaken = false;
  // Another program's text is being spoken for this long from the server's
  // start: none of ours begins before it has ended, cancelling ours or not.
  std::chrono::milliseconds othersAhead{0};
};

class FakeSpeechServer {
 public:
  FakeSpeechServer(const std::filesystem::path& socketPath, FakeSpeechOptions options);
  ~FakeSpeechServer();
  FakeSpeechServer(const FakeSpeechServer&) = delete;
  FakeSpeechServer& operator=(const FakeSpeechServer&) = delete;

  std::string Address() const { return "unix_socket:" + path_.string(); }

  // Every command line received, in capitals (libspeechd writes some in
  // lower case, and the server takes either), texts left out.
  std::vector<std::string> Commands();
  int CountCommands(const std::string& prefix);
  // Each text as it would be heard.
  std::vector<std::string> Texts();
  int HangUps();

 private:
  struct Client;
  struct Due;
  void Run();
  void HangUp(Client& client);
  void Handle(Client& client, const std::string& line);
  void Queue(Client& client);

  std::filesystem::path path_;
  FakeSpeechOptions options_;
  int clientId_;
  int nextMessageId_ = 1;
  std::chrono::steady_clock::time_point othersUntil_;
  bool silent_ = false;
  int listenFd_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::vector<std::string> texts_;
  int hangUps_ = 0;
};

// Waits for something the client does on its own threads.
bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit);

long long MillisecondsSince(std::chrono::steady_clock::time_point start);
std::string ReadAll(const std::filesystem::path& path);

}  // namespace keelmark
