// Whole games in-process, from the title to the end report, with a scripted
// player that answers whatever the game has just asked.

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/doubles/game_invariants.h"
#include "tests/doubles/test_rig.h"

namespace keelmark {
namespace {

using testing::EventLog;
using testing::Flushed;
using testing::Golden;
using testing::InvariantChecker;
using testing::SoundsStopped;
using testing::Sounded;
using testing::Spoke;
using testing::TestRig;
using testing::VirtualTerminal;

std::string Name(Square s) { return std::string(1, static_cast<char>('a' + s.row - 1)) + std::to_string(s.column); }

// Answers the game's questions by what it last said: a scripted opening,
// then shots from a list, then a key for the report.
class ScriptedPlayer {
 public:
  ScriptedPlayer(TestRig& rig, std::vector<std::string> opening)
      : checker(rig), rig_(rig), opening_(std::move(opening)) {
    rig_.terminal.onInputNeeded = [this](VirtualTerminal& terminal) { Answer(terminal); };
  }

  // The squares to fire at, in order; called when the first shot is due, so
  // the list may depend on where the fleets ended up.
  std::function<std::vector<Square>(const Game&)> chooseShots;

  InvariantChecker checker;
  int shotsTyped = 0;

 private:
  void Answer(VirtualTerminal& terminal) {
    const std::string last = rig_.log.LastSpoken();
    if (next_ < opening_.size()) {
      terminal.TypeText(opening_[next_++]);
    } else if (last == "Coordinates?" || last.rfind("round ", 0) == 0) {
      if (!shots_) shots_ = chooseShots(rig_.game);
      if (shotsTyped < static_cast<int>(shots_->size())) {
        terminal.TypeText(Name((*shots_)[shotsTyped++]) + "\r");
      }
    } else if (last == "Press any key to exit.") {
      terminal.TypeText("k");
    }
  }

  TestRig& rig_;
  std::vector<std::string> opening_;
  std::size_t next_ = 0;
  std::optional<std::vector<Square>> shots_;
};

std::vector<Square> SquaresWhere(const Grid& grid, bool ships) {
  std::vector<Square> squares;
  for (int r = 1; r <= 10; ++r)
    for (int c = 1; c <= 10; ++c)
      if ((CellOf(grid, r, c) != waterMark) == ships) squares.push_back({r, c});
  return squares;
}

// Both winners, played to the end: who fires at what decides who wins.
struct WinnerCase {
  const char* name;
  std::uint64_t seed;
  bool playerFindsShips;  // or only water, until the computer has won
  const char* spoken;
  const char* printed;
};

void PrintTo(const WinnerCase& c, std::ostream* os) { *os << c.name; }

class Winner : public ::testing::TestWithParam<WinnerCase> {};

TEST_P(Winner, GameOverTheWinnerAndTheReportThenTheScreenIsCleared) {
  const WinnerCase& c = GetParam();
  TestRig rig(c.seed);
  ScriptedPlayer player(rig, {"auto\r"});
  player.chooseShots = [&c](const Game& game) {
    std::vector<Square> shots = SquaresWhere(game.state.computerGrid, c.playerFindsShips);
    for (Square s : SquaresWhere(game.state.computerGrid, !c.playerFindsShips)) shots.push_back(s);
    return shots;
  };
  // The play screen's last rows and colours, as they stand while the report
  // waits for its key.
  std::string lastRows;
  std::string lastRowColours;
  rig.terminal.onInputNeeded = [&, inner = rig.terminal.onInputNeeded](VirtualTerminal& t) {
    if (rig.log.LastSpoken() == "Press any key to exit.") {
      lastRows = t.Picture(24, 25);
      lastRowColours = t.ColourPicture(24, 1, 25, 16);
    }
    inner(t);
  };
  rig.game.Run();

  const GameState& s = rig.game.state;
  const bool playerWon = c.playerFindsShips;
  ASSERT_EQ(playerWon ? s.computerShipsSunk : s.playerShipsSunk, 5) << "the seed no longer fits";
  EXPECT_LT(playerWon ? s.playerShipsSunk : s.computerShipsSunk, 5);
  // One shot each per round, but no computer shot after the player's last.
  EXPECT_EQ(player.checker.drops, 2 * s.roundNumber - (playerWon ? 1 : 0));
  EXPECT_EQ(rig.log.Count(Sounded{"sink"}), s.computerShipsSunk + s.playerShipsSunk);
  if (playerWon) {
    EXPECT_EQ(s.roundNumber, 17) << "every shot at a ship square";
  }

  const std::vector<std::string> spoken = rig.log.Spoken();
  ASSERT_GE(spoken.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(spoken.end() - 6, spoken.end()),
            (std::vector<std::string>{
                "Game over.", c.spoken,
                "Computer sank " + NumberText(s.playerShipsSunk) + " of your ships.",
                "You sank " + NumberText(s.computerShipsSunk) + " of the computer's ships.",
                "The game lasted " + NumberText(s.roundNumber) + " rounds.",
                "Press any key to exit."}));
  // The winner is spoken before it is printed, with one "!" more on screen,
  // in yellow over whatever the last turn left on rows 24 and 25.
  EXPECT_LT(rig.log.IndexOf(Spoke{c.spoken}), rig.log.IndexOfWriteContaining(c.printed));
  // "Game over." leaves the end of the prompt visible; the winner's line
  // stops short of the computer's choice.
  const std::string printed = c.printed;
  EXPECT_EQ(lastRows.substr(0, 13), "Game over.s: ") << lastRows;
  const std::string row25 = lastRows.substr(lastRows.find('\n') + 1);
  EXPECT_EQ(row25.substr(0, 37), printed + std::string(19 - printed.size(), ' ') + "computer chooses: ")
      << lastRows;
  EXPECT_EQ(lastRowColours.substr(0, 10), std::string(10, 'E'));
  EXPECT_EQ(lastRowColours.substr(17, printed.size()), std::string(printed.size(), 'E'));

  // The key, then the sound stopped, the screen cleared in the report's
  // colours, and a last flush.
  EXPECT_NE(rig.log.IndexOf(SoundsStopped{}, rig.log.IndexOfKind<testing::Took>(
                                                 rig.log.IndexOf(Spoke{"Press any key to exit."}))),
            EventLog::notFound);
  EXPECT_EQ(rig.terminal.Picture(), std::string(25, '\n'));
  for (int row = 1; row <= 25; ++row) {
    EXPECT_EQ(rig.terminal.ColourPicture(row, 1, row, 80), std::string(80, '3') + '\n') << row;
    EXPECT_EQ(rig.terminal.ColourPicture(row, 1, row, 80, true), std::string(80, '8') + '\n') << row;
  }
  EXPECT_TRUE(std::holds_alternative<Flushed>(rig.log.Events().back()));
}

INSTANTIATE_TEST_SUITE_P(
    BothSides, Winner,
    ::testing::Values(WinnerCase{"player", 7, true, "You win!!", "You win!!!"},
                      WinnerCase{"computer", 11, false, "Computer wins!", "Computer wins!!"}),
    [](const auto& info) { return std::string(info.param.name); });

struct QuitCase {
  const char* where;
  std::vector<std::string> opening;
  // A text that stays on the screen because "quit" does not clear it.
  int row;
  const char* visible;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const QuitCase& c, std::ostream* os) { *os << c.where; }

class QuitAnywhere : public ::testing::TestWithParam<QuitCase> {};

TEST_P(QuitAnywhere, EndsAtOnceWithoutReportOrClearing) {
  TestRig rig(2);
  ScriptedPlayer player(rig, GetParam().opening);
  player.chooseShots = [](const Game&) { return std::vector<Square>{}; };
  rig.terminal.onInputNeeded = [&, inner = rig.terminal.onInputNeeded](VirtualTerminal& t) {
    inner(t);
    if (t.PendingInput() == 0) t.TypeText("quit\r");
  };
  rig.game.Run();

  EXPECT_EQ(rig.log.LastSpoken(), "quit") << "no report after it";
  EXPECT_NE(rig.log.IndexOf(SoundsStopped{}, rig.log.IndexOf(Spoke{"quit"})), EventLog::notFound);
  EXPECT_EQ(rig.terminal.Text(GetParam().row, 1, static_cast<int>(std::string(GetParam().visible).size())),
            GetParam().visible);
}

INSTANTIATE_TEST_SUITE_P(
    Prompts, QuitAnywhere,
    ::testing::Values(QuitCase{"introduction", {}, 3, "Press any key to continue."},
                      QuitCase{"placement", {"\r"}, 15, "Enter coordinates for destroyer (2 squares)"},
                      QuitCase{"second_placement_entry", {"\r", "b2\r"}, 15, "Enter coordinates for destroyer"},
                      QuitCase{"coordinates", {"auto\r"}, 24, "coordinates: "}),
    [](const auto& info) { return std::string(info.param.where); });

TEST(WholeGame, TooSmallWindowIsToldAndWaitedFor) {
  TestRig rig(4, 20, 60);
  ScriptedPlayer player(rig, {});
  rig.terminal.Resize(25, 80);
  rig.terminal.TypeText("quit\r");
  rig.game.Run();

  const std::string tooSmall =
      "The window is too small for Keelmark: it needs 80 columns and 25 rows. "
      "Make it larger, or type quit.";
  const int told = rig.log.IndexOf(Spoke{tooSmall});
  ASSERT_NE(told, EventLog::notFound) << rig.log.Dump();
  EXPECT_LT(rig.log.IndexOfWriteContaining("The window is too small"), told);
  // Once large enough the title follows on a cleared 80-column screen.
  EXPECT_LT(told, rig.log.IndexOf(Spoke{std::string(titleLine) + std::string(creditLine)}));
  EXPECT_EQ(rig.console.Width(), 80);
  EXPECT_EQ(rig.terminal.Picture(1, 4), Golden(R"(
 Keelmark version 1.0-pre5
 Written by the Keelmark crew, to be played by ear.
Press any key to continue.
quit♪
)"));
}

TEST(WholeGame, WhileTheWindowIsTooSmallOnlyQuitEndsItAndEntriesAreReadBackShort) {
  TestRig rig(4, 20, 60);
  ScriptedPlayer player(rig, {std::string(3000, 'w') + "\r", "quit\r"});
  rig.game.Run();
  EXPECT_EQ(rig.log.Spoken().size(), 3u);
  EXPECT_EQ(rig.log.Spoken()[1], std::string(24, 'w') + ", and so on.");
  EXPECT_EQ(rig.log.IndexOfWriteContaining("Keelmark version"), EventLog::notFound);
  EXPECT_NE(rig.log.IndexOf(SoundsStopped{}), EventLog::notFound);
}

// Random keys, clicks and window changes thrown at whole games, mixed with
// enough sensible entries that the games get somewhere; then a player who
// plays each game out. Every game must end, with the rules about the grids
// and the fleets holding at every shot. Under the sanitizer build this is
// where memory and arithmetic faults in input handling show.
class KeyStorm {
 public:
  KeyStorm(TestRig& rig, std::uint64_t seed, int randomInputs)
      : checker(rig), rig_(rig), engine_(seed), randomInputs_(randomInputs) {
    rig_.terminal.onInputNeeded = [this](VirtualTerminal& t) {
      CheckCursor();
      if (randomInputs_-- > 0) {
        Throw(t);
      } else if (finishingTurns_++ < maxFinishingTurns) {
        PlayOut(t);
      }  // else: the game would not end; the empty queue ends the test
    };
  }

  InvariantChecker checker;

 private:
  // More than one turn per square of the computer's grid, and placement.
  static constexpr int maxFinishingTurns = 150;

  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }

  void CheckCursor() {
    const Console& console = rig_.console;
    const bool onScreen = console.CursorRow() >= 1 && console.CursorRow() <= console.Height() &&
                          console.CursorColumn() >= 1 && console.CursorColumn() <= console.Width();
    if (!onScreen) ADD_FAILURE() << "cursor at " << console.CursorRow() << "," << console.CursorColumn();
  }

  void Throw(VirtualTerminal& t) {
    const int dice = Pick(0, 99);
    if (dice < 35) {
      std::string name(1, static_cast<char>((Pick(0, 1) ? 'a' : 'A') + Pick(0, 10)));
      name += std::to_string(Pick(0, 11));
      t.TypeText(name + "\r");
    } else if (dice < 45) {
      t.Click(Pick(0, 60), Pick(0, 140), 1 << Pick(0, 2));
    } else if (dice < 48) {
      t.TypeText("auto\r");
    } else if (dice < 50) {
      t.Resize(Pick(1, 60), Pick(1, 140));
    } else if (dice < 55) {
      t.PressScanKey(Pick(0, 255));
    } else if (dice < 60) {
      t.TypeText("a1,a" + std::to_string(Pick(1, 6)) + "\r");
    } else {
      t.TypeText(std::string(1, static_cast<char>(Pick(0, 255))));
    }
  }

  // Ends whatever was half typed, lets "auto" place any ships still to be
  // placed, then fires at the first square of the computer's grid not fired
  // at. At the report the first key ends the game.
  void PlayOut(VirtualTerminal& t) {
    Square target{1, 1};
    for (int r = 10; r >= 1; --r)
      for (int c = 10; c >= 1; --c)
        if (CellOf(rig_.game.state.computerGrid, r, c) != firedMark) target = {r, c};
    t.TypeText("\rauto\r" + Name(target) + "\r");
  }

  TestRig& rig_;
  std::mt19937_64 engine_;
  int randomInputs_;
  int finishingTurns_ = 0;
};

// Enough games for the rare paths (a click while a ship's start is marked,
// a resize during the report) to come up many times over; in shards of
// seeds so that a parallel test run can spread the slow sanitizer build.
constexpr int stormGames = 2000;
constexpr int stormShards = 4;

class KeyStormShard : public ::testing::TestWithParam<int> {};

TEST_P(KeyStormShard, EveryGameEndsAndTheRulesHoldAtEveryShot) {
  const std::uint64_t first = 1 + GetParam() * stormGames / stormShards;
  for (std::uint64_t seed = first; seed < first + stormGames / stormShards; ++seed) {
    TestRig rig(seed);
    KeyStorm storm(rig, seed * 7919, 200);
    ASSERT_NO_THROW(rig.game.Run()) << "seed " << seed << ": the game did not end";
    const GameState& s = rig.game.state;
    const bool playerWon = s.computerShipsSunk == 5;
    ASSERT_TRUE(playerWon || s.playerShipsSunk == 5) << "seed " << seed << ": no winner";
    ASSERT_LE(s.roundNumber, 100) << "seed " << seed;
    ASSERT_EQ(storm.checker.drops, 2 * s.roundNumber - (playerWon ? 1 : 0)) << "seed " << seed;
    ASSERT_EQ(rig.log.LastSpoken(), "Press any key to exit.") << "seed " << seed;
    if (::testing::Test::HasFailure()) FAIL() << "seed " << seed;
  }
}

INSTANTIATE_TEST_SUITE_P(Seeds, KeyStormShard, ::testing::Range(0, stormShards));

}  // namespace
}  // namespace keelmark
