// The two boards and the shot marks, cell by cell.

#include <string>

#include "tests/screen/screen_fixture.h"

namespace keelmark {
namespace {

using BoardsScreen = ScreenTest;

TEST_F(BoardsScreen, TargetBoardDrawsCrossesLettersAndLabelsInTheCurrentColour) {
  console.SetColors(11, 1);
  DrawTargetBoard(console);
  for (int row = 1; row <= 10; ++row) {
    EXPECT_EQ(terminal.Text(row, 1, 15),
              std::string(10, 'x') + "    " + static_cast<char>('A' + row - 1))
        << "row " << row;
    for (int column : {1, 10, 15}) {
      EXPECT_EQ(terminal.AttributeAt(row, column), 0x1B) << row << "," << column;
    }
  }
  EXPECT_EQ(terminal.Text(11, 1, 11), "1234567890 ");
  EXPECT_EQ(terminal.AttributeAt(11, 10), 0x1B);
  EXPECT_EQ(terminal.Text(12, 1, 15), std::string(15, ' '));
  EXPECT_EQ(console.Foreground(), 11);
}

TEST_F(BoardsScreen, HomeBoardShowsShipsGreenWaterGreyAndEndsInGrey) {
  WriteShip(game.state.playerGrid, {1, 1}, {1, 2}, 'D');
  WriteShip(game.state.playerGrid, {10, 6}, {10, 10}, 'C');
  CellOf(game.state.playerGrid, 5, 5) = firedMark;
  console.SetColors(14, -1);
  DrawHomeBoard(console, game.state.playerGrid);

  EXPECT_EQ(terminal.Text(13, 1, 15), "DDXXXXXXXX    A");
  EXPECT_EQ(terminal.Text(22, 1, 15), "XXXXXCCCCC    J");
  EXPECT_EQ(terminal.Text(17, 5, 1), "0");
  EXPECT_EQ(terminal.Text(23, 1, 10), "1234567890");
  EXPECT_EQ(terminal.ForegroundAt(13, 1), 2);
  EXPECT_EQ(terminal.ForegroundAt(22, 10), 2);
  EXPECT_EQ(terminal.ForegroundAt(17, 5), 2) << "a fired cell is printed like a ship";
  EXPECT_EQ(terminal.ForegroundAt(13, 3), 7);
  EXPECT_EQ(terminal.ForegroundAt(13, 15), 7);
  EXPECT_EQ(terminal.ForegroundAt(23, 1), 7);
  EXPECT_EQ(terminal.BackgroundAt(13, 1), 0);
  EXPECT_EQ(console.Foreground(), 7);
  for (int row = 1; row <= 12; ++row) {
    EXPECT_EQ(terminal.RowText(row), std::string(80, ' ')) << "row " << row;
  }
}

TEST_F(BoardsScreen, TargetMarksAreRedZeroAndBlueOAtTheSquaresOwnCell) {
  console.SetColors(7, 8);
  DrawTargetBoard(console);
  MarkTargetShot(console, 1, 1, false);
  MarkTargetShot(console, 10, 10, true);
  EXPECT_EQ(terminal.Text(1, 1, 2), "0x");
  EXPECT_EQ(terminal.AttributeAt(1, 1), 0x84);
  EXPECT_EQ(terminal.Text(10, 9, 2), "xo");
  EXPECT_EQ(terminal.AttributeAt(10, 10), 0x81);
  EXPECT_EQ(console.Foreground(), 1);
}

TEST_F(BoardsScreen, HomeMarksAreTwelvePlusTheRow) {
  console.SetColors(7, 1);
  MarkHomeShot(console, 1, 1, false);
  MarkHomeShot(console, 10, 10, true);
  MarkHomeShot(console, 3, 4, true);
  EXPECT_EQ(terminal.Text(13, 1, 1), "0");
  EXPECT_EQ(terminal.AttributeAt(13, 1), 0x1C);
  EXPECT_EQ(terminal.Text(22, 10, 1), "O");
  EXPECT_EQ(terminal.AttributeAt(22, 10), 0x19);
  EXPECT_EQ(terminal.Text(15, 4, 1), "O");
  EXPECT_EQ(terminal.Text(3, 4, 1), " ") << "nothing on the target board";
  EXPECT_EQ(console.Foreground(), 9);
}

}  // namespace
}  // namespace keelmark
