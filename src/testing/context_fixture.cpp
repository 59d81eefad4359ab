#include "testing/context_fixture.h"

#include <filesystem>

namespace testing_support {

ContextTest::ContextTest()
    : clock(db::Date::FromParts(2026, 12, 4, 19, 5, 11)), ctx(clock, dbs.dir.File("logs")) {
  std::filesystem::create_directories(ctx.logs.dir());
  ctx.connDbPuntoCassa = OpenSqlite(dbs.front_path);
  ctx.connDbLocale = OpenSqlite(dbs.back_path);
  ctx.objSQL_ConnDbPuntoCassa = std::make_unique<velkaris::CompanionSql>();
  ctx.objSQL_ConnDbPuntoCassa->Connect(SqliteConnectionString(dbs.front_path), 2);
  ctx.objSQL_ConnDbLocale = std::make_unique<velkaris::CompanionSql>();
  ctx.objSQL_ConnDbLocale->Connect(SqliteConnectionString(dbs.back_path), 2);
  // Procedures are tested in the original per-statement mode unless a test asks for units
  // of work (UseUnitsOfWork).
  ctx.uow.per_receipt = false;
  SetRegistryText("Velkarys.Transazioni", "0");
}

void ContextTest::UseUnitsOfWork() {
  ctx.uow.per_receipt = true;
  SetRegistryText("Velkarys.Transazioni", "1");
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  if (!std::filesystem::exists(path)) return lines;
  std::string text = ReadFile(path);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));  // an unterminated last line
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> ContextTest::ErrorLogLines() {
  ctx.logs.Flush();
  return ReadLines(ctx.logs.ErrorLogPath());
}

std::vector<std::string> ContextTest::SyncLogLines() const {
  return ReadLines(ctx.logs.SyncLogPath(clock.now()));
}

std::vector<std::string> ContextTest::ErrorsFrom(const std::string& source) {
  std::vector<std::string> out;
  std::string suffix = ". Oggetto: MODULO \\" + source;
  for (const std::string& line : ErrorLogLines()) {
    if (line.size() >= suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) {
      out.push_back(line);
    }
  }
  return out;
}

void ContextTest::SetRegistryText(const std::string& name, const std::string& text, const std::string& section) {
  platform::RegistryValue v;
  v.type = platform::RegistryValue::kText;
  v.text = text;
  ctx.registry.Set("HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\" + section, name, v);
}

void ContextTest::SetRegistryNumber(const std::string& name, uint32_t number, const std::string& section) {
  platform::RegistryValue v;
  v.type = platform::RegistryValue::kDword;
  v.dword = number;
  ctx.registry.Set("HKEY_CURRENT_USER\\SOFTWARE\\KORV\\ARN\\" + section, name, v);
}

void ContextTest::RegisterDatabases() {
  SetRegistryText("Velkarys.ConnDBLocale.ConnectionString", SqliteConnectionString(dbs.back_path));
  SetRegistryText("Velkarys.ConnDBPuntoCassa.ConnectionString", SqliteConnectionString(dbs.front_path));
  SetRegistryNumber("IdCassa", 1);  // a run without its till transfers nothing
}

void ContextTest::SetSetting(const std::string& key, const std::string& value) {
  ctx.connDbPuntoCassa->Execute("insert or replace into tabImpostazioni (descrizione, valore) values ('" + key +
                                "', '" + value + "')");
}

}  // namespace testing_support
