#include "platform/writable.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace platform {

std::string WhyNotWritable(const std::string& path) {
  bool existed = access(path.c_str(), F_OK) == 0;
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return std::strerror(errno);
  close(fd);
  if (!existed) unlink(path.c_str());
  return "";
}

}  // namespace platform
