#pragma once
// The game's rules about its state, checked while whole games run, by the
// key storms and by the entry fuzz target alike. A broken rule is handed to
// the report as one line saying which.

#include <functional>
#include <string>

#include "tests/doubles/test_rig.h"

namespace keelmark::testing {

// Fails the running test.
void ReportAsTestFailure(const std::string& brokenRule);

class InvariantChecker {
 public:
  using Report = std::function<void(const std::string& brokenRule)>;

  // Checks at every "drop": by then every earlier shot has settled its
  // counters, and this one has not yet landed.
  explicit InvariantChecker(TestRig& rig, Report report = ReportAsTestFailure);

  // Checks now, while no shot is on its way (at a prompt, or once the game
  // has stopped). Before the first shot the fleets may be half placed.
  void Check();

  int drops = 0;

 private:
  void CheckShots();
  // Every cell still holds what placement put there unless it was fired
  // at; the hit counters count the fired squares of each ship, and the sunk
  // counter the ships with all squares fired at. Returns the fired squares.
  int CheckSide(const Grid& grid, const Grid& fleet, const ShipHits& hits, int sunk);
  // Water and ships, each ship absent or whole in one line.
  void CheckPlacement(const Grid& grid);

  const Game& game_;
  Report report_;
  Grid playerFleet_{};
  Grid computerFleet_{};
  bool fleetsSeen_ = false;
};

}  // namespace keelmark::testing
