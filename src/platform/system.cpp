#include "platform/system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <climits>
#include <filesystem>

namespace platform {

std::string ComputerName() {
  char buf[HOST_NAME_MAX + 1] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return "";
  return buf;
}

std::string ProgramDir() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec).string();
  return exe.parent_path().string();
}

std::string MachineLockPath() {
  if (const char* env = std::getenv("VELKARIS_LOCK_FILE"); env && *env) return env;
  std::error_code ec;
  return std::filesystem::is_directory("/run/lock", ec) ? "/run/lock/velkaris.lock" : "/tmp/velkaris.lock";
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) close(fd_);  // closing releases the lock; the file stays for the next run
}

InstanceLock::Result InstanceLock::Acquire() {
  fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ >= 0) {
    fchmod(fd_, 0666);  // every user of the machine shares the one lock
  } else if (errno == EACCES) {
    fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);  // made by another user: a read lock is enough
  }
  if (fd_ < 0) return kCannotCreate;
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    close(fd_);
    fd_ = -1;
    return err == EWOULDBLOCK ? kHeldElsewhere : kCannotCreate;
  }
  return kAcquired;
}

}  // namespace platform
