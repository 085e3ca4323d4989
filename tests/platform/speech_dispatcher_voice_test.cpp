// The speech-dispatcher voice against servers of our own on a private unix
// socket: one that is not there, one that hangs up, one that never answers,
// and one that speaks enough of the protocol to queue texts and report each
// word as heard, or break down while it does. The game must never be held
// longer than the voice's limits by any of them, and must hear each text to
// its last word from one that works.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <ostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/speech_dispatcher_voice.h"
#include "presentation/speech.h"
#include "tests/doubles/fake_speech_server.h"

namespace keelmark {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// libspeechd writes some commands in lower case; the server takes either.
std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// How much later than its limit a call may return on a loaded machine.
constexpr long long slackMs = 1500;

SpeechDispatcherLimits Limits(int connect, int start, int pause, int perCharacter) {
  SpeechDispatcherLimits limits;
  limits.connect = milliseconds(connect);
  limits.start = milliseconds(start);
  limits.pause = milliseconds(pause);
  limits.perCharacter = milliseconds(perCharacter);
  return limits;
}

// Limits for servers that are expected to answer: wide, since they only
// come into play when the voice is wrong.
SpeechDispatcherLimits Patient() { return Limits(5000, 5000, 5000, 0); }

// Every test runs in a private directory, with the way of starting a server
// pointed at a stand-in script: no test may start the machine's real
// speech-dispatcher. The stand-in notes how it was called and in which
// session it runs and, when the test has a server waiting at ServerPath(),
// "starts" it by putting a link to it where the client looks, as a started
// server would put its socket there.
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
          // The sixth field of a process's stat is its session.
          << "cut -d' ' -f6 /proc/$$/stat > '" << (dir_ / "session").string() << "'\n"
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
  std::string SpawnArguments() const { return ReadAll(spawnNote_); }
  // The session the started server ran in.
  pid_t SpawnSession() const { return static_cast<pid_t>(std::atoll(ReadAll(dir_ / "session").c_str())); }

 private:
  static std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

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
  const std::string address = "unix_socket:" + SocketPath().string();
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(OpenSpeechDispatcherVoice(address.c_str(), Patient()), nullptr);
  // Well within the five-second connect limit: the failure itself was seen.
  EXPECT_LT(MillisecondsSince(start), 2000);
  // A server named by the game is not started on its behalf.
  EXPECT_FALSE(SpawnWasAsked()) << SpawnArguments();
}

TEST_F(SpeechDispatcherConnect, DefaultAddressStartsTheConfiguredServerInASessionOfItsOwn) {
  // SPEECHD_ADDRESS is where the player's clients look; the server there is
  // started on demand, as speech-dispatcher's own clients do.
  FakeSpeechServer server(ServerPath(), FakeSpeechOptions{});
  setenv("SPEECHD_ADDRESS", ("unix_socket:" + SocketPath().string()).c_str(), 1);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(nullptr, Patient());
  ASSERT_TRUE(SpawnWasAsked());
  const std::string arguments = SpawnArguments();
  EXPECT_NE(arguments.find("--spawn"), std::string::npos) << arguments;
  EXPECT_NE(arguments.find("--socket-path " + SocketPath().string()), std::string::npos) << arguments;
  // Not hung up with the game's session when a game leading it ends.
  EXPECT_GT(SpawnSession(), 0);
  EXPECT_NE(SpawnSession(), getsid(0));
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
  FakeSpeechOptions options;
  options.mode = FakeSpeechMode::Refuse;
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
  FakeSpeechOptions options;
  options.hangUpOnClientId = true;
  FakeSpeechServer server(SocketPath(), options);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(OpenSpeechDispatcherVoice(server.Address().c_str(), Patient()), nullptr);
  EXPECT_LT(MillisecondsSince(start), 2000);
  EXPECT_EQ(server.CountCommands("HISTORY GET CLIENT_ID"), 1);
}

TEST_F(SpeechDispatcherConnect, ServerThatNeverAnswersGivesNoVoiceAfterTheConnectLimit) {
  FakeSpeechOptions options;
  options.mode = FakeSpeechMode::Silent;
  FakeSpeechServer server(SocketPath(), options);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(OpenSpeechDispatcherVoice(server.Address().c_str(), Limits(300, 300, 300, 10)), nullptr);
  const long long elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 250);
  EXPECT_LT(elapsed, 300 + slackMs);
  // The greeting did reach it: the wait was for its answer.
  EXPECT_EQ(server.CountCommands("SET SELF CLIENT_NAME "), 1);
}

TEST_F(SpeechDispatcherConnect, GreetsAsKeelmarkAndAsksForWhatItWaitsOnOnly) {
  FakeSpeechServer server(SocketPath(), FakeSpeechOptions{});
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  ASSERT_TRUE(voice->Speak("round 1"));
  const std::vector<std::string> commands = server.Commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_TRUE(StartsWith(commands.front(), "SET SELF CLIENT_NAME \"")) << commands.front();
  EXPECT_NE(commands.front().find(":keelmark:main\""), std::string::npos) << commands.front();
  for (const std::string expected : {"SET SELF NOTIFICATION end on", "SET SELF NOTIFICATION cancel on",
                                     "SET SELF NOTIFICATION index_marks on", "SET SELF SSML_MODE on"}) {
    EXPECT_NE(std::find(commands.begin(), commands.end(), expected), commands.end()) << expected;
  }
  // The player's own settings rule: no voice, rate, pitch, volume, language,
  // punctuation or synthesizer of the game's choosing.
  for (const std::string& command : commands) {
    const std::string upper = Upper(command);
    const bool allowed = StartsWith(upper, "SET SELF CLIENT_NAME ") || StartsWith(upper, "SET SELF NOTIFICATION ") ||
                         upper == "SET SELF SSML_MODE ON" || upper == "HISTORY GET CLIENT_ID" ||
                         upper == "SET SELF PRIORITY MESSAGE" || upper == "SPEAK";
    EXPECT_TRUE(allowed) << "unexpected command: " << command;
  }
}

// --- The form a text is sent in ---

struct MarkingCase {
  std::string text;
  std::string ssml;
  std::vector<std::size_t> charactersBeforeMark;
  // What the server is given to say, when it is not the text itself.
  std::optional<std::string> sent;
};

MarkingCase Marking(std::string text, std::string ssml, std::vector<std::size_t> charactersBeforeMark,
                    std::optional<std::string> sent = std::nullopt) {
  return MarkingCase{std::move(text), std::move(ssml), std::move(charactersBeforeMark), std::move(sent)};
}

void PrintTo(const MarkingCase& marking, std::ostream* out) { *out << '"' << marking.text << '"'; }

class MarkWordsTest : public ::testing::TestWithParam<MarkingCase> {};

TEST_P(MarkWordsTest, MarksFollowEachWordWithItsPunctuationAndTheLastClosesTheText) {
  const MarkedText marked = MarkWords(GetParam().text);
  EXPECT_EQ(marked.ssml, GetParam().ssml);
  EXPECT_EQ(marked.charactersBeforeMark, GetParam().charactersBeforeMark);
  // Nothing of the text is lost or changed on the way.
  EXPECT_EQ(HeardText(marked.ssml), GetParam().sent.value_or(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MarkWordsTest,
    ::testing::Values(
        Marking("Press any key to continue.",
                "<speak>Press<mark name=\"w1\"/> any<mark name=\"w2\"/> key<mark name=\"w3\"/> to<mark "
                "name=\"w4\"/> continue.<mark name=\"w5\"/></speak>",
                {5, 4, 4, 3, 10}),
        Marking("round 1", "<speak>round<mark name=\"w1\"/> 1<mark name=\"w2\"/></speak>", {5, 2}),
        Marking("You win!! ", "<speak>You<mark name=\"w1\"/> win!! <mark name=\"w2\"/></speak>", {3, 7}),
        // A single closing "!" or "?" is doubled, before any closing blanks.
        Marking("Computer wins! ",
                "<speak>Computer<mark name=\"w1\"/> wins!! <mark name=\"w2\"/></speak>",
                {8, 7},
                "Computer wins!! "),
        Marking("Coordinates?", "<speak>Coordinates?\?<mark name=\"w1\"/></speak>", {12}, "Coordinates??"),
        Marking("Why?!", "<speak>Why?!<mark name=\"w1\"/></speak>", {5}),
        Marking(" Computer chooses: B 7",
                "<speak> Computer<mark name=\"w1\"/> chooses:<mark name=\"w2\"/> B<mark name=\"w3\"/> 7<mark "
                "name=\"w4\"/></speak>",
                {9, 9, 2, 2}),
        // Markup in the text is read as text.
        Marking("<a> & \"b\"'s",
                "<speak>&lt;a&gt;<mark name=\"w1\"/> &amp;<mark name=\"w2\"/> &quot;b&quot;&apos;s<mark "
                "name=\"w3\"/></speak>",
                {3, 2, 6}),
        // Characters, not bytes: a umlaut and an em dash.
        Marking("Tr\xc3\xa4"
                "ffer \xe2\x80\x94 J10?",
                "<speak>Tr\xc3\xa4"
                "ffer<mark name=\"w1\"/> \xe2\x80\x94<mark name=\"w2\"/> J10?\?<mark name=\"w3\"/></speak>",
                {7, 2, 5},
                "Tr\xc3\xa4"
                "ffer \xe2\x80\x94 J10??"),
        Marking("?", "<speak>?\?<mark name=\"w1\"/></speak>", {1}, "??"),
        // Blanks alone: still one mark to wait for.
        Marking("  ", "<speak>  <mark name=\"w1\"/></speak>", {2}),
        // A leading dot, which the protocol escapes, and inner full stops.
        Marking(".5 miles. Go",
                "<speak>.5<mark name=\"w1\"/> miles.<mark name=\"w2\"/> Go<mark name=\"w3\"/></speak>",
                {2, 7, 3})));

// --- Speaking ---

TEST_F(SpeechDispatcherSpeak, EachTextReturnsAtItsLastWordWithoutTheClosingPause) {
  FakeSpeechOptions options;
  options.perMark = milliseconds(100);
  options.closingPause = milliseconds(2000);
  FakeSpeechServer server(SocketPath(), options);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  // Five words, then two; the second text is not kept waiting behind the
  // first one's closing pause either.
  for (const auto& [text, words] : {std::pair{"Press any key to continue.", 5}, {"Coordinates, please?", 2}}) {
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(voice->Speak(text)) << text;
    const long long elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, words * 100 - 20) << text;
    EXPECT_LT(elapsed, words * 100 + 1000) << text;
  }
  EXPECT_EQ(server.Texts(), (std::vector<std::string>{"Press any key to continue.", "Coordinates, please??"}));
  // The first text's pause was dropped before the second was queued.
  std::vector<std::string> commands = server.Commands();
  std::transform(commands.begin(), commands.end(), commands.begin(), Upper);
  const auto cancel = std::find(commands.begin(), commands.end(), "CANCEL SELF");
  ASSERT_NE(cancel, commands.end());
  EXPECT_EQ(std::count(cancel, commands.end(), "SPEAK"), 1);
  // Queued, never cutting into the previous text.
  EXPECT_EQ(server.CountCommands("SET SELF PRIORITY MESSAGE"), 2);
}

TEST_F(SpeechDispatcherSpeak, ModuleWithoutIndexMarksIsHeardToTheEndOfEachText) {
  FakeSpeechOptions options;
  options.reportMarks = false;
  options.perMark = milliseconds(50);
  options.closingPause = milliseconds(300);
  FakeSpeechServer server(SocketPath(), options);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  for (const char* text : {"round 1", "Coordinates?"}) {
    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(voice->Speak(text)) << text;
    EXPECT_GE(MillisecondsSince(start), 330) << text;
  }
  // Nothing was cut: each text ran to its end.
  EXPECT_EQ(server.CountCommands("CANCEL SELF"), 0);
}

TEST_F(SpeechDispatcherSpeak, TextsWithMarkupAndNonAsciiAreHeardWhole) {
  FakeSpeechServer server(SocketPath(), FakeSpeechOptions{});
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  const std::vector<std::string> texts{"Tr\xc3\xa4" "ffer \xe2\x80\x94 J10", ".5 miles", "a < b & c", "J"};
  for (const std::string& text : texts) EXPECT_TRUE(voice->Speak(text)) << text;
  EXPECT_EQ(server.Texts(), texts);
}

TEST_F(SpeechDispatcherSpeak, EndReportedBeforeTheTextIsQueuedStillCounts) {
  FakeSpeechOptions options;
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
  FakeSpeechOptions options;
  options.decoyEvents = true;
  options.perMark = milliseconds(150);
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
  FakeSpeechOptions options;
  options.reportMarks = false;
  options.cancelInsteadOfEnd = true;
  options.closingPause = milliseconds(100);
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
  FakeSpeechOptions options;
  options.stallAfterMarks = 0;  // were it sent, it would never be heard
  FakeSpeechServer server(SocketPath(), options);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Patient());
  ASSERT_NE(voice, nullptr);
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(voice->Speak(""));
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_EQ(server.CountCommands("SPEAK"), 0);
}

TEST_F(SpeechDispatcherSpeak, SlowSpeechIsWaitedForAsLongAsEachWordComesInTime) {
  // Words 600 ms apart against a pause allowance of 500 ms plus 100 ms a
  // character: slow, but each word within its own time.
  FakeSpeechOptions options;
  options.perMark = milliseconds(600);
  FakeSpeechServer server(SocketPath(), options);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), Limits(5000, 2000, 500, 100));
  ASSERT_NE(voice, nullptr);
  EXPECT_TRUE(voice->Speak("Generating ship locations"));
}

TEST_F(SpeechDispatcherSpeak, LettingGoOfAWorkingVoiceCancelsItsSpeechAndHangsUp) {
  FakeSpeechServer server(SocketPath(), FakeSpeechOptions{});
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

// --- Servers that break down mid-text ---

struct FaultCase {
  std::string name;
  FakeSpeechOptions options;
  SpeechDispatcherLimits limits;
  // The time the game may be held, from below and above: the limit that
  // applies, and that limit with room for a loaded machine.
  long long atLeastMs;
  long long boundMs;
  // The server still takes commands afterwards, and is asked to drop the
  // text that the next voice will say again.
  bool stillAnswers;
  // Texts the server took in.
  std::size_t textsTaken = 1;
};

void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.name; }

FakeSpeechOptions Speaking(int perMark, std::optional<int> stallAfter, std::optional<int> hangUpAfter) {
  FakeSpeechOptions options;
  options.perMark = milliseconds(perMark);
  options.stallAfterMarks = stallAfter;
  options.hangUpAfterMarks = hangUpAfter;
  return options;
}

FakeSpeechOptions NotAnsweringSay() {
  FakeSpeechOptions options;
  options.answerSay = false;
  return options;
}

FakeSpeechOptions HangingUpOnSpeak() {
  FakeSpeechOptions options;
  options.hangUpOnSpeak = true;
  return options;
}

class SpeechDispatcherFault : public SpeechDispatcherTest, public ::testing::WithParamInterface<FaultCase> {};

// "Press any key to continue.": five words, 26 characters, "Press" first.
TEST_P(SpeechDispatcherFault, GameIsHeldNoLongerThanTheLimitThatApplies) {
  const FaultCase& fault = GetParam();
  FakeSpeechServer server(SocketPath(), fault.options);
  std::unique_ptr<Voice> voice = OpenSpeechDispatcherVoice(server.Address().c_str(), fault.limits);
  ASSERT_NE(voice, nullptr);
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(voice->Speak("Press any key to continue."));
  const long long held = MillisecondsSince(start);
  std::cout << "[ figure   ] " << fault.name << ": the game was held " << held << " ms\n";
  EXPECT_GE(held, fault.atLeastMs);
  EXPECT_LT(held, fault.boundMs);
  // Broken for good: not asked again.
  const Clock::time_point again = Clock::now();
  EXPECT_FALSE(voice->Speak("Coordinates?"));
  EXPECT_LT(MillisecondsSince(again), 200);
  EXPECT_EQ(server.RawTexts().size(), fault.textsTaken);
  // Nor does letting go of it hold the game.
  const Clock::time_point closing = Clock::now();
  voice.reset();
  EXPECT_LT(MillisecondsSince(closing), 1000);
  if (fault.stillAnswers) {
    EXPECT_TRUE(server.WaitUntil([&] { return server.CountCommands("CANCEL SELF") == 1; }, milliseconds(2000)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SpeechDispatcherFault,
    ::testing::Values(
        // Hang-ups are noticed as they happen, long before any limit.
        FaultCase{"ClosedAfterTwoWords", Speaking(100, std::nullopt, 2), Limits(5000, 3000, 3000, 100), 150, 1200,
                  false},
        FaultCase{"ClosedOnceQueued", Speaking(100, std::nullopt, 0), Limits(5000, 3000, 3000, 100), 0, 1200, false},
        FaultCase{"ClosedOnSpeak", HangingUpOnSpeak(), Limits(5000, 3000, 3000, 100), 0, 1200, false, 0},
        // Accepted, never sounded: start plus the first word, 400 + 5 * 10.
        FaultCase{"NeverBegins", Speaking(0, 0, std::nullopt), Limits(5000, 400, 300, 10), 430, 450 + slackMs, true},
        // Two words, then nothing: 2 * 50 + 300 + 4 * 10.
        FaultCase{"BeginsNeverEnds", Speaking(50, 2, std::nullopt), Limits(5000, 400, 300, 10), 420, 440 + slackMs,
                  true},
        // Every word in its own time, the whole too slow: 400 + 26 * 10.
        FaultCase{"TooSlowAsAWhole", Speaking(200, std::nullopt, std::nullopt), Limits(5000, 400, 1000, 10), 640,
                  660 + slackMs, true},
        FaultCase{"NeverTakesTheText", NotAnsweringSay(), Limits(5000, 400, 300, 10), 380, 400 + slackMs, false, 0}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

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
  // As speech-dispatcher without a sound output: the text is taken, never
  // sounded, and nothing is answered after it.
  FakeSpeechOptions options;
  options.stallAfterMarks = 0;
  options.answerAfterText = false;
  FakeSpeechServer server(SocketPath(), options);
  const std::string address = server.Address();
  const SpeechDispatcherLimits limits = Limits(5000, 300, 300, 10);
  std::vector<std::string> heard;
  Speech speech({[&] { return OpenSpeechDispatcherVoice(address.c_str(), limits); },
                 [&]() -> std::unique_ptr<Voice> { return std::make_unique<RecordingVoice>(heard); }},
                nullptr);
  speech.CreateVoice();
  EXPECT_TRUE(heard.empty());  // the server greeted: its voice speaks first

  Clock::time_point start = Clock::now();
  speech.speechText = "round 1";
  speech.SpeakText();
  EXPECT_LT(MillisecondsSince(start), 350 + slackMs);
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
