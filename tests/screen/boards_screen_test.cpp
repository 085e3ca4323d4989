// The two boards and the shot marks, as whole screens.

#include "tests/screen/screen_fixture.h"

namespace keelmark {
namespace {

using BoardsScreen = ScreenTest;

TEST_F(BoardsScreen, BothBoardsWithShipsAndEveryKindOfMark) {
  WriteShip(game.state.playerGrid, {1, 1}, {1, 2}, 'D');
  WriteShip(game.state.playerGrid, {10, 6}, {10, 10}, 'C');
  Home(5, 5) = firedMark;
  console.SetColors(11, 1);  // the target board takes whatever is current
  DrawTargetBoard(console);
  console.SetColors(14, -1);
  DrawHomeBoard(console, CellsOf(game.state.playerGrid));
  EXPECT_EQ(console.Foreground(), 7) << "the home board leaves light grey current";
  MarkTargetShot(console, 1, 1, false);
  MarkTargetShot(console, 10, 10, true);
  MarkHomeShot(console, 1, 1, true);
  MarkHomeShot(console, 10, 1, false);
  EXPECT_EQ(console.Foreground(), 12) << "the last mark's colour stays current";

  EXPECT_EQ(terminal.Picture(1, 23), Golden(R"(
0xxxxxxxxx    A
xxxxxxxxxx    B
xxxxxxxxxx    C
xxxxxxxxxx    D
xxxxxxxxxx    E
xxxxxxxxxx    F
xxxxxxxxxx    G
xxxxxxxxxx    H
xxxxxxxxxx    I
xxxxxxxxxo    J
1234567890

ODXXXXXXXX    A
XXXXXXXXXX    B
XXXXXXXXXX    C
XXXXXXXXXX    D
XXXX0XXXXX    E
XXXXXXXXXX    F
XXXXXXXXXX    G
XXXXXXXXXX    H
XXXXXXXXXX    I
0XXXXCCCCC    J
1234567890
)"));
  // Marks and the home board keep the background that was current.
  EXPECT_EQ(terminal.ColourPicture(1, 1, 1, 15, true), "111111111100001\n");
  EXPECT_EQ(terminal.ColourPicture(22, 1, 22, 15, true), "111111111100001\n");
  // A fired cell on the home board is printed like a ship, in green.
  EXPECT_EQ(terminal.ColourPicture(1, 1, 23, 15), Golden(R"(
4BBBBBBBBB7777B
BBBBBBBBBB7777B
BBBBBBBBBB7777B
BBBBBBBBBB7777B
BBBBBBBBBB7777B
BBBBBBBBBB7777B
BBBBBBBBBB7777B
BBBBBBBBBB7777B
BBBBBBBBBB7777B
BBBBBBBBB17777B
BBBBBBBBBB77777
777777777777777
927777777777777
777777777777777
777777777777777
777777777777777
777727777777777
777777777777777
777777777777777
777777777777777
777777777777777
C77772222277777
777777777777777
)"));
}

}  // namespace
}  // namespace keelmark
