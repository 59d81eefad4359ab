#include "core/logs.h"

#include <cstdio>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace velkaris {

std::string Logs::SyncLogPath(const db::Date& day) const {
  return dir_ + "/logSincro" + db::FormatPattern(day, "dd") + ".txt";
}

std::string Logs::ErrorLogPath() const { return dir_ + "/logVelkaris.log"; }

std::string Logs::TimeStamp() const { return db::CStr(db::Value(clock_.Now())); }

Logs::~Logs() { CloseFiles(); }

void Logs::CloseFiles() {
  Flush();
  for (auto& [path, f] : open_) std::fclose(f);
  open_.clear();
}

void Logs::Flush() noexcept {
  if (held_.empty()) return;
  std::string text = std::move(held_);
  held_.clear();
  text.resize(text.size() - 2);  // Append ends it again
  try {
    Append(ErrorLogPath(), text);
  } catch (const std::exception& e) {
    // Like an entry that cannot be written: the notices go to standard error, with the reason.
    if (fallback_) std::fprintf(fallback_, "velkaris: %s\n", e.what());
    size_t start = 0;
    while (fallback_ && start <= text.size()) {
      size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      std::fprintf(fallback_, "velkaris: %.*s\n", static_cast<int>(end - start), text.data() + start);
      start = end + 2;
    }
  }
}

void Logs::Append(const std::string& path, std::string_view text) {
  auto it = open_.find(path);
  if (it == open_.end()) {
    FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) {
      throw std::runtime_error("Cannot write the log file '" + path + "': " + std::strerror(errno) +
                               " (give the user running velkaris write access to it, or choose another --log-dir)");
    }
    it = open_.emplace(path, f).first;
  }
  std::string line(text);
  line += "\r\n";
  size_t written = std::fwrite(line.data(), 1, line.size(), it->second);
  if (written != line.size() || std::fflush(it->second) != 0) {
    std::fclose(it->second);  // opened again for the next line
    open_.erase(it);
    throw std::runtime_error("Cannot write the log file '" + path + "'");
  }
}

void Logs::RemoveFile(const std::string& path) {
  Flush();
  if (auto it = open_.find(path); it != open_.end()) {
    std::fclose(it->second);
    open_.erase(it);
  }
  std::error_code ec;
  if (std::filesystem::exists(path, ec) && std::remove(path.c_str()) != 0) {
    throw std::runtime_error("Cannot delete the log file '" + path + "': " + std::strerror(errno));
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
  Flush();  // the notices held before it come first
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
  if (!hold_notices_) {
    WriteEntry(source, message);
    return;
  }
  try {
    held_ += TimeStamp() + " :" + EntryText(source, message) + "\r\n";
  } catch (...) {
    WriteEntry(source, message);
  }
}

void Logs::ScriviLogSincro(std::string_view text) {
  AppendSync(TimeStamp() + " - " + std::string(text));
}

void Logs::AppendSync(std::string_view text) { Append(SyncLogPath(clock_.Now()), text); }

}  // namespace velkaris
