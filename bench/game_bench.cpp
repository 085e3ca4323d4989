// Figures of the game itself, each printed beside its target:
//
//   keelmark_game_bench core [GAMES] [STRENGTH_GAMES]
//     whole games per second in-process over silent devices, and the
//     computer's strength: how many shots its targeting needs to sink a fleet
//     placed the way the game places fleets at random.
//   keelmark_game_bench title GAME LABEL [RUNS]
//     only when the title appears, to set one build beside another.
//   keelmark_game_bench outside GAME LABEL [SERVER_PID] [RUNS]
//     the real binary in a terminal of its own, with whatever voice and
//     sound the environment gives it: when the title appears, how often it
//     wakes and how much processor time it takes in ten seconds at a prompt
//     (and the sound server's, given its process), and its peak memory over
//     a few rounds.
//   keelmark_game_bench threads GAME LABEL SHIM [ROUNDS]
//     every thread the real binary starts in placement, ROUNDS rounds and
//     "quit", counted by the preloaded SHIM (bench/thread_count.cpp), with
//     the libraries that started them and the names they gave themselves.
//
// bench/run_bench.sh runs both under each voice and prints the table.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <numeric>
#include <string>
#include <vector>

#include "bench/game_process.h"
#include "core/game.h"
#include "core/random_source.h"
#include "presentation/console.h"
#include "presentation/sound_effects.h"
#include "presentation/speech.h"
#include "presentation/terminal.h"

namespace {

using bench::Clock;
using bench::Format;
using bench::PrintFigure;

// The game's own generator on a seed of the benchmark's choosing.
class SeededRandom : public keelmark::ClockSeededRandom {
 public:
  explicit SeededRandom(std::uint64_t seed) { SeedWith(seed); }
  void SeedFromClock() override {}
};

// A screen that shows nothing and a player who types "auto", then fires at
// every square from A1 to J10 in turn, then presses keys until the end.
class PlayingTerminal : public keelmark::Terminal {
 public:
  PlayingTerminal() {
    script_ = "auto\r";
    for (char row = 'a'; row <= 'j'; ++row)
      for (int column = 1; column <= 10; ++column) script_ += row + std::to_string(column) + "\r";
  }
  keelmark::TerminalSize Size() const override { return {25, 80}; }
  void WriteCells(int, int, std::string_view, int) override {}
  void Clear(int) override {}
  void ScrollUp(int) override {}
  void PlaceCursor(int, int) override {}
  void SetCursorVisible(bool) override {}
  void EnableMouse() override {}
  void Flush() override {}
  keelmark::InputEvent NextEvent() override {
    return keelmark::InputEvent::Char(next_ < script_.size() ? script_[next_++] : 'x');
  }

 private:
  std::string script_;
  std::size_t next_ = 0;
};

// The game over silent devices, built as the program builds it.
struct SilentGame {
  explicit SilentGame(std::uint64_t seed)
      : console(terminal),
        speech(std::vector<keelmark::Speech::VoiceFactory>{[] { return std::make_unique<keelmark::SilentVoice>(); }},
               nullptr),
        sounds(audio, nullptr),
        random(seed),
        game(console, speech, sounds, random) {}

  PlayingTerminal terminal;
  keelmark::Console console;
  keelmark::Speech speech;
  keelmark::SilentAudioOut audio;
  keelmark::SoundEffects sounds;
  SeededRandom random;
  keelmark::Game game;
};

void MeasureWholeGames(int games) {
  const Clock::time_point start = Clock::now();
  long rounds = 0;
  for (int i = 0; i < games; ++i) {
    SilentGame silent(static_cast<std::uint64_t>(i) + 1);
    silent.game.Run();
    rounds += silent.game.state.roundNumber;
  }
  const double seconds = bench::Milliseconds(Clock::now() - start) / 1000;
  PrintFigure("whole in-process games per second, silent devices (" + std::to_string(games) + " games, " +
                  Format("%.1f", double(rounds) / games) + " rounds each on average)",
              Format("%.0f", games / seconds), "none (the core's cost)");
}

// The computer's targeting as the game runs it, turn after turn, against a
// fleet placed by the game's random placement, until all five ships sink.
void MeasureStrength(int games) {
  SilentGame silent(20260101);
  keelmark::Game& game = silent.game;
  game.state.roundNumber = 0;
  silent.sounds.SetSoundNames();
  std::vector<int> shots;
  shots.reserve(static_cast<std::size_t>(games));
  int unfinished = 0;
  for (int i = 0; i < games; ++i) {
    game.state = keelmark::GameState{};
    keelmark::FillWithWater(game.state.playerGrid);
    keelmark::FillWithWater(game.state.computerGrid);
    for (const keelmark::ShipInfo& ship : keelmark::fleet) game.PlaceShipAtRandom(game.state.playerGrid, ship);
    game.lastComputerShot = 0;
    game.ResetHunt();
    int fired = 0;
    while (game.state.playerShipsSunk < 5 && fired < 100) {
      game.ComputerTurn();
      ++fired;
    }
    if (game.state.playerShipsSunk < 5) ++unfinished;
    shots.push_back(fired);
  }
  std::sort(shots.begin(), shots.end());
  const double mean = std::accumulate(shots.begin(), shots.end(), 0.0) / games;
  const auto at = [&](double fraction) {
    return shots[std::min(shots.size() - 1, static_cast<std::size_t>(fraction * shots.size()))];
  };
  const std::string games_ = std::to_string(games) + " games";
  const std::string published = "published: random firing ~96, hunt and target ~64-65, probability map ~42";
  PrintFigure("computer's shots to sink the fleet, median (" + games_ + ")", std::to_string(at(0.5)), published);
  PrintFigure("computer's shots to sink the fleet, mean", Format("%.1f", mean), published);
  PrintFigure("computer's shots to sink the fleet, 90th percentile", std::to_string(at(0.9)), published);
  PrintFigure("computer's shots to sink the fleet, worst", std::to_string(shots.back()), "100 squares");
  if (unfinished > 0) std::printf("%d games did not sink the fleet in 100 shots\n", unfinished);
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int MeasureTitle(const std::string& game, const std::string& label, int runs) {
  std::vector<double> titleMs;
  for (int i = 0; i < runs; ++i) {
    bench::GameProcess process;
    if (!process.Start(game)) return 1;
    const auto title = process.WaitForText("Keelmark", 10);
    if (title) titleMs.push_back(bench::Milliseconds(*title - process.started));
    process.Type("quit\r");
    process.Finish(30);
  }
  // The first run may have had to start a speech server; the worst is shown
  // beside the median for that.
  PrintFigure("start-up: title on the screen after exec, " + label + " (median, worst of " + std::to_string(runs) +
                  " runs)",
              titleMs.empty() ? "never"
                              : Format("%.0f ms", Median(titleMs)) + ", " +
                                    Format("%.0f ms", *std::max_element(titleMs.begin(), titleMs.end())),
              "<= 30 ms");
  return titleMs.empty() ? 1 : 0;
}

int MeasureOutside(const std::string& game, const std::string& label, pid_t server, int runs) {
  MeasureTitle(game, label, runs);
  bench::GameProcess process;
  if (!process.Start(game)) return 1;
  if (!process.WaitForText("continue", 30)) {
    std::printf("the prompt never appeared\n");
    return 1;
  }
  // The sound of the prompt has ended when it is printed; the output lets
  // its device go a second later.
  process.Drain(2.0);
  const bench::ProcessCounters gameBefore = bench::ReadCounters(process.Pid());
  const bench::ProcessCounters serverBefore = server > 0 ? bench::ReadCounters(server) : bench::ProcessCounters{};
  process.Drain(10.0);
  const bench::ProcessCounters gameAfter = bench::ReadCounters(process.Pid());
  const bench::ProcessCounters serverAfter = server > 0 ? bench::ReadCounters(server) : bench::ProcessCounters{};
  PrintFigure("at a prompt: wake-ups of all the game's threads in 10 s, " + label,
              std::to_string(gameAfter.wakeUps - gameBefore.wakeUps), "<= 100");
  PrintFigure("at a prompt: the game's processor time in 10 s, " + label,
              Format("%.1f ms", gameAfter.processorMs - gameBefore.processorMs), "<= 10 ms");
  if (server > 0)
    PrintFigure("at a prompt: the sound server's processor time in 10 s, " + label,
                Format("%.1f ms", serverAfter.processorMs - serverBefore.processorMs), "no more than silent");

  // A few rounds with their voice and clips, then "quit": nothing is made
  // per round, so the peak is reached early.
  process.Type("auto\ra1\rb2\rc3\rquit\r");
  std::optional<rusage> usage;
  const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(180);
  while (!(usage = process.TryFinish()) && Clock::now() < giveUp) process.Drain(0.2);
  PrintFigure("peak resident memory, " + label + " (placement, 3 rounds, quit)",
              usage ? Format("%.1f MB", usage->ru_maxrss / 1024.0) : "game did not end", "< 30 MB");
  return 0;
}

int MeasureThreads(const std::string& game, const std::string& label, const std::string& shim, int rounds) {
  char logPath[] = "/tmp/keelmark-threads-XXXXXX";
  const int logFile = mkstemp(logPath);
  if (logFile < 0) return 1;
  close(logFile);
  std::string keys = "auto\r";
  for (int i = 0; i < rounds; ++i) keys += std::string(1, char('a' + i % 10)) + std::to_string(1 + i / 10 % 10) + "\r";
  keys += "quit\r";
  bench::GameProcess process;
  if (!process.Start(game, {"LD_PRELOAD=" + shim, std::string("KEELMARK_THREAD_LOG=") + logPath})) return 1;
  process.WaitForText("Keelmark", 30);
  process.Type(keys);
  std::optional<rusage> usage;
  const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(600);
  while (!(usage = process.TryFinish()) && Clock::now() < giveUp) process.Drain(0.2);
  // By who started them: the libraries on the creating call's stack.
  std::map<int, std::string> starterOf, names;
  std::ifstream log(logPath);
  std::string line;
  while (std::getline(log, line)) {
    std::istringstream words(line);
    std::string kind, rest;
    int number = 0;
    words >> kind >> number;
    std::getline(words, rest);
    if (kind == "created") {
      starterOf[number] = rest.substr(rest.find(" by") + 3);
    } else if (kind == "named" && rest.size() > 1) {
      names[number] = rest.substr(1);
    }
  }
  unlink(logPath);
  std::map<std::string, std::map<std::string, int>> namesByStarter;
  for (const auto& [number, starter] : starterOf)
    ++namesByStarter[starter][names.count(number) ? names[number] : "(unnamed)"];
  for (const auto& [starter, timesByName] : namesByStarter) {
    std::string named;
    int count = 0;
    for (const auto& [name, times] : timesByName) {
      named += (named.empty() ? "" : ", ") + name + (times > 1 ? " x" + std::to_string(times) : "");
      count += times;
    }
    std::printf("%-20s %4d started by%s; named %s\n", label.c_str(), count, starter.c_str(), named.c_str());
  }
  PrintFigure("threads started by the game, " + label + " (placement, " + std::to_string(rounds) + " rounds, quit)",
              usage ? std::to_string(starterOf.size()) : "game did not end", "none set");
  return usage ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "core") {
    MeasureWholeGames(argc > 2 ? std::atoi(argv[2]) : 2000);
    MeasureStrength(argc > 3 ? std::atoi(argv[3]) : 100000);
    return 0;
  }
  if (command == "title" && argc > 3) return MeasureTitle(argv[2], argv[3], argc > 4 ? std::atoi(argv[4]) : 5);
  if (command == "outside" && argc > 3) {
    return MeasureOutside(argv[2], argv[3], argc > 4 ? static_cast<pid_t>(std::atoi(argv[4])) : 0,
                          argc > 5 ? std::atoi(argv[5]) : 5);
  }
  if (command == "threads" && argc > 4)
    return MeasureThreads(argv[2], argv[3], argv[4], argc > 5 ? std::atoi(argv[5]) : 10);
  std::fprintf(stderr,
               "usage: %s core [GAMES] [STRENGTH_GAMES]\n"
               "       %s threads GAME LABEL SHIM [ROUNDS]\n"
               "       %s outside GAME LABEL [SERVER_PID] [RUNS]\n"
               "       %s title GAME LABEL [RUNS]\n",
               argv[0], argv[0], argv[0], argv[0]);
  return 2;
}
