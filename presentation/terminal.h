#pragma once
// The device under the console: the few things a real screen and keyboard
// must do. Everything with rules (wrapping, zones, key classification) lives
// in Console, written once above this.

#include <string_view>

namespace keelmark {

struct TerminalSize {
  int rows = 0;
  int columns = 0;
};

// Mouse event flags, as the Windows console reports them.
enum MouseEventFlag : int {
  MouseButtonChange = 0,
  MouseMoved = 1,
  MouseDoubleClick = 2,
  MouseWheeled = 4,
};

// Mouse buttons, as the bits of InputEvent::buttonState.
enum MouseButton : int { LeftButton = 1, RightButton = 2, MiddleButton = 4 };

// The characters these keys deliver, whatever a terminal sends for them.
constexpr char enterKey = 13;
constexpr char backspaceKey = 8;
constexpr char tabKey = 9;
constexpr char escapeKey = 27;

struct InputEvent {
  enum class Kind { Key, Mouse, Resize, Other };
  Kind kind = Kind::Other;

  // Key: a press unless keyDown is false. character is the CP437 byte the key
  // produced (0..255), or -1 for a key without one; scanCode is the PC scan
  // code (arrows 0x48 and so on; for a letter, the letter key's code).
  bool keyDown = true;
  int character = -1;
  int scanCode = 0;
  bool alt = false;

  // Mouse: the state of all buttons after the event (1 left, 2 right,
  // 4 middle), the 1-based cell, and the event flags above.
  int buttonState = 0;
  int row = 0;
  int column = 0;
  int eventFlags = MouseButtonChange;

  bool operator==(const InputEvent&) const = default;

  static InputEvent Char(int character) {
    InputEvent e;
    e.kind = Kind::Key;
    e.character = character;
    return e;
  }
  static InputEvent Scan(int scanCode) {
    InputEvent e;
    e.kind = Kind::Key;
    e.scanCode = scanCode;
    return e;
  }
  static InputEvent Mouse(int buttonState, int row, int column,
                          int eventFlags = MouseButtonChange) {
    InputEvent e;
    e.kind = Kind::Mouse;
    e.buttonState = buttonState;
    e.row = row;
    e.column = column;
    e.eventFlags = eventFlags;
    return e;
  }
  static InputEvent Resized() {
    InputEvent e;
    e.kind = Kind::Resize;
    return e;
  }
};

class Terminal {
 public:
  virtual ~Terminal() = default;

  virtual TerminalSize Size() const = 0;
  // Writes bytes (CP437) into consecutive cells of one row, starting at the
  // 1-based (row, column), all with one attribute (background * 16 +
  // foreground, console colour numbers). Cells past the edge are dropped.
  virtual void WriteCells(int row, int column, std::string_view bytes, int attribute) = 0;
  // Every cell of the device's screen becomes a blank in the attribute, and
  // the cursor goes to (1, 1). A clear and a scroll stay a few calls however
  // tall the screen is, where writing every row would not.
  virtual void Clear(int attribute) = 0;
  // Every row moves up by one, the top row is lost and the bottom row
  // becomes blanks in the attribute.
  virtual void ScrollUp(int attribute) = 0;
  // The colours the device writes in of its own accord from now on. A device
  // where every write carries its colours has nothing to do.
  virtual void SetTextAttribute(int /*attribute*/) {}
  virtual void PlaceCursor(int row, int column) = 0;
  virtual void SetCursorVisible(bool visible) = 0;
  virtual void EnableMouse() = 0;
  // Makes everything written so far visible. Called before anything blocks.
  virtual void Flush() = 0;
  // Blocks until the next input event. After a Resize the device's own
  // screen is blank and the caller repaints it.
  virtual InputEvent NextEvent() = 0;
};

}  // namespace keelmark
