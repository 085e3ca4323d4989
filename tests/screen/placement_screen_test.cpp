// Placing the player's fleet by hand: the prompts, the start markers, the
// two entries of one attempt, refusals, and "auto".

#include <string>
#include <vector>

#include "tests/doubles/grid_checks.h"
#include "tests/screen/screen_fixture.h"

namespace keelmark {
namespace {

using testing::FleetIsWellFormed;

const char* const prompts[] = {
    "Enter coordinates for destroyer (2 squares)",
    "Enter coordinates for submarine (3 squares) ",
    "Enter coordinates for cruiser (3 squares) ",
    "Enter coordinates for battle ship (4 squares) ",
    "Enter coordinates for carrier (5 squares) ",
};

class PlacementScreen : public ScreenTest {
 protected:
  PlacementScreen() {
    game.lastComputerShot = -1;
    console.SetColors(7, 1);
    // Where the destroyer's prompt leaves the cursor: the echo goes there.
    console.MoveCursor(15, 44);
    log.Clear();
  }

  void ExpectYellowMarker(int row, int column) const {
    EXPECT_EQ(terminal.Text(row, column, 1), "X") << row << "," << column;
    EXPECT_EQ(terminal.ForegroundAt(row, column), 14) << row << "," << column;
    EXPECT_EQ(terminal.BackgroundAt(row, column), 1) << row << "," << column;
  }
};

TEST_F(PlacementScreen, WholeFleetByTypedSquaresClicksAndPlacementTexts) {
  terminal.TypeText("a1\ra2\r");   // destroyer: two typed squares
  terminal.TypeText("c1\rc3\r");   // submarine
  terminal.TypeText("e1\r");       // cruiser: typed, then clicked
  terminal.Click(5, 3);
  terminal.TypeText("g1\rg1,g4\r");  // battle ship: square, then a whole text
  terminal.TypeText("j6\rj10\r");    // carrier: column 10 typed
  game.PlacePlayerFleet();

  EXPECT_TRUE(FleetIsWellFormed(game.state.playerGrid));
  EXPECT_EQ(Home(1, 1), 'D');
  EXPECT_EQ(Home(1, 2), 'D');
  EXPECT_EQ(Home(3, 3), 'S');
  EXPECT_EQ(Home(5, 1), 'R');
  EXPECT_EQ(Home(5, 3), 'R');
  EXPECT_EQ(Home(7, 4), 'B');
  EXPECT_EQ(Home(10, 6), 'C');
  EXPECT_EQ(Home(10, 10), 'C');
  EXPECT_TRUE(log.Played().empty()) << Dump();

  // The canvas with a start marker for each first square, typed or clicked
  // (none for a second entry); a typed second entry is echoed where its
  // marker left the cursor, a click's text on row 24.
  EXPECT_EQ(terminal.Picture(), Golden(R"(
Xa2♪xxxxxx    A
xxxxxxxxxx    B
Xc3♪xxxxxx    C
xxxxxxxxxx    D
Xxxxxxxxxx    E
xxxxxxxxxx    F
Xg1,g4♪xxx    G
xxxxxxxxxx    H
xxxxxxxxxx    I
xxxxxXj10♪    J
1234567890



Enter coordinates for destroyer (2 squares)a1♪

Enter coordinates for submarine (3 squares) c1♪

Enter coordinates for cruiser (3 squares) e1♪

Enter coordinates for battle ship (4 squares) g1♪

Enter coordinates for carrier (5 squares) j6♪
             E 3

)"));
  // Yellow from the first marker on, over the background of the cleared
  // screen.
  EXPECT_EQ(terminal.ColourPicture(1, 1, 10, 10), Golden(R"(
EEEE777777
7777777777
EEEE777777
7777777777
E777777777
7777777777
EEEEEEE777
7777777777
7777777777
77777EEEEE
)"));
  EXPECT_EQ(terminal.ColourPicture(1, 1, 1, 4, true), "1111\n");
}

TEST_F(PlacementScreen, EachPromptIsSpokenThenPrintedAtItsRow) {
  terminal.TypeText("a1\ra2\rc1\rc3\re1\re3\rg1\rg4\rj6\rj10\r");
  game.PlacePlayerFleet();

  // Their exact texts, rows and columns show on the whole fleet's screen.
  for (int i = 0; i < 5; ++i) {
    const std::string prompt = prompts[i];
    const int spoken = At(Spoke{prompt});
    ASSERT_NE(spoken, notFound) << prompt << "\n" << Dump();
    const int printed = log.IndexOfWriteContaining(prompt.substr(0, prompt.find(')') + 1));
    ASSERT_NE(printed, notFound) << prompt << "\n" << Dump();
    EXPECT_LT(spoken, printed) << prompt << "\n" << Dump();
    // Spoken and printed before the first key of the attempt is read.
    EXPECT_LT(printed, FirstInput(spoken)) << prompt;
  }
  // The destroyer's prompt comes before any marker, the rest after it.
  EXPECT_EQ(terminal.ForegroundAt(15, 1), 7);
  for (int row : {17, 19, 21, 23}) EXPECT_EQ(terminal.ForegroundAt(row, 1), 14) << row;
}

TEST_F(PlacementScreen, RefusedPlacementsBuzzAndAskTheSameShipAgain) {
  terminal.TypeText("a1\rb2\r");              // destroyer on a diagonal
  terminal.TypeText("a1,a3\r" "a1,a3\r");     // the wrong length, as a whole text
  terminal.TypeText("a1\ra2\r");
  terminal.TypeText("a2\rc2\r");              // a submarine sharing A2
  terminal.TypeText("b1\rb3\r");              // side by side is allowed
  terminal.TypeText("c1\rc3\rg1\rg4\rj6\rj10\r");
  game.PlacePlayerFleet();

  EXPECT_EQ(log.Played(), (std::vector<std::string>{"buzzer", "buzzer", "buzzer"}));
  EXPECT_EQ(log.Count(Spoke{prompts[0]}), 3);
  EXPECT_EQ(log.Count(Spoke{prompts[1]}), 2);
  const int firstBuzz = At(Sounded{"buzzer"});
  EXPECT_LT(At(Spoke{prompts[0]}), firstBuzz);
  EXPECT_NE(At(Spoke{prompts[0]}, firstBuzz), notFound) << "asked again after the buzzer";
  EXPECT_TRUE(FleetIsWellFormed(game.state.playerGrid));
  EXPECT_EQ(Home(1, 1), 'D');
  EXPECT_EQ(Home(1, 2), 'D');
  EXPECT_EQ(Home(2, 1), 'S');
}

TEST_F(PlacementScreen, ColumnTenClickedOrTypedAndLeadingZerosMakeStartSquares) {
  terminal.Click(2, 10);
  terminal.Click(3, 10);
  terminal.TypeText("j10\rj6\r" "b07\rb9\r");
  const struct {
    Square start, end, marker;
  } attempts[] = {
      {{2, 10}, {3, 10}, {2, 10}}, {{10, 6}, {10, 10}, {10, 10}}, {{2, 7}, {2, 9}, {2, 7}}};
  for (const auto& a : attempts) {
    const std::string text = game.ReadPlacementEntry();
    const Placement p = ParsePlacement(text);
    EXPECT_EQ(p.start, a.start) << text;
    EXPECT_EQ(p.end, a.end) << text;
    ExpectYellowMarker(a.marker.row, a.marker.column);
  }
  EXPECT_NE(terminal.Text(3, 10, 1), "X") << "no marker for a second entry";
}

TEST_F(PlacementScreen, OnlyASecondEntryIsTakenAsAPlacementText) {
  terminal.TypeText("a1,a2\rb1,b2\r");
  EXPECT_EQ(game.ReadPlacementEntry(), "b1,b2");
  EXPECT_EQ(log.Spoken(), (std::vector<std::string>{"a1,a2", "b1,b2"}));
  EXPECT_EQ(terminal.Picture(1, 10), std::string(10, '\n')) << "no marker for a long entry";

  // A second whole text drops the start but not its marker.
  terminal.TypeText("c3\ra1,a2\r");
  EXPECT_EQ(game.ReadPlacementEntry(), "a1,a2");
  ExpectYellowMarker(3, 3);

  // A single square after a long entry gives one square only.
  terminal.TypeText("a1,a5\rc3\r");
  const std::string text = game.ReadPlacementEntry();
  EXPECT_EQ(text.find(','), std::string::npos) << text;
  EXPECT_FALSE(IsValidPlacement(game.state.playerGrid, ParsePlacement(text), 2)) << text;
}

// "auto" over a seeded rig, so the ships left are placed at random.
class PlacementAuto : public ::testing::Test {
 protected:
  PlacementAuto() {
    rig.PrepareLikeStartUp();
    FillWithWater(game.state.playerGrid);
    game.lastComputerShot = -1;
  }

  testing::TestRig rig{11};
  Game& game = rig.game;
};

TEST_F(PlacementAuto, AutoMidPlacementPlacesThatAttemptThenTheRestAtRandom) {
  rig.terminal.TypeText("auto\ra1,a2\r");
  game.PlacePlayerFleet();

  EXPECT_TRUE(FleetIsWellFormed(game.state.playerGrid));
  EXPECT_EQ(CellOf(game.state.playerGrid, 1, 1), 'D');
  EXPECT_EQ(CellOf(game.state.playerGrid, 1, 2), 'D');
  EXPECT_EQ(rig.log.Spoken(), (std::vector<std::string>{prompts[0], "auto", "a1,a2"}))
      << "no prompt after auto";
  EXPECT_TRUE(rig.log.Played().empty());
}

TEST_F(PlacementAuto, AutoInARefusedAttemptPlacesTheRestWithoutAskingAgain) {
  rig.terminal.TypeText("a1\ra2\rauto\rzz,zz\r");
  game.PlacePlayerFleet();

  EXPECT_TRUE(FleetIsWellFormed(game.state.playerGrid));
  EXPECT_EQ(CellOf(game.state.playerGrid, 1, 2), 'D');
  EXPECT_EQ(rig.log.Spoken(),
            (std::vector<std::string>{prompts[0], "a1", "a2", prompts[1], "auto", "zz,zz"}));
  EXPECT_EQ(rig.log.Played(), std::vector<std::string>{"buzzer"});
}

TEST_F(PlacementAuto, AutoBeforePlacementShowsNothingAndPlacesEverything) {
  game.state.autoPlacement = 1;
  rig.console.MoveCursor(3, 3);
  rig.console.PrintText("left over from the introduction");
  rig.log.Clear();
  game.PlacePlayerFleet();

  EXPECT_TRUE(FleetIsWellFormed(game.state.playerGrid));
  EXPECT_EQ(rig.terminal.Picture(), std::string(25, '\n'));
  EXPECT_TRUE(rig.log.Spoken().empty());
  EXPECT_TRUE(rig.log.Played().empty());
  EXPECT_EQ(rig.log.IndexOfKind<testing::Took>(), testing::EventLog::notFound);
}

}  // namespace
}  // namespace keelmark
