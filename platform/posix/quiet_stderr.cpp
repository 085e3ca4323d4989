#include "platform/posix/quiet_stderr.h"

#include <fcntl.h>
#include <unistd.h>

namespace keelmark {

QuietStderr::QuietStderr() {
  // Standard error sent to a file or a pipe is the user's choice; keep it.
  if (!isatty(STDERR_FILENO)) return;
  const int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (nowhere < 0) return;
  savedStderr_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (savedStderr_ >= 0) dup2(nowhere, STDERR_FILENO);
  close(nowhere);
}

QuietStderr::~QuietStderr() {
  if (savedStderr_ < 0) return;
  dup2(savedStderr_, STDERR_FILENO);
  close(savedStderr_);
}

}  // namespace keelmark
