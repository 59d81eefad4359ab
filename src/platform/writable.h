// Whether a file can be written before anything depends on it.
#pragma once

#include <string>

namespace platform {

// Empty when `path` can be opened for appending (created when missing); otherwise the
// reason, e.g. "Permission denied". A file this creates to find out is removed again.
std::string WhyNotWritable(const std::string& path);

}  // namespace platform
