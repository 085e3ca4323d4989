#pragma once
// A speech server on a unix socket, speaking the lines libspeechd 0.11 sends
// and waits for, as speech-dispatcher answered them: it queues texts and
// reports, as a working server does, the index marks in each text as they
// would be heard and then the text's end, or breaks down in the ways a real
// server was seen to.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace keelmark {

enum class FakeSpeechMode {
  Refuse,  // accepts a connection and closes it at once
  Silent,  // accepts and reads, never answers a line
  Answer,  // answers as speech-dispatcher does
};

struct FakeSpeechOptions {
  FakeSpeechMode mode = FakeSpeechMode::Answer;

  // How a queued text is sounded: each index mark comes this long after the
  // one before (the first after the text was queued), and the end this long
  // after the last mark (the synthesiser's closing pause).
  std::chrono::milliseconds perMark{0};
  std::chrono::milliseconds closingPause{0};
  // An output module without index marks: only the end is reported.
  bool reportMarks = true;
  // The output module falls silent after this many marks of a text: no
  // more marks, no end (a module killed, a sound server gone).
  std::optional<int> stallAfterMarks;
  // The server hangs up after this many marks of a text (killed).
  std::optional<int> hangUpAfterMarks;
  bool cancelInsteadOfEnd = false;
  // The end of the text reaches the client before the reply that queued it.
  bool endBeforeQueuedReply = false;
  // Ends and marks of another message of ours and of our message for
  // another client come first.
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

class FakeSpeechServer {
 public:
  FakeSpeechServer(const std::filesystem::path& socketPath, FakeSpeechOptions options);
  ~FakeSpeechServer();
  FakeSpeechServer(const FakeSpeechServer&) = delete;
  FakeSpeechServer& operator=(const FakeSpeechServer&) = delete;

  std::string Address() const { return "unix_socket:" + path_.string(); }

  // Every command line received, texts left out.
  std::vector<std::string> Commands();
  int CountCommands(const std::string& prefix);
  // Each text as it was sent, and as it would be heard: markup taken out,
  // entities read back.
  std::vector<std::string> RawTexts();
  std::vector<std::string> Texts();
  int HangUps();

  // Waits for something the client does on its own threads.
  bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit);

 private:
  struct Client;
  struct Due;
  void Run();
  void Handle(Client& client, const std::string& line, std::vector<Due>& due);
  void Queue(Client& client, std::vector<Due>& due);
  std::size_t TextsQueued();

  std::filesystem::path path_;
  FakeSpeechOptions options_;
  int clientId_;
  int nextMessageId_ = 1;
  int listenFd_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> commands_;
  std::vector<std::string> rawTexts_;
  int hangUps_ = 0;
};

// What a text in SSML sounds like: the markup taken out, entities read back.
std::string HeardText(const std::string& ssml);

}  // namespace keelmark
