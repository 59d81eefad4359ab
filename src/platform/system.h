// Facts about this machine and process.
#pragma once

#include <string>

namespace platform {

// The computer name, whole: the name FreeTDS and the translated connection strings send as
// the workstation, which the guard compares with.
std::string ComputerName();
// The directory of the running executable.
std::string ProgramDir();

// The lock file that keeps one instance per machine, whatever the log folder:
// $VELKARIS_LOCK_FILE when set, else /run/lock/velkaris.lock (/tmp when there is no /run/lock).
std::string MachineLockPath();

// Holds an exclusive lock file for the life of the object; a second holder on the same
// file fails to acquire it.
class InstanceLock {
 public:
  explicit InstanceLock(std::string path) : path_(std::move(path)) {}
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  enum Result { kAcquired, kHeldElsewhere, kCannotCreate };
  Result Acquire();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace platform
