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
    throw std::runtime_error("Cannot write the log file '" + path + "': " + std::strerror(errno) +
                             " (give the user running velkaris write access to it, or choose another --log-dir)");
  }
  std::string line(text);
  line += "\r\n";
  size_t written = std::fwrite(line.data(), 1, line.size(), f);
  int closed = std::fclose(f);
  if (written != line.size() || closed != 0) {
    throw std::runtime_error("Cannot write the log file '" + path + "'");
  }
}

namespace {

// message + ". Oggetto: MODULO \" + source, without doubling a closing full stop.
std::string EntryText(std::string_view source, std::string_view message) {
  std::string text(message);
  text += !text.empty() && text.back() == '.' ? " Oggetto: MODULO \\" : ". Oggetto: MODULO \\";
  text += source;
  return text;
}

}  // namespace

void Logs::WriteEntry(std::string_view source, std::string_view message) noexcept {
  std::string text;
  try {
    text = EntryText(source, message);
    Append(ErrorLogPath(), TimeStamp() + " :" + text);
  } catch (const std::exception& e) {
    // The error log cannot be written: the entry goes to standard error, with the reason.
    if (fallback_) std::fprintf(fallback_, "velkaris: %s\nvelkaris: %s\n", e.what(), text.c_str());
  }
}

void Logs::ScriviLogErrore(std::string_view source, std::string_view message,
                           std::string_view kind) noexcept {
  try {
    std::string entry = EntryText(source, message);
    if (error_count_++ == 0) first_error_ = entry;
    if (capturing_) captured_.push_back(entry);
  } catch (...) {
  }
  WriteEntry(source, message);
}

void Logs::ScriviLogAvviso(std::string_view source, std::string_view message) noexcept {
  WriteEntry(source, message);
}

void Logs::ScriviLogSincro(std::string_view text) {
  AppendSync(TimeStamp() + " - " + std::string(text));
}

void Logs::AppendSync(std::string_view text) { Append(SyncLogPath(clock_.Now()), text); }

}  // namespace velkaris
