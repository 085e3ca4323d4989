#include "platform/posix/terminal_restore.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace keelmark::terminal_restore {
namespace {

// Every signal whose default action ends the process (with or without a
// core file). SIGKILL cannot be caught; the stop signals are handled apart.
const std::vector<int>& EndingSignals() {
  static const std::vector<int> signals = [] {
    std::vector<int> list = {SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,
                             SIGBUS,  SIGFPE,  SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE,
                             SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF,
                             SIGIO,   SIGSYS};
#ifdef SIGSTKFLT
    list.push_back(SIGSTKFLT);
#endif
#ifdef SIGPWR
    list.push_back(SIGPWR);
#endif
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) list.push_back(s);
    return list;
  }();
  return signals;
}

int terminalFd = -1;
termios originalModes{};
volatile std::sig_atomic_t haveOriginalModes = 0;

char resetBytes[512];
volatile std::sig_atomic_t resetLength = 0;

volatile std::sig_atomic_t continued = 0;
volatile std::sig_atomic_t resized = 0;
int wakePipe[2] = {-1, -1};

// A crash from a runaway recursion leaves no stack for the handler.
alignas(16) char alternateStack[64 * 1024];

void WakeUp() {
  if (wakePipe[1] < 0) return;
  const char byte = 1;
  // A full pipe already holds a wake-up.
  [[maybe_unused]] ssize_t ignored = write(wakePipe[1], &byte, 1);
}

extern "C" void RestoreAndReraise(int signalNumber) {
  const int savedErrno = errno;
  RestoreForGood();
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
  errno = savedErrno;
}

extern "C" void RestoreAndStop(int) {
  const int savedErrno = errno;
  RestoreNow();
  kill(getpid(), SIGSTOP);
  // Running again: the continue handler has noted it.
  errno = savedErrno;
}

extern "C" void NoteContinued(int) {
  const int savedErrno = errno;
  continued = 1;
  WakeUp();
  errno = savedErrno;
}

extern "C" void NoteResized(int) {
  const int savedErrno = errno;
  resized = 1;
  WakeUp();
  errno = savedErrno;
}

bool TakeFlag(volatile std::sig_atomic_t& flag) {
  if (!flag) return false;
  flag = 0;
  return true;
}

using Handler = void (*)(int);

void InstallOne(int signalNumber, Handler handler, const sigset_t& mask) {
  struct sigaction previous {};
  if (sigaction(signalNumber, nullptr, &previous) != 0) return;
  // A signal the caller chose to ignore (nohup, for one) stays ignored.
  if (previous.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_mask = mask;
  // No SA_RESTART: the wait for input has to notice a continue or a resize.
  action.sa_flags = SA_ONSTACK;
  sigaction(signalNumber, &action, nullptr);
}

bool IsOurs(Handler handler) {
  return handler == RestoreAndReraise || handler == RestoreAndStop || handler == NoteContinued ||
         handler == NoteResized;
}

}  // namespace

void Install(int fd) {
  terminalFd = fd;
  if (tcgetattr(fd, &originalModes) == 0) haveOriginalModes = 1;

  if (wakePipe[0] < 0 && pipe(wakePipe) == 0) {
    for (int end : wakePipe) {
      fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
      fcntl(end, F_SETFD, FD_CLOEXEC);
    }
  }

  stack_t stack{};
  stack.ss_sp = alternateStack;
  stack.ss_size = sizeof alternateStack;
  sigaltstack(&stack, nullptr);

  // While one handler writes the reset bytes, no other may cut in.
  sigset_t mask;
  sigemptyset(&mask);
  for (int s : EndingSignals()) sigaddset(&mask, s);
  sigaddset(&mask, SIGTSTP);
  sigaddset(&mask, SIGCONT);
  sigaddset(&mask, SIGWINCH);

  for (int s : EndingSignals()) InstallOne(s, RestoreAndReraise, mask);
  InstallOne(SIGTSTP, RestoreAndStop, mask);
  InstallOne(SIGCONT, NoteContinued, mask);
  InstallOne(SIGWINCH, NoteResized, mask);
}

void Remove() {
  std::vector<int> all = EndingSignals();
  all.insert(all.end(), {SIGTSTP, SIGCONT, SIGWINCH});
  for (int s : all) {
    struct sigaction current {};
    if (sigaction(s, nullptr, &current) == 0 && IsOurs(current.sa_handler)) signal(s, SIG_DFL);
  }
  terminalFd = -1;
}

void SetResetBytes(std::string_view bytes) {
  resetLength = 0;
  if (bytes.size() > sizeof resetBytes) bytes = bytes.substr(0, sizeof resetBytes);
  std::memcpy(resetBytes, bytes.data(), bytes.size());
  resetLength = static_cast<std::sig_atomic_t>(bytes.size());
}

void RestoreNow() {
  if (terminalFd < 0) return;
  const std::sig_atomic_t length = resetLength;
  if (length > 0) WriteAll(terminalFd, std::string_view(resetBytes, static_cast<std::size_t>(length)));
  if (haveOriginalModes) tcsetattr(terminalFd, TCSANOW, &originalModes);
}

void RestoreForGood() {
  RestoreNow();
  resetLength = 0;
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty() && fd >= 0) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

bool TakeContinued() { return TakeFlag(continued); }

bool TakeResized() { return TakeFlag(resized); }

int WakeFd() { return wakePipe[0]; }

void DrainWakeUps() {
  if (wakePipe[0] < 0) return;
  char buffer[64];
  while (read(wakePipe[0], buffer, sizeof buffer) > 0) {
  }
}

void EndAsHangUp() {
  RestoreForGood();
  signal(SIGHUP, SIG_DFL);
  raise(SIGHUP);
  // SIGHUP was ignored (nohup): there is still no terminal to play on.
  std::_Exit(0);
}

}  // namespace keelmark::terminal_restore
