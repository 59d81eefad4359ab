#include "run/run_summary.h"

#include <gtest/gtest.h>

namespace velkaris {
namespace {

RunAccount Finished() {
  RunAccount a;
  a.started = true;
  a.start = db::Date::FromParts(2026, 12, 4, 19, 5, 11);
  a.end = db::Date::FromParts(2026, 12, 4, 19, 6, 2);
  a.selected = 3;
  a.transferred = 3;
  a.written = {12, 4, 11, 9};
  return a;
}

TEST(RunSummary, TheJsonAccountHoldsEveryFigureAndEscapesTheFirstError) {
  RunAccount a = Finished();
  a.transferred = 2;
  a.failed = 1;
  a.errors = 2;
  a.first_error = "Violazione \"PK\"\tin C:\\dati. Oggetto: MODULO \\PCassa_SincroScontrino";
  EXPECT_EQ(SummaryJson(a),
            "{\n"
            "  \"outcome\": \"incomplete\",\n"
            "  \"not_started\": null,\n"
            "  \"ended_early\": false,\n"
            "  \"mode\": \"transactions\",\n"
            "  \"start\": \"2026-12-04T19:05:11\",\n"
            "  \"end\": \"2026-12-04T19:06:02\",\n"
            "  \"receipts_selected\": 3,\n"
            "  \"receipts_transferred\": 2,\n"
            "  \"receipts_failed\": 1,\n"
            "  \"receipts_already_present\": 0,\n"
            "  \"rows\": 12,\n"
            "  \"payments\": 4,\n"
            "  \"movements\": 11,\n"
            "  \"stock_rows\": 9,\n"
            "  \"errors\": 2,\n"
            "  \"first_error\": \"Violazione \\\"PK\\\"\\tin C:\\\\dati. Oggetto: MODULO \\\\PCassa_SincroScontrino\"\n"
            "}\n");
  RunAccount not_started;
  not_started.not_started = "the settings could not be loaded";
  std::string json = SummaryJson(not_started);
  EXPECT_NE(json.find("\"outcome\": \"not started\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"not_started\": \"the settings could not be loaded\""), std::string::npos) << json;
}

TEST(RunSummary, TheExitStatusAndTheLastLineTellHowTheRunWent) {
  RunAccount a = Finished();
  EXPECT_EQ(ExitStatus(a), 0);
  EXPECT_EQ(SummaryLine(a), "velkaris: 3 of 3 receipts transferred; 12 rows, 11 movements; 0 errors logged");
  a.transferred = 1;
  a.already_present = 2;
  EXPECT_EQ(ExitStatus(a), 0);  // found already transferred counts as done
  a.already_present = 1;
  EXPECT_EQ(ExitStatus(a), 1);  // a receipt not reached (the run stopped early)
  a.already_present = 0;
  a.failed = 1;
  a.errors = 1;
  a.first_error = "x. Oggetto: MODULO \\Main";
  EXPECT_EQ(ExitStatus(a), 1);
  EXPECT_EQ(SummaryLine(a), "velkaris: 1 of 3 receipts transferred, 1 failed; 12 rows, 11 movements; 1 error logged, "
                            "the first: x. Oggetto: MODULO \\Main");
  a = Finished();
  a.ended_early = true;  // e.g. the second selection failed: nothing was selected there
  EXPECT_EQ(ExitStatus(a), 1);
  EXPECT_EQ(SummaryLine(a),
            "velkaris: 3 of 3 receipts transferred, the run ended early; 12 rows, 11 movements; 0 errors logged");
  RunAccount b;
  b.not_started = "a database connection could not be opened";
  EXPECT_EQ(ExitStatus(b), 2);
  EXPECT_EQ(SummaryLine(b), "velkaris: not started: a database connection could not be opened; 0 errors logged");
}

}  // namespace
}  // namespace velkaris
