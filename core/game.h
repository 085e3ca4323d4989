#pragma once
// One game from the title to the end report, over the console, the voice,
// the clips and the random source it is given. The flow routines take no
// arguments: they work on the game's own state, as the rules describe them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/game_state.h"
#include "core/random_source.h"
#include "presentation/board_view.h"
#include "presentation/console.h"
#include "presentation/sound_effects.h"
#include "presentation/speech.h"

namespace keelmark {

// Thrown by ReadEntry on "quit": unwinds to Run, which ends the game there.
struct QuitGame {};

// What ReadEntry came back with.
enum class EntryOutcome { Square, Auto, Empty, Long };

// A square name read without any range check.
Square ParseSquareName(std::string_view text);
// The number reading used for the column of a square name: leading blanks,
// sign, fraction, exponent (E, e, D, d), rounded half to even. Values that do
// not fit 32 bits come back as INT32_MIN or INT32_MAX.
std::int32_t ParseLeadingNumber(std::string_view text);

struct Placement {
  Square start;
  Square end;
  std::int64_t span = 0;
};
Placement ParsePlacement(std::string_view text);
// True when both squares are on the grid, in one row or column, span the
// ship's length and cover only water.
bool IsValidPlacement(const Grid& grid, const Placement& placement, int length);

// The span from start to end (ordered) holds only water.
bool CheckPlacement(const Grid& grid, Square start, Square end);
void WriteShip(Grid& grid, Square start, Square end, char letter);
// Orders two squares so the start has the lower letter or number; returns
// the span length.
std::int64_t OrderSquares(Square& start, Square& end);

// How much of an entry is read back to the player. No entry the game can
// use is longer than a placement text with leading zeros ("a010,a007"); a
// pasted page would hold the game for minutes, so only this much of it is
// spoken, followed by readBackCut.
inline constexpr std::size_t readBackLength = 24;
inline constexpr std::string_view readBackCut = ", and so on.";
std::string ReadBackText(std::string_view entry);

// The square as the game writes it: upper-case letter and NumberText.
std::string SquareText(int row, int column);

struct HuntMemory {
  std::int32_t huntMode = 0;
  Square huntOrigin;
  Square huntCursor;
  std::int32_t huntDirection = 0;
  std::int32_t directionChanges = 0;
};

class Game {
 public:
  Game(Console& console, Speech& speech, SoundEffects& sounds, RandomSource& random);

  // Plays one game; returns when the program should end.
  void Run();

  // The flow routines, public so tests can drive one routine at a time.
  void WaitForRoomyScreen();
  void ShowTitle();
  void IntroPrompt();
  void RoundLoop();
  void AnnounceWinner();
  void ShowGameReport();
  void EndProgram(bool gameEnded);
  void PlacePlayerFleet();
  std::string ReadPlacementEntry();
  void PlaceComputerFleet();
  void PlaceShipAtRandom(Grid& grid, const ShipInfo& ship);
  void RandomSquare();
  Square RandomEndSquare(Square start, int reach, int turnBack);
  void PlayerTurn();
  void ComputerTurn();
  void ChooseTarget();
  void SwitchAxis();
  void ResetHunt();
  EntryOutcome ReadEntry();
  int UniformDraw(int lo, int hi);

  GameState state;
  std::string entryText;
  std::int32_t currentRow = 0;
  std::int32_t currentColumn = 0;
  std::int32_t lastComputerShot = 0;
  HuntMemory hunt;

 private:
  void Speak(std::string text);
  void EchoKey(std::string_view key);
  void SpeakThenPrint(std::string_view spoken, std::string_view printed);

  Console& console_;
  Speech& speech_;
  SoundEffects& sounds_;
  RandomSource& random_;
};

// The game's own words.
inline constexpr std::string_view titleLine = " Keelmark version 1.0-pre5";
inline constexpr std::string_view creditLine = " Written by the Keelmark crew, to be played by ear.";

}  // namespace keelmark
