#include "core/logs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "testing/context_fixture.h"
#include "testing/temp_databases.h"

namespace velkaris {
namespace {

// What was written to a temporary file, which it closes.
std::string TextOf(FILE* out) {
  std::rewind(out);
  char buf[1024] = {};
  size_t n = std::fread(buf, 1, sizeof buf - 1, out);
  std::fclose(out);
  return std::string(buf, n);
}

TEST(Logs, EntriesKeepOneFullStopAndOnlyErrorsAreCounted) {
  testing_support::TempDir dir;
  platform::FrozenClock clock(db::Date::FromParts(2026, 12, 4, 19, 5, 11));
  Logs logs(dir.path(), clock);
  logs.ScriviLogErrore("TovoVelkaris_Scontrino", "Procedura Velkaris non avviata.");
  logs.ScriviLogAvviso("Velkaris-PCassa_AggiornaMagazzinoDaScontrino", "Acconto rilevato num: -1");
  logs.ScriviLogErrore("Main", "");
  logs.ScriviLogErrore("KORV", "Tentativo di ripristino...");
  auto lines = testing_support::ReadLines(logs.ErrorLogPath());
  ASSERT_EQ(lines.size(), 4u);
  std::string stamp = logs.TimeStamp();
  EXPECT_EQ(lines[0], stamp + " :Procedura Velkaris non avviata. Oggetto: MODULO \\TovoVelkaris_Scontrino");
  EXPECT_EQ(lines[1], stamp + " :Acconto rilevato num: -1. Oggetto: MODULO \\Velkaris-PCassa_AggiornaMagazzinoDaScontrino");
  EXPECT_EQ(lines[2], stamp + " :. Oggetto: MODULO \\Main");  // an empty message, as the original wrote it
  EXPECT_EQ(lines[3], stamp + " :Tentativo di ripristino... Oggetto: MODULO \\KORV");
  EXPECT_EQ(logs.error_count(), 3);  // the notice is no error
  EXPECT_EQ(logs.first_error(), "Procedura Velkaris non avviata. Oggetto: MODULO \\TovoVelkaris_Scontrino");
  logs.ResetErrorCount();
  EXPECT_EQ(logs.error_count(), 0);
  EXPECT_EQ(logs.first_error(), "");
}

TEST(Logs, NoticesReachTheFileAtTheReceiptsEndOrWithTheNextErrorInTheirOrder) {
  testing_support::TempDir dir;
  platform::FrozenClock clock(db::Date::FromParts(2026, 12, 4, 19, 5, 11));
  Logs logs(dir.path(), clock);
  logs.set_hold_notices(true);
  logs.ScriviLogErrore("Main", "first");
  logs.ScriviLogAvviso("Rows", "notice 1");
  logs.ScriviLogAvviso("Rows", "notice 2");
  EXPECT_EQ(testing_support::ReadLines(logs.ErrorLogPath()).size(), 1u);  // held
  logs.Flush();
  EXPECT_EQ(testing_support::ReadLines(logs.ErrorLogPath()).size(), 3u);
  logs.ScriviLogAvviso("Rows", "notice 3");
  logs.ScriviLogErrore("Main", "second");  // takes the held notice with it, before itself
  logs.ScriviLogAvviso("Rows", "notice 4");
  logs.CloseFiles();
  auto lines = testing_support::ReadLines(logs.ErrorLogPath());
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_NE(lines[3].find(":notice 3."), std::string::npos) << lines[3];
  EXPECT_NE(lines[4].find(":second."), std::string::npos) << lines[4];
  EXPECT_NE(lines[5].find(":notice 4."), std::string::npos) << lines[5];
}

TEST(Logs, NotHeldANoticeIsWrittenAtOnceAndHeldNoticesThatCannotBeWrittenGoToTheFallback) {
  testing_support::TempDir dir;
  platform::FrozenClock clock(db::Date::FromParts(2026, 12, 4, 19, 5, 11));
  Logs logs(dir.path(), clock);
  logs.ScriviLogAvviso("Rows", "at once");  // the original mode writes every line at once
  EXPECT_EQ(testing_support::ReadLines(logs.ErrorLogPath()).size(), 1u);

  logs.CloseFiles();
  std::filesystem::remove(logs.ErrorLogPath());
  std::filesystem::create_directory(logs.ErrorLogPath());  // not a file that can take them
  FILE* out = std::tmpfile();
  logs.set_fallback(out);
  logs.set_hold_notices(true);
  logs.ScriviLogAvviso("Rows", "notice one");
  logs.ScriviLogAvviso("Rows", "notice two");
  logs.Flush();
  std::string text = TextOf(out);
  EXPECT_NE(text.find("velkaris: Cannot write the log file '" + logs.ErrorLogPath() + "'"), std::string::npos) << text;
  EXPECT_NE(text.find(":notice one. Oggetto: MODULO \\Rows\n"), std::string::npos) << text;
  EXPECT_NE(text.find(":notice two. Oggetto: MODULO \\Rows\n"), std::string::npos) << text;
}

TEST(Logs, AnEntryThatCannotBeWrittenGoesToTheFallbackWithTheReason) {
  testing_support::TempDir dir;
  platform::FrozenClock clock(db::Date::FromParts(2026, 12, 4, 19, 5, 11));
  Logs logs(dir.path(), clock);
  std::filesystem::create_directory(logs.ErrorLogPath());  // not a file that can take an entry
  FILE* out = std::tmpfile();
  logs.set_fallback(out);
  logs.ScriviLogErrore("Main", "Database is locked");
  std::string text = TextOf(out);
  EXPECT_NE(text.find("velkaris: Cannot write the log file '" + logs.ErrorLogPath() + "'"), std::string::npos) << text;
  EXPECT_NE(text.find("velkaris: Database is locked. Oggetto: MODULO \\Main\n"), std::string::npos) << text;
  EXPECT_EQ(logs.error_count(), 1);
  // The sync log throws for its caller to handle.
  std::filesystem::create_directory(logs.SyncLogPath(clock.Now()));
  EXPECT_THROW(logs.ScriviLogSincro("x"), std::runtime_error);
}

}  // namespace
}  // namespace velkaris
