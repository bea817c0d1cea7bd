// SPDX-License-Identifier: MIT
// Runs a command and prints what it cost, on one line of standard error:
//   wall_ns user_us system_us max_rss_kb
// The command's own output goes where this program's goes; its exit status
// is this program's (128 + the signal when a signal ended it).
//
//   measure COMMAND [ARGUMENT...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace {

long long Nanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

long long Microseconds(const timeval& t) {
  return static_cast<long long>(t.tv_sec) * 1000000LL + t.tv_usec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: measure COMMAND [ARGUMENT...]\n");
    return 2;
  }
  const long long start = Nanoseconds();
  const pid_t child = fork();
  if (child < 0) {
    std::perror("measure: fork");
    return 2;
  }
  if (child == 0) {
    execvp(argv[1], argv + 1);
    std::perror("measure: exec");
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) {
    std::perror("measure: wait");
    return 2;
  }
  const long long wall = Nanoseconds() - start;
  std::fprintf(stderr, "%lld %lld %lld %ld\n", wall, Microseconds(usage.ru_utime),
               Microseconds(usage.ru_stime), usage.ru_maxrss);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
