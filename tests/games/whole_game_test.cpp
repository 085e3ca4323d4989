// Whole games in-process, from the title to the end report, with a scripted
// player that answers whatever the game has just asked.

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/doubles/grid_checks.h"
#include "tests/doubles/test_rig.h"

namespace keelmark {
namespace {

using testing::EventLog;
using testing::TestRig;
using testing::VirtualTerminal;

std::string Name(Square s) { return std::string(1, static_cast<char>('a' + s.row - 1)) + std::to_string(s.column); }

// The game's rules about the state, checked at every "drop": by then every
// earlier shot has settled its counters, and this one has not yet landed.
class InvariantChecker {
 public:
  explicit InvariantChecker(const Game& game) : game_(game) {}

  void Check(int shotsSoFar) {
    const GameState& s = game_.state;
    if (!fleetsSeen_) {
      playerFleet_ = s.playerGrid;
      computerFleet_ = s.computerGrid;
      fleetsSeen_ = true;
      EXPECT_TRUE(testing::FleetIsWellFormed(playerFleet_));
      EXPECT_TRUE(testing::FleetIsWellFormed(computerFleet_));
    }
    const int fired = CheckSide(s.playerGrid, playerFleet_, s.playerShipHits, s.playerShipsSunk) +
                      CheckSide(s.computerGrid, computerFleet_, s.computerShipHits, s.computerShipsSunk);
    // Every shot uses up exactly one square.
    EXPECT_EQ(fired, shotsSoFar);
    ++checks;
  }

  int checks = 0;

 private:
  static int CheckSide(const Grid& grid, const Grid& fleet, const ShipHits& hits, int sunk) {
    int sunkShips = 0;
    for (const ShipInfo& ship : keelmark::fleet) {
      int hitSquares = 0;
      int standing = 0;
      for (int r = 1; r <= 10; ++r) {
        for (int c = 1; c <= 10; ++c) {
          const char cell = CellOf(grid, r, c);
          EXPECT_TRUE(cell == waterMark || cell == firedMark || ShipOfLetter(cell)) << int(cell);
          if (CellOf(fleet, r, c) != ship.letter) continue;
          if (cell == firedMark) ++hitSquares;
          else if (cell == ship.letter) ++standing;
          else ADD_FAILURE() << "a ship square changed into " << cell;
        }
      }
      EXPECT_EQ(hitSquares + standing, ship.length) << ship.name;
      EXPECT_EQ(hits[static_cast<int>(ship.type)], hitSquares) << ship.name;
      if (hitSquares == ship.length) ++sunkShips;
    }
    EXPECT_EQ(sunk, sunkShips);
    int firedSquares = 0;
    for (int r = 1; r <= 10; ++r) {
      for (int c = 1; c <= 10; ++c) {
        const char cell = CellOf(grid, r, c);
        if (CellOf(fleet, r, c) == waterMark) {
          EXPECT_TRUE(cell == waterMark || cell == firedMark);
        }
        firedSquares += CellOf(grid, r, c) == firedMark;
      }
    }
    return firedSquares;
  }

  const Game& game_;
  Grid playerFleet_{};
  Grid computerFleet_{};
  bool fleetsSeen_ = false;
};

// Answers the game's questions by what it last said: a scripted opening,
// then shots from a list, then a key for the report.
class ScriptedPlayer {
 public:
  ScriptedPlayer(TestRig& rig, std::vector<std::string> opening)
      : checker(rig.game), rig_(rig), opening_(std::move(opening)) {
    rig_.terminal.onInputNeeded = [this](VirtualTerminal& terminal) { Answer(terminal); };
    rig_.audio.onPlay = [this](const std::string& name) {
      if (name == "drop") checker.Check(drops++);
    };
  }

  // The squares to fire at, in order; called when the first shot is due, so
  // the list may depend on where the fleets ended up.
  std::function<std::vector<Square>(const Game&)> chooseShots;

  InvariantChecker checker;
  int drops = 0;
  int shotsTyped = 0;

 private:
  void Answer(VirtualTerminal& terminal) {
    const std::vector<std::string> spoken = rig_.log.Spoken();
    const std::string last = spoken.empty() ? "" : spoken.back();
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

// Every screen cell holds a blank in these colours.
bool ScreenIsBlank(const VirtualTerminal& terminal, int attribute) {
  for (int r = 1; r <= 25; ++r)
    for (int c = 1; c <= 80; ++c)
      if (terminal.CharAt(r, c) != ' ' || terminal.AttributeAt(r, c) != attribute) return false;
  return true;
}

TEST(WholeGame, PlayerWhoKnowsTheFleetWinsInSeventeenRounds) {
  TestRig rig(7);
  ScriptedPlayer player(rig, {"auto\r"});
  player.chooseShots = [](const Game& game) { return SquaresWhere(game.state.computerGrid, true); };
  rig.game.Run();

  const GameState& s = rig.game.state;
  EXPECT_EQ(s.computerShipsSunk, 5);
  EXPECT_LT(s.playerShipsSunk, 5);
  EXPECT_EQ(s.roundNumber, 17);
  EXPECT_GT(player.checker.checks, 17);

  // The winning shot ends the round: no computer shot follows it.
  const std::vector<std::string> spoken = rig.log.Spoken();
  const int lastChoice = [&] {
    int at = EventLog::notFound;
    for (std::size_t i = 0; i < rig.log.Size(); ++i)
      if (rig.log[i].rfind("speak: Computer chooses: ", 0) == 0) at = static_cast<int>(i);
    return at;
  }();
  const int lastRound = rig.log.IndexExact("speak: round  17");
  ASSERT_NE(lastRound, EventLog::notFound);
  EXPECT_LT(lastChoice, lastRound);
  EXPECT_EQ(rig.log.Count("play: sink") - s.playerShipsSunk, 5);

  // Game over, the winner, the report, the key, then the ending.
  EXPECT_EQ(spoken[spoken.size() - 6], "Game over.");
  EXPECT_EQ(spoken[spoken.size() - 5], "You win!!");
  EXPECT_EQ(spoken[spoken.size() - 4], "Computer sank " + NumberText(s.playerShipsSunk) + " of your ships.");
  EXPECT_EQ(spoken[spoken.size() - 3], "You sank  5 of the computer's ships.");
  EXPECT_EQ(spoken[spoken.size() - 2], "The game lasted  17 rounds.");
  EXPECT_EQ(spoken.back(), "Press any key to exit.");
  EXPECT_EQ(rig.log.Entries().back(), "flush");
  EXPECT_NE(rig.log.IndexExact("stop sounds", rig.log.IndexExact("key: char 107")), EventLog::notFound);

  // The game-end clearing leaves the report's colours, cyan on dark grey.
  EXPECT_TRUE(ScreenIsBlank(rig.terminal, 8 * 16 + 3));
}

TEST(WholeGame, ComputerWinsAgainstAPlayerWhoOnlyFindsWater) {
  TestRig rig(11);
  ScriptedPlayer player(rig, {"auto\r"});
  player.chooseShots = [](const Game& game) {
    std::vector<Square> shots = SquaresWhere(game.state.computerGrid, false);
    for (Square s : SquaresWhere(game.state.computerGrid, true)) shots.push_back(s);
    return shots;
  };
  // Stop just before the final clearing to see the play screen's last state.
  std::optional<std::string> row24, row25;
  int row25Colour = -1;
  rig.terminal.onInputNeeded = [&, inner = rig.terminal.onInputNeeded](VirtualTerminal& t) {
    if (rig.log.Spoken().back() == "Press any key to exit.") {
      row24 = t.Text(24, 1, 10);
      row25 = t.Text(25, 1, 15);
      row25Colour = t.ForegroundAt(25, 1);
    }
    inner(t);
  };
  rig.game.Run();

  const GameState& s = rig.game.state;
  ASSERT_EQ(s.playerShipsSunk, 5) << "seed no longer gives a computer win";
  EXPECT_LT(s.computerShipsSunk, 5);
  EXPECT_NE(rig.log.IndexExact("speak: Computer wins!"), EventLog::notFound);
  EXPECT_EQ(row24, "Game over.");
  EXPECT_EQ(row25, "Computer wins!!");
  EXPECT_EQ(row25Colour, 14);
  // Spoken before printed.
  EXPECT_LT(rig.log.IndexExact("speak: Computer wins!"), rig.log.IndexOfWriteContaining("Computer wins!!"));
  EXPECT_EQ(rig.log.Count("play: drop"), player.drops);
  EXPECT_EQ(player.drops, 2 * s.roundNumber);
}

TEST(WholeGame, RepeatedShotIsRefusedWithTheBuzzerAloneAndTheRoundIsAskedAgain) {
  TestRig rig(3);
  ScriptedPlayer player(rig, {"auto\r"});
  player.chooseShots = [](const Game& game) {
    std::vector<Square> shots = SquaresWhere(game.state.computerGrid, true);
    shots.insert(shots.begin() + 1, shots[0]);  // the first square twice
    return shots;
  };
  rig.game.Run();

  EXPECT_EQ(rig.game.state.computerShipsSunk, 5);
  EXPECT_EQ(rig.game.state.roundNumber, 17);
  // Round 2 is announced twice: once for the refused shot, once again.
  EXPECT_EQ(rig.log.Count("speak: round  2"), 2);
  const int first = rig.log.IndexExact("speak: round  2");
  const int again = rig.log.IndexExact("speak: round  2", first + 1);
  std::vector<std::string> between;
  for (int i = first; i < again; ++i)
    if (rig.log[i].rfind("play: ", 0) == 0) between.push_back(rig.log[i]);
  EXPECT_EQ(between, std::vector<std::string>{"play: buzzer"});
}

TEST(WholeGame, AutoDuringPlacementPlacesTheRestAtRandom) {
  TestRig rig(5);
  // Bare Enter at the introduction, the destroyer by two clicks, then "auto"
  // as the first entry of the submarine's attempt and a bad second entry.
  ScriptedPlayer player(rig, {});
  rig.terminal.TypeText("\r");
  rig.terminal.Click(2, 3);
  rig.terminal.Click(2, 4);
  rig.terminal.TypeText("auto\r");
  rig.terminal.TypeText("zz,zz\r");
  rig.terminal.TypeText("quit\r");
  // Fire once the fleet is down: "quit" at the first coordinates prompt.
  rig.game.Run();

  const Grid& grid = rig.game.state.playerGrid;
  EXPECT_TRUE(testing::FleetIsWellFormed(grid));
  EXPECT_EQ(CellOf(grid, 2, 3), 'D');
  EXPECT_EQ(CellOf(grid, 2, 4), 'D');
  EXPECT_EQ(rig.game.state.autoPlacement, 1);
  // The submarine's prompt came once, the refused attempt buzzed, and no
  // later ship was asked for.
  EXPECT_EQ(rig.log.Count("speak: Enter coordinates for submarine (3 squares) "), 1);
  EXPECT_EQ(rig.log.Count("speak: Enter coordinates for cruiser (3 squares) "), 0);
  EXPECT_NE(rig.log.IndexExact("play: buzzer", rig.log.IndexExact("speak: zz,zz")), EventLog::notFound);
}

TEST(WholeGame, ShipsPlacedByHandTypedAndClicked) {
  TestRig rig(9);
  // A typed placement text counts only as the second entry of an attempt,
  // so each is typed twice: the first is dropped.
  ScriptedPlayer player(rig, {"\r",
                              // destroyer: a typed start square, then a clicked end in column 10
                              "a9\r",
                              // submarine: a diagonal first (refused), then a straight one
                              "c1,d2\r", "c1,d2\r", "c1,c3\r", "c1,c3\r",
                              // cruiser, given end first
                              "e7,e5\r", "e7,e5\r",
                              // battle ship, lower and upper case
                              "g1\r", "G4\r",
                              // carrier in column 10
                              "j10\r", "f10\r",
                              "quit\r"});
  // The destroyer's end square is a click on column 10.
  rig.terminal.onInputNeeded = [&, inner = rig.terminal.onInputNeeded](VirtualTerminal& t) {
    if (rig.log.Spoken().back() == "a9") {
      t.Click(1, 10);
      return;
    }
    inner(t);
  };
  rig.game.Run();

  const Grid& grid = rig.game.state.playerGrid;
  ASSERT_TRUE(testing::FleetIsWellFormed(grid));
  EXPECT_EQ(CellOf(grid, 1, 9), 'D');
  EXPECT_EQ(CellOf(grid, 1, 10), 'D');
  EXPECT_EQ(CellOf(grid, 3, 1), 'S');
  EXPECT_EQ(CellOf(grid, 3, 3), 'S');
  EXPECT_EQ(CellOf(grid, 5, 5), 'R');
  EXPECT_EQ(CellOf(grid, 7, 4), 'B');
  EXPECT_EQ(CellOf(grid, 6, 10), 'C');
  EXPECT_EQ(CellOf(grid, 10, 10), 'C');
  EXPECT_EQ(rig.log.Count("speak: Enter coordinates for submarine (3 squares) "), 2);
  EXPECT_EQ(rig.log.Count("play: buzzer"), 1);
}

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

  EXPECT_EQ(rig.log.Spoken().back(), "quit");
  EXPECT_EQ(rig.log.Index("speak: Game over."), EventLog::notFound);
  EXPECT_EQ(rig.log.Index("speak: Press any key to exit."), EventLog::notFound);
  EXPECT_NE(rig.log.IndexExact("stop sounds", rig.log.IndexExact("speak: quit")), EventLog::notFound);
  EXPECT_EQ(rig.terminal.Text(GetParam().row, 1, static_cast<int>(std::string(GetParam().visible).size())),
            GetParam().visible);
}

INSTANTIATE_TEST_SUITE_P(
    Prompts, QuitAnywhere,
    ::testing::Values(QuitCase{"introduction", {}, 3, "Press any key to continue."},
                      QuitCase{"placement", {"\r"}, 15, "Enter coordinates for destroyer (2 squares)"},
                      QuitCase{"second placement entry", {"\r", "b2\r"}, 15, "Enter coordinates for destroyer"},
                      QuitCase{"coordinates", {"auto\r"}, 24, "coordinates: "}),
    [](const ::testing::TestParamInfo<QuitCase>& info) {
      std::string name = info.param.where;
      for (char& c : name)
        if (c == ' ') c = '_';
      return name;
    });

TEST(WholeGame, ClickedShotsPlayAGameToTheEnd) {
  TestRig rig(21);
  ScriptedPlayer player(rig, {"auto\r"});
  std::vector<Square> shots;
  std::size_t nextShot = 0;
  rig.terminal.onInputNeeded = [&, inner = rig.terminal.onInputNeeded](VirtualTerminal& t) {
    if (rig.log.Spoken().back() == "Coordinates?") {
      if (shots.empty()) shots = SquaresWhere(rig.game.state.computerGrid, true);
      const Square s = shots[nextShot++];
      t.Click(s.row, s.column);
      return;
    }
    inner(t);
  };
  rig.game.Run();
  EXPECT_EQ(rig.game.state.computerShipsSunk, 5);
  // Each click is spoken twice: once as it is echoed, once as the entry.
  EXPECT_EQ(rig.log.Count("speak: " + SquareText(shots[0].row, shots[0].column)), 2);
}

TEST(WholeGame, TooSmallWindowIsToldAndWaitedFor) {
  TestRig rig(4, 20, 60);
  ScriptedPlayer player(rig, {});
  rig.terminal.Resize(25, 80);
  rig.terminal.TypeText("quit\r");
  rig.game.Run();

  const int told = rig.log.Index("speak: The window is too small");
  ASSERT_NE(told, EventLog::notFound);
  EXPECT_LT(rig.log.IndexOfWriteContaining("The window is too small"), told);
  // Once large enough the title follows on a cleared 80-column screen.
  EXPECT_LT(told, rig.log.Index("speak:  Keelmark version 1.0-pre5"));
  EXPECT_EQ(rig.console.Width(), 80);
  EXPECT_EQ(rig.terminal.Text(1, 1, 26), " Keelmark version 1.0-pre5");
}

TEST(WholeGame, QuitWhileTheWindowIsTooSmall) {
  TestRig rig(4, 20, 60);
  ScriptedPlayer player(rig, {"quit\r"});
  rig.game.Run();
  EXPECT_EQ(rig.log.Index("Keelmark version"), EventLog::notFound);
  EXPECT_NE(rig.log.IndexExact("stop sounds"), EventLog::notFound);
}

}  // namespace
}  // namespace keelmark

namespace keelmark {
namespace {

// Random keys, clicks and window changes thrown at whole games, mixed with
// enough sensible entries that the games get somewhere. Under the sanitizer
// build this is where memory and arithmetic faults in input handling show.
class KeyStorm {
 public:
  KeyStorm(TestRig& rig, std::uint64_t seed, int budget)
      : rig_(rig), engine_(seed), budget_(budget), checker(rig.game) {
    rig_.terminal.onInputNeeded = [this](VirtualTerminal& t) { Throw(t); };
    rig_.audio.onPlay = [this](const std::string& name) {
      if (name == "drop") checker.Check(drops++);
    };
  }

  int drops = 0;

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }

  void Throw(VirtualTerminal& t) {
    const Console& console = rig_.console;
    EXPECT_GE(console.CursorRow(), 1);
    EXPECT_LE(console.CursorRow(), console.Height());
    EXPECT_GE(console.CursorColumn(), 1);
    EXPECT_LE(console.CursorColumn(), console.Width());
    if (budget_-- <= 0) return;  // the game's next wait ends the storm
    const int dice = Pick(0, 99);
    if (dice < 35) {
      std::string name(1, static_cast<char>((Pick(0, 1) ? 'a' : 'A') + Pick(0, 10)));
      name += std::to_string(Pick(0, 11));
      t.TypeText(name + "\r");
    } else if (dice < 45) {
      t.Click(Pick(0, 60), Pick(0, 100), 1 << Pick(0, 2));
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

  TestRig& rig_;
  std::mt19937_64 engine_;
  int budget_;

 public:
  InvariantChecker checker;
};

TEST(KeyStorm, WholeGamesSurviveRandomInput) {
  int finished = 0;
  for (std::uint64_t seed = 1; seed <= 30; ++seed) {
    TestRig rig(seed);
    KeyStorm storm(rig, seed * 7919, 4000);
    try {
      rig.game.Run();
      ++finished;
    } catch (const testing::InputExhausted&) {
      // The storm ran out before the game did: fine, it was checked all along.
    }
    const GameState& s = rig.game.state;
    EXPECT_LE(s.playerShipsSunk, 5);
    EXPECT_LE(s.computerShipsSunk, 5);
    EXPECT_LE(s.roundNumber, 100 + 1) << "seed " << seed;
  }
  // The mix is meant to reach the end of most games, not only to type.
  EXPECT_GT(finished, 0);
}

}  // namespace
}  // namespace keelmark
