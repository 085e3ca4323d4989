// The speech-dispatcher voice against servers of our own on a private unix
// socket: one that is not there, one that hangs up, one that never answers,
// and one that speaks enough of the protocol to queue texts and report each
// word as heard, or break down while it does. The game must never be held
// longer than the voice's limits by any of them, and must hear each text to
// its last word from one that works.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/posix/speech_dispatcher_voice.h"
#include "tests/doubles/fake_speech_server.h"

namespace keelmark {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How much later than its limit a call may return on a loaded machine.
constexpr long long slackMs = 1500;

// For servers that are expected to answer: wide, since the limits only come
// into play when the voice is wrong.
constexpr SpeechDispatcherLimits patient{5000ms, 5000ms, 5000ms, 0ms, 5000ms, 20000ms};

// Every test runs in a private directory, with the way of starting a server
// pointed at a stand-in script: no test may start the machine's real
// speech-dispatcher. The stand-in notes how it was called and in which
// session it runs and, when the test has a server waiting at ServerPath(),
// "starts" it by putting a link to it where the client looks, as a started
// server would put its socket there; or, with a file "late" in the folder,
// says it is already running and puts the link there a little later, as a
// server started by another game at the same moment would.
class SpeechDispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "keelmark-spd-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::ofstream(dir_ / "spawn.sh") << "#!/bin/sh\n"
                                     << "echo \"$@\" > '" << (dir_ / "spawned").string() << "'\n"
                                     // The sixth field of a process's stat is its session.
                                     << "cut -d' ' -f6 /proc/$$/stat > '" << (dir_ / "session").string() << "'\n"
                                     << "[ -S '" << ServerPath().string() << "' ] || exit 1\n"
                                     // The other server holds its pid file long before it listens.
                                     << "[ -e '" << (dir_ / "late").string() << "' ] && { mkdir -p '"
                                     << (dir_ / "speech-dispatcher/pid").string() << "'; : > '"
                                     << (dir_ / "speech-dispatcher/pid/speech-dispatcher.pid").string()
                                     << "'; (sleep 0.3; ln -s '"
                                     << ServerPath().string() << "' '" << SocketPath().string() << "') & exit 1; }\n"
                                     << "ln -s '" << ServerPath().string() << "' '" << SocketPath().string() << "'\n";
    fs::permissions(dir_ / "spawn.sh", fs::perms::owner_all);
    for (const char* name : {"SPEECHD_CMD", "SPEECHD_ADDRESS", "XDG_RUNTIME_DIR"}) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
    setenv("SPEECHD_CMD", (dir_ / "spawn.sh").c_str(), 1);
    unsetenv("SPEECHD_ADDRESS");
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  }

  void TearDown() override {
    for (const auto& [name, value] : saved_) value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  fs::path SocketPath() const { return dir_ / "sock"; }
  std::string Address() const { return "unix_socket:" + SocketPath().string(); }

  std::unique_ptr<Voice> Open(SpeechDispatcherLimits limits) {
    setenv("SPEECHD_ADDRESS", Address().c_str(), 1);
    return OpenSpeechDispatcherVoice(limits);
  }
  fs::path ServerPath() const { return dir_ / "server"; }

  fs::path dir_;

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// --- Connecting ---

TEST_F(SpeechDispatcherTest, DefaultServerIsStartedInASessionOfItsOwnGreetedAsKeelmarkAndLetGo) {
  // SPEECHD_ADDRESS is where the player's clients look; the server there is
  // started on demand, as speech-dispatcher's own clients do.
  FakeSpeechServer server(ServerPath(), {});
  std::unique_ptr<Voice> voice = Open(patient);
  const std::string arguments = ReadAll(dir_ / "spawned");
  EXPECT_NE(arguments.find("--spawn"), std::string::npos) << arguments;
  EXPECT_NE(arguments.find("--socket-path " + SocketPath().string()), std::string::npos) << arguments;
  // Not hung up with the game's session when a game leading it ends.
  const pid_t session = static_cast<pid_t>(std::atoll(ReadAll(dir_ / "session").c_str()));
  EXPECT_GT(session, 0);
  EXPECT_NE(session, getsid(0));
  ASSERT_NE(voice, nullptr);
  EXPECT_TRUE(voice->Speak("round 1"));
  EXPECT_EQ(server.Texts(), std::vector<std::string>{"round 1"});
  const std::vector<std::string> commands = server.Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_TRUE(commands.front().ends_with(":KEELMARK:MAIN\"")) << commands.front();
  for (const char* asked : {"SET SELF NOTIFICATION BEGIN ON", "SET SELF NOTIFICATION END ON", "SET SELF NOTIFICATION CANCEL ON",
                            "SET SELF NOTIFICATION INDEX_MARKS ON", "SET SELF SSML_MODE ON", "HISTORY GET CLIENT_ID"}) {
    EXPECT_EQ(server.CountCommands(asked), 1) << asked;
  }
  // Nothing else is asked but the text, queued behind any other without
  // cutting into it: the player's own settings rule, no voice, rate, pitch,
  // volume, language, punctuation or synthesizer of the game's choosing.
  int allowed = 0;
  for (const char* prefix : {"SET SELF CLIENT_NAME ", "SET SELF NOTIFICATION ", "SET SELF SSML_MODE ON",
                             "HISTORY GET CLIENT_ID", "SET SELF PRIORITY MESSAGE", "SPEAK"}) {
    allowed += server.CountCommands(prefix);
  }
  EXPECT_EQ(allowed, static_cast<int>(commands.size())) << ::testing::PrintToString(commands);
  // Letting go of a working voice cancels its speech and hangs up.
  EXPECT_EQ(server.HangUps(), 0);
  const Clock::time_point closing = Clock::now();
  voice.reset();
  EXPECT_LT(MillisecondsSince(closing), 2000);
  EXPECT_EQ(server.CountCommands("CANCEL SELF"), 1);
  EXPECT_TRUE(WaitUntil([&] { return server.HangUps() == 1; }, 2000ms));
}

// A second game started at the same moment finds the first one's server
// still starting: it is told that one is already running, and connects to it.
TEST_F(SpeechDispatcherTest, ServerAlreadyRunningButNotYetListeningIsConnectedTo) {
  FakeSpeechServer server(ServerPath(), {});
  std::ofstream(dir_ / "late") << "";
  std::unique_ptr<Voice> voice = Open(patient);
  ASSERT_NE(voice, nullptr);
  EXPECT_TRUE(fs::exists(dir_ / "spawned"));
  EXPECT_TRUE(voice->Speak("round 1"));
}

struct NoVoiceCase {
  std::string name;
  // Empty: the test's socket.
  std::string address{};
  // The server at SocketPath(), if any.
  std::optional<FakeSpeechOptions> server{};
  // Well within the connect limit unless the wait is for an answer that
  // never comes, or for a server said to be starting: the failure itself is
  // seen.
  long long atLeastMs = 0;
};

void PrintTo(const NoVoiceCase& c, std::ostream* out) { *out << c.name; }

class SpeechDispatcherNoVoice : public SpeechDispatcherTest, public ::testing::WithParamInterface<NoVoiceCase> {};

TEST_P(SpeechDispatcherNoVoice, GivesNoVoiceWithinTheConnectLimit) {
  const NoVoiceCase& c = GetParam();
  std::optional<FakeSpeechServer> server;
  if (c.server) server.emplace(SocketPath(), *c.server);
  setenv("SPEECHD_ADDRESS", (c.address.empty() ? Address() : c.address).c_str(), 1);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(OpenSpeechDispatcherVoice({300ms, 300ms, 300ms, 10ms}), nullptr);
  EXPECT_GE(MillisecondsSince(start), c.atLeastMs);
  EXPECT_LT(MillisecondsSince(start), 300 + slackMs);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SpeechDispatcherNoVoice,
    ::testing::Values(
        // The stand-in cannot start one, and no other is starting: given up
        // at once.
        NoVoiceCase{.name = "NothingListening"},
        NoVoiceCase{.name = "UnknownAddressKind", .address = "carrier_pigeon:/tmp/x"},
        NoVoiceCase{.name = "HangsUpAtOnce", .server = FakeSpeechOptions{.refuse = true}},
        // libspeechd's own client id call would read a missing reply here
        // and bring the tests down.
        NoVoiceCase{.name = "HangsUpMidGreeting", .server = FakeSpeechOptions{.hangUpOn = "HISTORY GET CLIENT_ID"}},
        NoVoiceCase{.name = "NeverAnswers",
                    .server = FakeSpeechOptions{.silentFrom = "SET SELF CLIENT_NAME"},
                    .atLeastMs = 250}),
    [](const ::testing::TestParamInfo<NoVoiceCase>& info) { return info.param.name; });

// --- The form a text is sent in ---

struct MarkingCase {
  std::string text;
  // The SSML inside <speak>, with "|" where each mark goes.
  std::string marked;
  std::vector<std::size_t> charactersBeforeMark;
};

void PrintTo(const MarkingCase& marking, std::ostream* out) { *out << '"' << marking.text << '"'; }

std::string Ssml(const std::string& marked) {
  std::string ssml = "<speak>";
  int marks = 0;
  for (char c : marked) ssml += c == '|' ? "<mark name=\"w" + std::to_string(++marks) + "\"/>" : std::string(1, c);
  return ssml + "</speak>";
}

class MarkWordsTest : public ::testing::TestWithParam<MarkingCase> {};

TEST_P(MarkWordsTest, MarksFollowEachWordWithItsPunctuationAndTheLastClosesTheText) {
  const MarkedText marked = MarkWords(GetParam().text);
  EXPECT_EQ(marked.ssml, Ssml(GetParam().marked));
  EXPECT_EQ(marked.charactersBeforeMark, GetParam().charactersBeforeMark);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MarkWordsTest,
    ::testing::Values(
        MarkingCase{"Press any key to continue.", "Press| any| key| to| continue.|", {5, 4, 4, 3, 10}},
        MarkingCase{"You win!! ", "You| win!! |", {3, 7}},
        MarkingCase{"Computer wins! ", "Computer| wins! |", {8, 7}},
        MarkingCase{"?", "?|", {1}},
        MarkingCase{" Computer chooses: B 7", " Computer| chooses:| B| 7|", {9, 9, 2, 2}},
        // Markup in the text is read as text.
        MarkingCase{"<a> & \"b\"'s", "&lt;a&gt;| &amp;| &quot;b&quot;&apos;s|", {3, 2, 6}},
        // Characters, not bytes: a umlaut and an em dash.
        MarkingCase{"Tr\xc3\xa4" "ffer \xe2\x80\x94 J10?", "Tr\xc3\xa4" "ffer| \xe2\x80\x94| J10?|", {7, 2, 5}},
        // Blanks alone: still one mark to wait for.
        MarkingCase{"  ", "  |", {2}},
        // A leading dot, which the protocol escapes, and inner full stops.
        MarkingCase{".5 miles. Go", ".5| miles.| Go|", {2, 7, 3}}));

// --- Speaking ---

// Servers that work, each in a way of its own, and servers that break down
// mid-text. A working one hears every text to its end, and the game is held
// for as long as each is said; a broken one holds the game no longer than the
// limit that applies, and is not asked again.
struct ServerCase {
  std::string name;
  FakeSpeechOptions options{};
  SpeechDispatcherLimits limits = patient;
  // The time the game may be held by each text, from below and above: for a
  // broken server, the limit that applies and that limit with room for a
  // loaded machine.
  long long atLeastMs = 0;
  long long boundMs = 2000;
  // A broken server still takes commands afterwards, and is asked to drop
  // the text that the next voice will say again.
  bool stillAnswers = false;
  // Texts a broken server took in.
  std::size_t textsTaken = 1;
  // The texts a working server is given; none for a broken one, which is
  // given "Press any key to continue.": five words, 26 characters.
  std::vector<std::string> heard{};
};

void PrintTo(const ServerCase& c, std::ostream* out) { *out << c.name; }

class SpeechDispatcherServer : public SpeechDispatcherTest, public ::testing::WithParamInterface<ServerCase> {};

TEST_P(SpeechDispatcherServer, GameIsHeldWhileATextIsSaidAndNoLongerThanTheLimitThatApplies) {
  const ServerCase& c = GetParam();
  FakeSpeechServer server(SocketPath(), c.options);
  std::unique_ptr<Voice> voice = Open(c.limits);
  ASSERT_NE(voice, nullptr);
  // An empty text is not sent: it is not among the texts taken.
  EXPECT_TRUE(voice->Speak(""));
  const bool works = !c.heard.empty();
  for (const std::string& text : works ? c.heard : std::vector<std::string>{"Press any key to continue."}) {
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(voice->Speak(text), works) << text;
    const long long held = MillisecondsSince(start);
    std::cout << "[ figure   ] " << c.name << ": the game was held " << held << " ms\n";
    EXPECT_GE(held, c.atLeastMs) << text;
    EXPECT_LT(held, c.boundMs) << text;
  }
  if (works) {
    EXPECT_EQ(server.Texts(), c.heard);
    // Without marks each text is waited for to its end, never cut.
    if (!c.options.reportMarks) {
      EXPECT_EQ(server.CountCommands("CANCEL SELF"), 0);
    }
    return;
  }
  // Broken for good: not asked again.
  const Clock::time_point again = Clock::now();
  EXPECT_FALSE(voice->Speak("Coordinates?"));
  EXPECT_LT(MillisecondsSince(again), 200);
  EXPECT_EQ(server.Texts().size(), c.textsTaken);
  // Nor does letting go of it hold the game.
  const Clock::time_point closing = Clock::now();
  voice.reset();
  EXPECT_LT(MillisecondsSince(closing), 1000);
  if (c.stillAnswers) {
    EXPECT_TRUE(WaitUntil([&] { return server.CountCommands("CANCEL SELF") == 1; }, 2000ms));
  }
}

constexpr SpeechDispatcherLimits hangUpLimits{5000ms, 3000ms, 3000ms, 100ms};

INSTANTIATE_TEST_SUITE_P(
    Servers, SpeechDispatcherServer,
    ::testing::Values(
        // Five words each, returned at the last: the closing pause is not
        // waited for, nor does the next text wait behind it.
        ServerCase{.name = "ClosingPauseCut",
                   .options = {.perMark = 100ms, .closingPause = 2000ms},
                   .atLeastMs = 480,
                   .boundMs = 1500,
                   .heard = {"Press any key to continue.", "Enter coordinates, letter then number."}},
        // Only the end is reported: each waited for, closing pause and all.
        ServerCase{.name = "ModuleWithoutIndexMarks",
                   .options = {.perMark = 50ms, .closingPause = 300ms, .reportMarks = false},
                   .atLeastMs = 330,
                   .heard = {"round 1", "J10"}},
        // Far below the start limit: the early end was not lost. The texts
        // reach the server exactly as the game gave them, markup and all.
        ServerCase{.name = "EndBeforeTheTextIsQueued",
                   .options = {.endBeforeQueuedReply = true},
                   .heard = {"Coordinates?", "Computer wins! ", "Tr\xc3\xa4" "ffer \xe2\x80\x94 J10", ".5 miles", "a < b & c", "J"}},
        ServerCase{.name = "EventsOfOtherMessagesAndClients",
                   .options = {.perMark = 150ms, .decoyEvents = true},
                   .atLeastMs = 280,
                   .heard = {"round 1"}},
        // Cancelled by the player's screen reader, say: the server is well.
        ServerCase{.name = "CancelledByAnother",
                   .options = {.closingPause = 100ms, .reportMarks = false, .cancelInsteadOfEnd = true},
                   .heard = {"round 1", "J10"}},
        // Words 600 ms apart against a pause allowance of 500 ms plus 100 ms
        // a character: slow, but each word within its own time.
        ServerCase{.name = "SlowButEachWordInTime",
                   .options = {.perMark = 600ms},
                   .limits = {5000ms, 2000ms, 500ms, 100ms},
                   .atLeastMs = 1700,
                   .boundMs = 1800 + slackMs,
                   .heard = {"Generating ship locations"}},
        // Hang-ups are noticed as they happen, long before any limit.
        ServerCase{"ClosedAfterTwoWords", {.perMark = 100ms, .stallAfterMarks = 2, .hangUpOnStall = true},
                   hangUpLimits, 150, 1200},
        ServerCase{"ClosedOnceQueued", {.stallAfterMarks = 0, .hangUpOnStall = true}, hangUpLimits, 0, 1200},
        ServerCase{"ClosedOnSpeak", {.hangUpOn = "SPEAK"}, hangUpLimits, 0, 1200, false, 0},
        // Taken up by the output, never sounded: start plus the first word,
        // 400 + 5 * 10.
        ServerCase{"BegunNeverHeard", {.stallAfterMarks = 0}, {5000ms, 400ms, 300ms, 10ms}, 430, 450 + slackMs, true},
        // Two words, then nothing: 2 * 50 + 300 + 4 * 10.
        ServerCase{"BeginsNeverEnds", {.perMark = 50ms, .stallAfterMarks = 2}, {5000ms, 400ms, 300ms, 10ms}, 420,
                   440 + slackMs, true},
        // Every word in its own time, the whole too slow: from the first
        // word, 300 + 26 * 10 after it.
        ServerCase{"TooSlowAsAWhole", {.perMark = 200ms}, {5000ms, 400ms, 300ms, 10ms}, 740, 760 + slackMs, true},
        // Taken, never taken up by the output, and nothing answered after
        // it: the start and the wait for an answer, 300 + 200.
        ServerCase{"NothingAnsweredOnceTaken", {.silentOnceTaken = true, .othersAhead = 60000ms},
                   {5000ms, 300ms, 300ms, 10ms, 200ms}, 480, 500 + slackMs},
        ServerCase{"NeverTakesTheText", {.silentFrom = "SET SELF PRIORITY"}, {5000ms, 400ms, 300ms, 10ms}, 380,
                   400 + slackMs, false, 0}),
    [](const ::testing::TestParamInfo<ServerCase>& info) { return info.param.name; });

// Another program's text holds the server: a busy server still answers, and
// the game waits for its turn; past the longest wait it withdraws its text
// and goes on with the voice.
TEST_F(SpeechDispatcherTest, BusyServerIsWaitedForAndKept) {
  FakeSpeechServer server(SocketPath(), {.perMark = 50ms, .othersAhead = 1500ms});
  std::unique_ptr<Voice> voice = Open({5000ms, 300ms, 300ms, 10ms, 300ms, 5000ms});
  ASSERT_NE(voice, nullptr);
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(voice->Speak("J 10"));
  std::cout << "[ figure   ] behind 1.5 s of another's text: the game was held " << MillisecondsSince(start)
            << " ms\n";
  EXPECT_GE(MillisecondsSince(start), 1500);
  EXPECT_LT(MillisecondsSince(start), 1500 + slackMs);
  // Asked whether it still answers, at least every 300 ms of the wait.
  EXPECT_GE(server.CountCommands("HISTORY GET CLIENT_ID"), 1 + 3);
  EXPECT_EQ(server.CountCommands("CANCEL SELF"), 0);
}

TEST_F(SpeechDispatcherTest, TextIsWithdrawnWhenTheServerIsBusyPastTheLongestWait) {
  // The other program's text, timed from now, outlasts the first text's
  // 700 ms wait by far, and has under 700 ms left when the next text comes,
  // however long the voice took to open (up to half a second).
  FakeSpeechServer server(SocketPath(), {.perMark = 50ms, .othersAhead = 1200ms});
  std::unique_ptr<Voice> voice = Open({5000ms, 300ms, 300ms, 10ms, 300ms, 700ms});
  ASSERT_NE(voice, nullptr);
  Clock::time_point start = Clock::now();
  EXPECT_TRUE(voice->Speak("round 1"));
  std::cout << "[ figure   ] busy past the longest wait: the game was held " << MillisecondsSince(start) << " ms\n";
  EXPECT_GE(MillisecondsSince(start), 700);
  EXPECT_LT(MillisecondsSince(start), 700 + slackMs);
  // The next text is heard once the other program's is over.
  EXPECT_TRUE(voice->Speak("J 10"));
  EXPECT_EQ(server.CountCommands("CANCEL SELF"), 1);
  EXPECT_EQ(server.Texts(), (std::vector<std::string>{"round 1", "J 10"}));
}

}  // namespace
}  // namespace keelmark
