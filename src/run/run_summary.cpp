#include "run/run_summary.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velkaris {
namespace {

// A JSON string literal; control characters escaped, other bytes passed through.
std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string IsoTime(const db::Date& d) { return Quote(db::FormatPattern(d, "yyyy-MM-ddTHH:mm:ss")); }

const char* Outcome(const RunAccount& a) {
  if (!a.started) return "not started";
  return a.Complete() ? "complete" : "incomplete";
}

}  // namespace

std::string SummaryJson(const RunAccount& a) {
  auto num = [](int64_t n) { return std::to_string(n); };
  std::string out = "{\n";
  auto field = [&](const char* name, const std::string& value, bool last = false) {
    out += std::string("  \"") + name + "\": " + value + (last ? "\n" : ",\n");
  };
  field("outcome", Quote(Outcome(a)));
  field("not_started", a.started ? "null" : Quote(a.not_started));
  field("ended_early", a.ended_early ? "true" : "false");
  field("mode", Quote(a.mode));
  field("start", IsoTime(a.start));
  field("end", IsoTime(a.end));
  field("receipts_selected", num(a.selected));
  field("receipts_transferred", num(a.transferred));
  field("receipts_failed", num(a.failed));
  field("receipts_already_present", num(a.already_present));
  field("rows", num(a.written.rows));
  field("payments", num(a.written.payments));
  field("movements", num(a.written.movements));
  field("stock_rows", num(a.written.stock_rows));
  field("errors", num(a.errors));
  field("first_error", a.first_error.empty() ? "null" : Quote(a.first_error), true);
  return out + "}\n";
}

std::string SummaryLine(const RunAccount& a) {
  std::string line;
  if (!a.started) {
    line = "velkaris: not started: " + a.not_started;
  } else {
    line = "velkaris: " + std::to_string(a.transferred) + " of " + std::to_string(a.selected) +
           " receipts transferred";
    if (a.already_present) line += ", " + std::to_string(a.already_present) + " already present";
    if (a.failed) line += ", " + std::to_string(a.failed) + " failed";
    if (a.ended_early) line += ", the run ended early";
    line += "; " + std::to_string(a.written.rows) + " rows, " + std::to_string(a.written.movements) + " movements";
  }
  line += "; " + std::to_string(a.errors) + (a.errors == 1 ? " error" : " errors") + " logged";
  if (!a.first_error.empty()) line += ", the first: " + a.first_error;
  return line;
}

int ExitStatus(const RunAccount& a) {
  if (!a.started) return 2;
  return a.Complete() ? 0 : 1;
}

std::string WriteTextFile(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return std::strerror(errno);
  size_t written = std::fwrite(text.data(), 1, text.size(), f);
  if (std::fclose(f) != 0 || written != text.size()) return "the disk refused the write";
  return "";
}

}  // namespace velkaris
