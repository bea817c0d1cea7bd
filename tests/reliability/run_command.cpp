// SPDX-License-Identifier: MIT
#include "tests/reliability/run_command.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace kestrel::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// In the child, before exec: root keeps CAP_DAC_OVERRIDE and
// CAP_DAC_READ_SEARCH across exec only while they are in the bounding set.
// A user without them has nothing to drop.
void DropPermissionOverrides() {
  ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
  ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

// In the child: never returns.
[[noreturn]] void Exec(const std::string& program, const std::vector<std::string>& args,
                       const CommandLimits& limits, const fs::path& out, const fs::path& err) {
  const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (outFd < 0 || errFd < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0) ::_exit(126);
  ::close(outFd);
  ::close(errFd);
  if (limits.fileSize) {
    ::signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
    const rlimit limit{*limits.fileSize, *limits.fileSize};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
  }
  if (limits.respectPermissions) DropPermissionOverrides();
  if (limits.seconds != 0) ::alarm(limits.seconds);  // stays pending across exec
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  ::_exit(127);
}

}  // namespace

CommandResult RunCommand(const std::string& program, const std::vector<std::string>& args,
                         const CommandLimits& limits, const fs::path& scratch) {
  const fs::path out = scratch / "stdout";
  const fs::path err = scratch / "stderr";
  CommandResult result;
  const pid_t pid = ::fork();
  if (pid < 0) return result;
  if (pid == 0) Exec(program, args, limits, out, err);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = ReadAll(out);
  result.err = ReadAll(err);
  fs::remove(out);
  fs::remove(err);
  return result;
}

bool PermissionsCanBeRespected(const fs::path& scratch) {
  const fs::path locked = scratch / "locked";
  { std::ofstream(locked) << "x"; }
  fs::permissions(locked, fs::perms::none);
  // The capabilities go at exec, so the check is made by a program: cat
  // fails when it cannot read the file.
  CommandLimits limits;
  limits.respectPermissions = true;
  const CommandResult cat = RunCommand("/bin/cat", {locked.string()}, limits, scratch);
  fs::remove(locked);
  return cat.exitStatus == 1;
}

}  // namespace kestrel::testing
