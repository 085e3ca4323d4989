// Preloaded into the real game to count every thread it starts: each
// pthread_create, and each clone or clone3 made for a thread through the C
// library's wrappers, is written to the file named by
// KEELMARK_THREAD_LOG, one line each, with the libraries on the creating
// call's stack, so that a thread can be put down to libpulse, SDL,
// libspeechd or the game. Names the threads give themselves follow.
//
//   created <n> (<how>) by <library> <library> ...    nearest first
//   named <n> <name>

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/sched.h>

namespace {

std::atomic<int> created{0};
thread_local int ownNumber = 0;  // 0 for the main thread

int log = -1;

// The game's own children (a speech server it starts) are not counted: they
// are started without this file.
__attribute__((constructor)) void OpenLog() {
  if (const char* path = std::getenv("KEELMARK_THREAD_LOG"))
    log = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  unsetenv("KEELMARK_THREAD_LOG");
  unsetenv("LD_PRELOAD");
}

void Log(const char* line, std::size_t length) {
  if (log >= 0 && write(log, line, length) < 0) return;
}

// The distinct libraries on the stack above the call, nearest first, this
// file's own and the C library's left out.
int NoteCreation(const char* how) {
  const int number = ++created;
  void* frames[24];
  const int depth = backtrace(frames, 24);
  char line[1024];
  int length = std::snprintf(line, sizeof line, "created %d (%s) by", number, how);
  const char* previous = "";
  for (int i = 1; i < depth && length < 900; ++i) {
    Dl_info info{};
    if (!dladdr(frames[i], &info) || !info.dli_fname) continue;
    const char* name = std::strrchr(info.dli_fname, '/');
    name = name ? name + 1 : info.dli_fname;
    if (std::strstr(name, "thread_count") || std::strncmp(name, "libc.so", 7) == 0 ||
        std::strcmp(name, previous) == 0)
      continue;
    // In the program itself, where: addr2line -f -e GAME OFFSET names it.
    if (!std::strstr(name, ".so"))
      length += std::snprintf(line + length, sizeof line - length, " %s+%#lx", name,
                              static_cast<unsigned long>(static_cast<char*>(frames[i]) -
                                                         static_cast<char*>(info.dli_fbase)));
    else
      length += std::snprintf(line + length, sizeof line - length, " %s", name);
    previous = name;
  }
  line[length++] = '\n';
  Log(line, static_cast<std::size_t>(length));
  return number;
}

struct Start {
  void* (*routine)(void*);
  void* argument;
  int number;
};

void* Trampoline(void* start) {
  const Start copy = *static_cast<Start*>(start);
  delete static_cast<Start*>(start);
  ownNumber = copy.number;
  return copy.routine(copy.argument);
}

void NoteName(const char* name) {
  char line[128];
  const int length = std::snprintf(line, sizeof line, "named %d %.32s\n", ownNumber, name);
  Log(line, static_cast<std::size_t>(length));
}

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*), void* argument) {
  static const auto next = Next<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>("pthread_create");
  auto* start = new Start{routine, argument, NoteCreation("pthread_create")};
  const int failed = next(thread, attributes, Trampoline, start);
  if (failed) delete start;
  return failed;
}

int pthread_setname_np(pthread_t thread, const char* name) {
  static const auto next = Next<int (*)(pthread_t, const char*)>("pthread_setname_np");
  if (pthread_equal(thread, pthread_self())) NoteName(name);
  return next(thread, name);
}

int prctl(int option, ...) {
  static const auto next = Next<int (*)(int, unsigned long, unsigned long, unsigned long, unsigned long)>("prctl");
  va_list list;
  va_start(list, option);
  unsigned long arguments[4];
  for (unsigned long& argument : arguments) argument = va_arg(list, unsigned long);
  va_end(list);
  if (option == PR_SET_NAME) NoteName(reinterpret_cast<const char*>(arguments[0]));
  return next(option, arguments[0], arguments[1], arguments[2], arguments[3]);
}

// A thread shares the memory and the thread group of its creator; a process
// (posix_spawn's, say) does not.
int clone(int (*routine)(void*), void* stack, int flags, void* argument, ...) {
  static const auto next = Next<int (*)(int (*)(void*), void*, int, void*, pid_t*, void*, pid_t*)>("clone");
  va_list list;
  va_start(list, argument);
  pid_t* parentTid = va_arg(list, pid_t*);
  void* tls = va_arg(list, void*);
  pid_t* childTid = va_arg(list, pid_t*);
  va_end(list);
  if (flags & CLONE_THREAD) NoteCreation("clone");
  return next(routine, stack, flags, argument, parentTid, tls, childTid);
}

long syscall(long number, ...) {
  static const auto next = Next<long (*)(long, long, long, long, long, long, long)>("syscall");
  va_list list;
  va_start(list, number);
  long arguments[6];
  for (long& argument : arguments) argument = va_arg(list, long);
  va_end(list);
  if (number == SYS_clone && (arguments[0] & CLONE_THREAD)) NoteCreation("clone");
  if (number == SYS_clone3 && arguments[0] &&
      (reinterpret_cast<const clone_args*>(arguments[0])->flags & CLONE_THREAD))
    NoteCreation("clone3");
  return next(number, arguments[0], arguments[1], arguments[2], arguments[3], arguments[4], arguments[5]);
}
}
