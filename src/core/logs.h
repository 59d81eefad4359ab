// The two text logs in the program's directory: the daily sync log
// "logSincro" + dd + ".txt" and the error log "logVelkaris.log". Lines end in CR LF; the
// files stay open for appending during a pass, and every line reaches its file at once,
// except, when notices are held (receipts as units of work), the notices a receipt's rows
// write: they wait for Flush (the receipt's end) or the next error, so that a receipt costs
// one write to the file instead of one a row. An entry that cannot be written goes to
// standard error instead, so that no failure is silent.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "db/value.h"
#include "platform/clock.h"

namespace velkaris {

inline constexpr std::string_view kErroreNonPrevisto = "erroreNonPrevistoDalProgramma";

class Logs {
 public:
  Logs(std::string dir, platform::Clock& clock) : dir_(std::move(dir)), clock_(clock) {}
  ~Logs();
  Logs(const Logs&) = delete;
  Logs& operator=(const Logs&) = delete;

  const std::string& dir() const { return dir_; }
  std::string SyncLogPath(const db::Date& day) const;  // logSincro + dd + .txt
  std::string ErrorLogPath() const;
  // The time stamp of both logs: the current date and time as the platform prints them.
  std::string TimeStamp() const;

  // One error-log entry: time stamp + " :" + message + ". Oggetto: MODULO \" + source (a
  // message that ends in a full stop gets no second one). The error kind is accepted for the
  // callers' sake and written nowhere. Never fails.
  void ScriviLogErrore(std::string_view source, std::string_view message,
                       std::string_view kind = kErroreNonPrevisto) noexcept;
  // An entry of the same form that reports no error (the row notices every receipt row
  // writes); it is not counted among the errors. Held, it reaches the file with the next
  // Flush, error entry or closing.
  void ScriviLogAvviso(std::string_view source, std::string_view message) noexcept;
  void set_hold_notices(bool hold) { hold_notices_ = hold; }
  // Writes out the notices held so far (at the end of every receipt).
  void Flush() noexcept;

  // Error entries so far (notices not counted) and the first of them, without time stamp.
  int64_t error_count() const { return error_count_; }
  const std::string& first_error() const { return first_error_; }
  void ResetErrorCount() { error_count_ = 0, first_error_.clear(); }

  // Where entries go when the error log cannot be written (standard error by default).
  void set_fallback(FILE* out) { fallback_ = out; }
  // One line in today's sync log: time stamp + " - " + text. Throws when it cannot write.
  void ScriviLogSincro(std::string_view text);
  // Appends text (already holding its own line breaks) plus CR LF to today's sync log.
  void AppendSync(std::string_view text);
  // Closes the log files this pass opened.
  void CloseFiles();
  // Deletes a log file (closing it first if this pass writes it). Throws when it cannot.
  void RemoveFile(const std::string& path);

  // Keeps the entries written from now on (message and source, no time stamp) until
  // EndCapture hands them over, so that a failed receipt can be recorded with its errors.
  void BeginCapture() {
    capturing_ = true;
    captured_.clear();
  }
  std::vector<std::string> EndCapture() {
    capturing_ = false;
    return std::move(captured_);
  }

 private:
  // Appends text plus CR LF and flushes it, so that a line written is never lost. The files
  // stay open for the pass instead of being opened for every line.
  void Append(const std::string& path, std::string_view text);
  void WriteEntry(std::string_view source, std::string_view message) noexcept;

  std::string dir_;
  platform::Clock& clock_;
  int64_t error_count_ = 0;  // since ResetErrorCount, for the run's account
  std::string first_error_;
  FILE* fallback_ = stderr;
  bool capturing_ = false;
  std::vector<std::string> captured_;
  std::map<std::string, FILE*> open_;  // path -> file opened for appending
  bool hold_notices_ = false;
  std::string held_;  // notices not yet written, each line ended by CR LF
};

}  // namespace velkaris
