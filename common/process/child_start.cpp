#include "common/process/child_start.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace tallygate {

ChildStart::ChildStart() {
  posix_spawn_file_actions_init(&actions_);
  posix_spawnattr_init(&attributes_);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes_, &none);
  posix_spawnattr_setsigdefault(&attributes_, &defaults);
  posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

ChildStart::~ChildStart() {
  posix_spawn_file_actions_destroy(&actions_);
  posix_spawnattr_destroy(&attributes_);
}

ChildStart& ChildStart::Dup(int from, int to) {
  posix_spawn_file_actions_adddup2(&actions_, from, to);
  return *this;
}

ChildStart& ChildStart::Open(int to, const std::string& path, int flags) {
  posix_spawn_file_actions_addopen(&actions_, to, path.c_str(), flags, 0644);
  return *this;
}

int ChildStart::Spawn(std::vector<std::string> argv, pid_t& pid, char* const* environment) {
  if (argv.empty()) return EINVAL;
  // Last, after the descriptors the child is given.
  posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  return ::posix_spawn(&pid, pointers[0], &actions_, &attributes_, pointers.data(),
                       environment != nullptr ? environment : environ);
}

}  // namespace tallygate
