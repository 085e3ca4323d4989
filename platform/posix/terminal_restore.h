#pragma once
// Handing the terminal back, whatever way the process leaves or pauses.
//
// Everything a signal handler needs is prepared in advance: the terminal
// modes as they were found, and one byte string that switches off what the
// game switched on. The handlers only write those bytes, put the modes
// back and re-raise, or note a flag and wake the input wait; the work that
// follows a stop or a window change is done outside them, by the device.

#include <string_view>

#include <termios.h>

namespace keelmark::terminal_restore {

// Notes the terminal and the modes it has now, and installs the handlers:
// every signal whose default action ends the process restores the terminal
// and re-raises; a stop request (Ctrl+Z from a shell's kill -TSTP) restores
// the terminal and stops; a continue and a window change are noted for the
// device. A signal the process was started with ignored stays ignored.
void Install(int terminalFd);
// Puts every disposition this module changed back to the default.
void Remove();

// The bytes that undo the game's changes to the screen (mouse reporting,
// keypad mode, attributes, cursor, the alternate screen).
void SetResetBytes(std::string_view bytes);
// Writes the reset bytes and puts back the modes found at Install.
// Async-signal-safe.
void RestoreNow();
// As RestoreNow, and the handlers will not write the bytes again.
void RestoreForGood();

// Writes all the bytes, going on after an interrupted write; stops at the
// first error, since there is no one to tell. Async-signal-safe.
void WriteAll(int fd, std::string_view bytes);

// Set by the handlers; each call clears what it reports.
bool TakeContinued();
bool TakeResized();
// The read end of the pipe the handlers write to, so that a wait for input
// wakes up for them; DrainWakeUps empties it.
int WakeFd();
void DrainWakeUps();

// The terminal has gone (hang-up, end of input): restore what can be
// restored and end as a hang-up would.
[[noreturn]] void EndAsHangUp();

}  // namespace keelmark::terminal_restore
