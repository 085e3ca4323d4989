// The player's turn on screen: the round line, the prompt, the echo, the
// target mark, and the order of voice, screen and clips.

#include <string>
#include <vector>

#include "tests/screen/screen_fixture.h"

namespace keelmark {
namespace {

using PlayerTurnScreen = ScreenTest;

TEST_F(PlayerTurnScreen, RoundLineAndPromptOverWhatTheLastTurnLeftInTheirOrder) {
  game.state.roundNumber = 10;
  console.SetColors(12, -1);  // the turn sets no colour of its own
  Paint(1, 60, "################");
  Paint(24, 1, "coordinates: b10,zz");
  terminal.TypeText("a1\r");
  game.PlayerTurn();

  // Round 10: the zone blanks 66 to 70, the sign place 71, digits from 72,
  // a blank at 74. Only four columns of the old echo are blanked.
  EXPECT_EQ(terminal.Picture(1, 1), "0" + std::string(58, ' ') + "Round       10 #\n");
  EXPECT_EQ(terminal.Picture(24, 24), "coordinates: a1♪ zz\n");
  EXPECT_EQ(terminal.ColourPicture(1, 60, 1, 75), std::string(16, 'C') + "\n");

  // The round is spoken before it is printed; "Coordinates?" is never printed.
  const int spokenRound = At(Spoke{"round  10"});
  const int printedRound = WriteAt(1, 60);
  const int spokenQuestion = At(Spoke{"Coordinates?"});
  const int erased = WriteAt(24, 14);
  const int prompt = log.IndexOfWriteContaining("coordinates: ");
  ASSERT_NE(spokenRound, notFound) << Dump();
  EXPECT_LT(spokenRound, printedRound) << Dump();
  EXPECT_LT(printedRound, spokenQuestion) << Dump();
  EXPECT_LT(spokenQuestion, erased) << Dump();
  EXPECT_LT(erased, prompt) << Dump();
  EXPECT_LT(prompt, FirstInput()) << Dump();
  EXPECT_EQ(log.IndexOfWriteContaining("oordinates?"), notFound);
}

TEST_F(PlayerTurnScreen, MissPlaysDropMarksRedZeroThenPlaysMiss) {
  game.state.roundNumber = 1;
  console.SetColors(7, 0);
  terminal.TypeText("c7\r");
  game.PlayerTurn();

  EXPECT_EQ(Target(3, 7), firedMark);
  EXPECT_EQ(terminal.Text(3, 7, 1), "0");
  EXPECT_EQ(terminal.ForegroundAt(3, 7), 4);
  EXPECT_EQ(log.Played(), (std::vector<std::string>{"drop", "miss"}));
  const int drop = At(Sounded{"drop"});
  const int mark = WriteAt(3, 7);
  EXPECT_LT(At(Spoke{"c7"}), drop) << Dump();
  EXPECT_LT(drop, mark) << Dump();
  EXPECT_LT(mark, At(Sounded{"miss"})) << Dump();
  EXPECT_EQ(game.state.computerShipHits, ShipHits{});
}

TEST_F(PlayerTurnScreen, SinkingHitPlaysDropHitSinkAndMarksBlueO) {
  game.state.roundNumber = 4;
  Target(2, 2) = firedMark;
  Target(2, 3) = 'D';
  game.state.computerShipHits[static_cast<int>(ShipType::Destroyer)] = 1;
  terminal.TypeText("b3\r");
  game.PlayerTurn();

  EXPECT_EQ(log.Played(), (std::vector<std::string>{"drop", "hit", "sink"}));
  EXPECT_EQ(game.state.computerShipsSunk, 1);
  EXPECT_EQ(game.state.computerShipHits[static_cast<int>(ShipType::Destroyer)], 2);
  EXPECT_EQ(Target(2, 3), firedMark);
  EXPECT_EQ(terminal.Text(2, 3, 1), "o");
  EXPECT_EQ(terminal.ForegroundAt(2, 3), 1);
  EXPECT_LT(WriteAt(2, 3), At(Sounded{"hit"})) << Dump();
}

// Entries that name no square the player may fire at: the whole turn starts
// over, round announcement and prompt included, and only the next square
// is fired at.
struct RestartCase {
  const char* name;
  const char* entry;
  int lastComputerShot;
  std::vector<std::string> clips;  // before the shot that follows
};

void PrintTo(const RestartCase& c, std::ostream* os) { *os << c.name; }

class PlayerTurnRestart : public PlayerTurnScreen,
                          public ::testing::WithParamInterface<RestartCase> {};

TEST_P(PlayerTurnRestart, TheWholeTurnStartsOverAndTheNextSquareIsFired) {
  const RestartCase& c = GetParam();
  game.state.roundNumber = 3;
  game.lastComputerShot = c.lastComputerShot;
  game.currentRow = 2;  // what the computer left: never fired at for the player
  game.currentColumn = 2;
  Target(2, 2) = 'D';
  Target(1, 1) = firedMark;
  terminal.TypeText(std::string(c.entry) + "\r" + "e5\r");
  game.PlayerTurn();

  EXPECT_EQ(log.Count(Spoke{"round  3"}), 2) << Dump();
  EXPECT_EQ(log.Count(Spoke{"Coordinates?"}), 2) << Dump();
  std::vector<std::string> clips = c.clips;
  clips.insert(clips.end(), {"drop", "miss"});
  EXPECT_EQ(log.Played(), clips);
  EXPECT_EQ(Target(2, 2), 'D') << "the square left over was not fired at";
  EXPECT_EQ(Target(5, 5), firedMark);
  EXPECT_EQ(game.state.roundNumber, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, PlayerTurnRestart,
    ::testing::Values(RestartCase{"auto", "auto", -1, {}},
                      RestartCase{"empty_before_the_computer_fired", "", 0, {}},
                      RestartCase{"long", "a1,a5", -1, {"buzzer"}},
                      RestartCase{"square_fired_at_before", "a1", -1, {"buzzer"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PlayerTurnScreen, EndlessEchoStopsAtTheLastCellAndNeverScrollsTheBoards) {
  DrawTargetBoard(console);
  DrawHomeBoard(console, CellsOf(game.state.playerGrid));
  game.state.roundNumber = 1;
  game.lastComputerShot = -1;
  // 200 Enters and 151 letters: far more than rows 24 and 25 can show.
  terminal.TypeText(std::string(200, '\r') + std::string(150, 'z') + "y");
  terminal.Click(3, 3);
  game.PlayerTurn();

  EXPECT_EQ(Target(3, 3), firedMark) << "the click on the cell drawn as C3 fired at C3";
  std::string echo;
  for (int i = 0; i < 64; ++i) echo += "♪";
  std::string lastRow;
  for (int i = 0; i < 79; ++i) lastRow += "♪";
  // The click's square is printed over the echo; the last cell shows the
  // last key that reached it. Both boards' first and last rows stay put.
  EXPECT_EQ(terminal.Picture(1, 3), Golden(R"(
xxxxxxxxxx    A                                            Round       1
xxxxxxxxxx    B
xx0xxxxxxx    C
)"));
  EXPECT_EQ(terminal.Picture(13, 13), "XXXXXXXXXX    A\n");
  EXPECT_EQ(terminal.Picture(22, 0),
            "XXXXXXXXXX    J\n1234567890\ncoordinates: C 3" + echo + "\n" + lastRow + "y\n");
}

}  // namespace
}  // namespace keelmark
