// The run of one game, from start-up to the end report.

#include "core/game.h"

namespace keelmark {

namespace {

constexpr int neededColumns = 80;
constexpr int neededRows = 25;
constexpr std::string_view tooSmallText =
    "The window is too small for Keelmark: it needs 80 columns and 25 rows. "
    "Make it larger, or type quit.";

}  // namespace

Game::Game(Console& console, Speech& speech, SoundEffects& sounds, RandomSource& random)
    : console_(console), speech_(speech), sounds_(sounds), random_(random) {}

void Game::Speak(std::string text) {
  speech_.speechText = std::move(text);
  speech_.SpeakText();
}

void Game::SpeakThenPrint(std::string_view spoken, std::string_view printed) {
  Speak(std::string(spoken));
  console_.PrintText(printed);
}

void Game::Run() {
  try {
    state = GameState{};
    lastComputerShot = 0;
    ResetHunt();
    console_.ShowCursor();
    console_.EnableMouseInput();
    console_.SelectMouseEvents(LeftButton | RightButton, PressEvent | ReleaseEvent);
    random_.SeedFromClock();
    console_.ClearScreen();
    sounds_.SetSoundNames();
    speech_.CreateVoice();
    WaitForRoomyScreen();
    ShowTitle();
    IntroPrompt();
    FillWithWater(state.playerGrid);
    FillWithWater(state.computerGrid);
    PlacePlayerFleet();
    PlaceComputerFleet();
    console_.ClearScreen();
    DrawTargetBoard(console_);
    DrawHomeBoard(console_, CellsOf(state.playerGrid));
    RoundLoop();
    AnnounceWinner();
    ShowGameReport();
    EndProgram(true);
  } catch (const QuitGame&) {
    EndProgram(false);
  }
}

void Game::WaitForRoomyScreen() {
  auto roomy = [this] {
    return console_.Width() >= neededColumns && console_.Height() >= neededRows;
  };
  if (roomy()) return;
  console_.PrintText(tooSmallText);
  console_.EndLine();
  Speak(std::string(tooSmallText));
  std::string typed;
  while (!roomy()) {
    const std::optional<std::string> key = console_.WaitKeyOrResize();
    if (!key) {
      console_.AdoptTerminalSize();
      continue;
    }
    if (key->size() != 1) continue;
    if ((*key)[0] == enterKey) {
      Speak(ReadBackText(typed));
      if (typed == "quit") throw QuitGame{};
      typed.clear();
    } else if ((*key)[0] == backspaceKey) {
      if (!typed.empty()) typed.pop_back();
    } else {
      typed += *key;
    }
  }
  console_.ClearScreen();
}

void Game::ShowTitle() {
  console_.PrintText(titleLine);
  console_.EndLine();
  console_.PrintText(creditLine);
  console_.EndLine();
  Speak(std::string(titleLine) + std::string(creditLine));
}

void Game::IntroPrompt() {
  constexpr std::string_view prompt = "Press any key to continue.";
  SpeakThenPrint(prompt, prompt);
  console_.EndLine();
  ReadEntry();
  if (entryText == "auto") {
    constexpr std::string_view generating = "Generating ship locations, please wait.";
    SpeakThenPrint(generating, generating);
    console_.EndLine();
    // Nothing blocks until the boards are drawn, so without this the text
    // would never reach the screen while the fleets are placed.
    console_.Flush();
  }
}

void Game::RoundLoop() {
  for (;;) {
    ++state.roundNumber;
    PlayerTurn();
    if (state.computerShipsSunk == 5) return;
    ComputerTurn();
    if (state.playerShipsSunk == 5) return;
  }
}

void Game::AnnounceWinner() {
  Speak("Game over.");
  console_.MoveCursor(24, 1);
  console_.SetColors(Yellow, keepColour);
  console_.PrintText("Game over.");
  console_.MoveCursor(25, 1);
  if (state.playerShipsSunk == 5) {
    SpeakThenPrint("Computer wins!", "Computer wins!!");
  } else {
    SpeakThenPrint("You win!!", "You win!!!");
  }
}

void Game::ShowGameReport() {
  struct ReportLine {
    std::string_view before;
    std::string_view after;
    std::int32_t number;
  };
  const ReportLine lines[] = {
      {"Computer sank ", " of your ships.", state.playerShipsSunk},
      {"You sank ", " of the computer's ships.", state.computerShipsSunk},
      {"The game lasted ", " rounds.", state.roundNumber},
  };
  console_.SetColors(Cyan, DarkGrey);
  int row = 1;
  for (const ReportLine& line : lines) {
    console_.MoveCursor(row++, 20);
    Speak(std::string(line.before) + NumberText(line.number) + std::string(line.after));
    console_.PrintText(line.before);
    console_.NextPrintZone();
    console_.PrintNumber(line.number);
    console_.NextPrintZone();
    console_.PrintText(line.after);
  }
  constexpr std::string_view exitPrompt = "Press any key to exit.";
  console_.MoveCursor(4, 20);
  console_.PrintText(exitPrompt);
  console_.EndLine();
  Speak(std::string(exitPrompt));
  entryText = console_.WaitKey();
}

void Game::EndProgram(bool gameEnded) {
  sounds_.StopSoundEffects();
  if (gameEnded) console_.ClearScreen();
  speech_.ReleaseVoice();
  console_.Flush();
}

}  // namespace keelmark
