// Fuzzes the reading of entries inside a game in progress: a whole game over
// the test doubles, its player typing, clicking, pressing other keys and
// resizing the window as the fuzz bytes say. The game must never crash or
// hang, and its state must keep the rules the key storms check, at every
// shot and every prompt.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/game.h"
#include "tests/doubles/game_invariants.h"
#include "tests/doubles/test_rig.h"

namespace {

using keelmark::InputEvent;
using keelmark::testing::InvariantChecker;
using keelmark::testing::TestRig;
using keelmark::testing::VirtualTerminal;

void Abort(const std::string& brokenRule) {
  std::fprintf(stderr, "game invariant broken: %s\n", brokenRule.c_str());
  std::abort();
}

// The player, as the fuzz bytes script it: plain bytes are typed, the
// others click, press keys without a character, or resize the window.
class FuzzedPlayer {
 public:
  FuzzedPlayer(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  void Act(VirtualTerminal& terminal) {
    if (at_ >= size_) return;  // out of input: the test double ends the game
    const std::uint8_t op = data_[at_++];
    if (op < 0x80 || op >= 0xA0) {
      terminal.TypeText(std::string(1, static_cast<char>(op)));
      return;
    }
    switch (op) {
      case 0x80: case 0x81: case 0x82: case 0x83: case 0x84: case 0x85: case 0x86: case 0x87:
      case 0x88: case 0x89: case 0x8A: case 0x8B: case 0x8C: case 0x8D: case 0x8E: case 0x8F: {
        const int row = Next() % 27;
        terminal.Click(row, Next() % 82);
        return;
      }
      case 0x90: {
        const int row = Next() % 27;
        terminal.RightClick(row, Next() % 82);
        return;
      }
      case 0x91: {
        // A press whose release never comes.
        const int row = Next() % 27;
        terminal.Push(InputEvent::Mouse(1, row, Next() % 82));
        return;
      }
      case 0x92: {
        const int row = Next() % 27;
        terminal.Push(InputEvent::Mouse(1, row, Next() % 82, keelmark::MouseDoubleClick));
        return;
      }
      case 0x93: {
        const int rows = 20 + Next() % 20;
        terminal.Resize(rows, 70 + Next() % 30);
        return;
      }
      case 0x94: {
        const char letter = static_cast<char>('a' + Next() % 26);
        terminal.Push(keelmark::testing::AltLetter(letter, keelmark::ScanCodeOfLetter(letter)));
        return;
      }
      default:
        terminal.PressScanKey(0x3B + (op - 0x95));
        return;
    }
  }

 private:
  int Next() { return at_ < size_ ? data_[at_++] : 0; }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The numbers and texts read from an entry, on their own.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)keelmark::ParseSquareName(text);
  (void)keelmark::ParsePlacement(text);

  TestRig rig(size > 0 ? data[0] : 1);
  InvariantChecker checker(rig, Abort);
  FuzzedPlayer player(data, size);
  rig.terminal.onInputNeeded = [&](VirtualTerminal& terminal) {
    checker.Check();
    player.Act(terminal);
  };
  try {
    rig.game.Run();
  } catch (const keelmark::testing::InputExhausted&) {
  }
  checker.Check();
  return 0;
}
