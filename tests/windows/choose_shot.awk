# The whole-game test's next shot, from what the player knows of the
# computer's board: one line of 100 characters, row by row from A1, each
# '.' not yet fired at, 'o' a miss, 'h' a hit on a ship not yet heard to sink,
# 's' a hit on a sunk ship; then, where the last shot was heard to sink a
# ship, its square (1 to 100), else 0. Prints the row and column (from 1) of
# the square not yet fired at that the most placements of the computer's
# ships cross, and the board with the hits now taken as sunk.
#
# Every ship is counted, sunk or not: a sink is heard, not which ship it was.
# A placement may not cross a miss, and one across a sunk hit counts for
# almost nothing: a hit taken as sunk may belong to a ship beside it, whose
# last squares would otherwise be fired at only when nothing else is left.
# While open hits remain only placements through them count, each weighted
# by a power of how many it covers, so a line of hits is followed before a
# lone hit is boxed in; if no placement explains them, they are taken as
# sunk.
#
#   awk -f choose_shot.awk <<<"$board $sankSquare"     (mawk or gawk)

function CountPlacements(openHits,    n, length_, across, row, column, k, cell, covered, blocked, crossed, weight, total) {
  for (k = 1; k <= 100; k++) count[k] = 0
  total = 0
  for (n = 1; n <= shipCount; n++) {
    length_ = shipLengths[n]
    for (across = 0; across <= 1; across++) {
      for (row = 0; row < 10; row++) {
        for (column = 0; column < 10; column++) {
          if (across ? column + length_ > 10 : row + length_ > 10) continue
          covered = 0
          blocked = 0
          crossed = 0
          for (k = 0; k < length_; k++) {
            cell = across ? row * 10 + column + k + 1 : (row + k) * 10 + column + 1
            square[k] = cell
            if (mark[cell] == "o") { blocked = 1; break }
            if (mark[cell] == "s") crossed++
            if (mark[cell] == "h") covered++
          }
          if (blocked || (openHits && !covered)) continue
          weight = (openHits ? hitWeight ^ covered : 1) * sunkWeight ^ crossed
          for (k = 0; k < length_; k++) {
            if (mark[square[k]] == ".") {
              count[square[k]] += weight
              total += weight
            }
          }
        }
      }
    }
  }
  return total
}

# The hits in line with SANK (the square whose shot was heard to sink a
# ship) as sunk: the run of hits through it across or down, whichever is
# longer than the square alone; where both are, or neither, every open hit,
# since which ship sank cannot be told.
function MarkSunk(sank,    row, column, k, west, east, north, south) {
  row = int((sank - 1) / 10)
  column = (sank - 1) % 10
  for (west = column; west > 0 && mark[sank - (column - west) - 1] == "h"; west--) ;
  for (east = column; east < 9 && mark[sank + (east - column) + 1] == "h"; east++) ;
  for (north = row; north > 0 && mark[sank - 10 * (row - north) - 10] == "h"; north--) ;
  for (south = row; south < 9 && mark[sank + 10 * (south - row) + 10] == "h"; south++) ;
  if ((east > west) == (south > north)) {
    for (k = 1; k <= 100; k++) if (mark[k] == "h") mark[k] = "s"
  } else if (east > west) {
    for (k = west; k <= east; k++) mark[row * 10 + k + 1] = "s"
  } else {
    for (k = north; k <= south; k++) mark[k * 10 + column + 1] = "s"
  }
}

# Sets mark[1..100] from STATE and returns the chosen square (1..100), or 0
# when none is left.
function ChooseSquare(state, sank,    k, openHits, best) {
  openHits = 0
  for (k = 1; k <= 100; k++) {
    mark[k] = substr(state, k, 1)
  }
  if (sank) MarkSunk(sank)
  for (k = 1; k <= 100; k++) if (mark[k] == "h") openHits++
  if (openHits && !CountPlacements(1)) {
    for (k = 1; k <= 100; k++) if (mark[k] == "h") mark[k] = "s"
    openHits = 0
  }
  if (!openHits) CountPlacements(0)
  best = 0
  for (k = 1; k <= 100; k++)
    if (mark[k] == "." && (!best || count[k] > count[best])) best = k
  return best
}

BEGIN {
  shipCount = split("2 3 3 4 5", shipLengths, " ")
  hitWeight = 50
  sunkWeight = 0.001
}

NF {
  if (length($1) != 100 || $1 ~ /[^.ohs]/ || $2 !~ /^[0-9]*$/ || $2 > 100 || ($2 && substr($1, $2, 1) != "h")) {
    print "choose_shot.awk: not a board: " $0 > "/dev/stderr"
    exit 2
  }
  chosen = ChooseSquare($1, $2 + 0)
  if (!chosen) { print "choose_shot.awk: no square left" > "/dev/stderr"; exit 2 }
  board = ""
  for (k = 1; k <= 100; k++) board = board mark[k]
  print int((chosen - 1) / 10) + 1, (chosen - 1) % 10 + 1, board
  exit
}
