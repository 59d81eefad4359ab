#include "core/logs.h"

#include <cstdio>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace velkaris {

std::string Logs::SyncLogPath(const db::Date& day) const {
  return dir_ + "/logSincro" + db::FormatPattern(day, "dd") + ".txt";
}

std::string Logs::ErrorLogPath() const { return dir_ + "/logVelkaris.log"; }

std::string Logs::TimeStamp() const { return db::CStr(db::Value(clock_.Now())); }

void Logs::Append(const std::string& path, std::string_view text) {
  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) {
    throw std::runtime_error("Cannot write the log file '" + path + "': " + std::strerror(errno));
  }
  std::string line(text);
  line += "\r\n";
  size_t written = std::fwrite(line.data(), 1, line.size(), f);
  int closed = std::fclose(f);
  if (written != line.size() || closed != 0) {
    throw std::runtime_error("Cannot write the log file '" + path + "'");
  }
}

void Logs::ScriviLogErrore(std::string_view source, std::string_view message,
                           std::string_view kind) noexcept {
  try {
    ++error_entries_;
    std::string entry = std::string(message) + ". Oggetto: MODULO \\" + std::string(source);
    if (capturing_) captured_.push_back(entry);
    std::string text = TimeStamp() + " :" + entry;
    Append(ErrorLogPath(), text);
  } catch (...) {
    // A log that cannot be written is skipped.
  }
}

void Logs::ScriviLogSincro(std::string_view text) {
  AppendSync(TimeStamp() + " - " + std::string(text));
}

void Logs::AppendSync(std::string_view text) { Append(SyncLogPath(clock_.Now()), text); }

}  // namespace velkaris
