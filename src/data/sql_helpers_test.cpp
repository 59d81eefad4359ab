#include "data/sql_helpers.h"

#include <gtest/gtest.h>

#include "testing/context_fixture.h"

namespace velkaris {
namespace {

using db::Value;

class SqlHelpersTest : public testing_support::ContextTest {};

TEST_F(SqlHelpersTest, TestNullGivesTheDefaultOnlyForNull) {
  EXPECT_EQ(db::CStr(TestNull(ctx, Value(), Value(-1))), "-1");
  EXPECT_EQ(db::CStr(TestNull(ctx, Value(12), Value(-1))), "12");
  EXPECT_EQ(db::CStr(TestNull(ctx, Value(""), Value("x"))), "");
  auto rs = ctx.connDbPuntoCassa->OpenRecordset("select NULL as a, 12 as b, 2.5 as c");
  EXPECT_EQ(db::CLng(TestNull(ctx, (*rs)["a"], Value(-1))), -1);
  EXPECT_EQ(db::CLng(TestNull(ctx, (*rs)["b"], Value(-1))), 12);
  EXPECT_EQ(db::CStr(TestNull(ctx, (*rs)["c"], Value(0))), "2,5");
}

TEST_F(SqlHelpersTest, ApiceAndBooleanForSql) {
  EXPECT_EQ(Apice(ctx, "l'arancia"), "l''arancia");
  EXPECT_EQ(Apice(ctx, "''"), "''''");
  EXPECT_EQ(Apice(ctx, "plain"), "plain");
  EXPECT_EQ(BooleanForSql(ctx, true, -1), "1");
  EXPECT_EQ(BooleanForSql(ctx, true, 2), "1");
  EXPECT_EQ(BooleanForSql(ctx, true, 0), "-1");
  for (int kind : {-1, 0, 2}) EXPECT_EQ(BooleanForSql(ctx, false, kind), "0");
}

TEST_F(SqlHelpersTest, DateForSqlWritesDayMonthYearLiterals) {
  int32_t kind = -1;
  std::string when = "04/12/2026 19:05:11";
  EXPECT_EQ(DateForSql(ctx, when, false, true, kind, false), "'04/12/2026 19:05:11:000'");
  EXPECT_EQ(kind, 2);  // the caller's -1 became 2
  EXPECT_EQ(DateForSql(ctx, when, false, true, kind, true), "'04/12/2026 19:05:11'");
  EXPECT_EQ(DateForSql(ctx, when, false, false, kind, false), "'04/12/2026'");
  EXPECT_EQ(DateForSql(ctx, when, true, false, kind, false), "'19:05:11:000'");
  EXPECT_EQ(DateForSql(ctx, db::Date::FromParts(2026, 1, 2, 3, 4, 5), false, true, true),
            "'02/01/2026 03:04:05'");
  EXPECT_EQ(DateForSql(ctx, db::Date::FromParts(2026, 1, 2), false, false, false), "'02/01/2026'");
}

TEST_F(SqlHelpersTest, EuroRoundsHalfUpTowardsPlusInfinity) {
  struct Case {
    Value value;
    int16_t decimals;
    double expected;
  };
  const Case cases[] = {{Value(2.345), 2, 2.35},  {Value(-2.345), 2, -2.34}, {Value(-2.346), 2, -2.35},
                        {Value(2.5), 0, 3},       {Value(-2.5), 0, -2},      {Value(1.005), 2, 1.01},
                        {Value(27.03), 2, 27.03}, {Value("2,345"), 2, 2.35}, {Value(), 2, 0},
                        {Value("abc"), 3, 0},     {Value(22.1311), 2, 22.13}, {Value(7), 0, 7}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(Euro(ctx, c.value, c.decimals), c.expected) << c.value.DebugString();
  }
  EXPECT_TRUE(ErrorLogLines().empty());
  EXPECT_EQ(Euro(ctx, Value(1e305), 2), 0);
  ASSERT_EQ(ErrorsFrom("Euro").size(), 1u);
  EXPECT_EQ(ErrorsFrom("Euro")[0], "04/12/2026 19:05:11 :Overflow. Oggetto: MODULO \\Euro");
}

TEST_F(SqlHelpersTest, ArrotondamentoValutaRoundsToTheStepHalvesToEven) {
  EXPECT_DOUBLE_EQ(ArrotondamentoValuta(ctx, 0.125, 0.25), 0);
  EXPECT_DOUBLE_EQ(ArrotondamentoValuta(ctx, 0.375, 0.25), 0.5);
  EXPECT_DOUBLE_EQ(ArrotondamentoValuta(ctx, 27.03, 0), 27.03);
  EXPECT_NEAR(ArrotondamentoValuta(ctx, 27.03, 0.05), 27.05, 1e-9);
  EXPECT_NEAR(ArrotondamentoValuta(ctx, 10.30, 0.5), 10.5, 1e-9);
}

TEST_F(SqlHelpersTest, CloseRSClosesOnceAndClearsTheReference) {
  auto rs = ctx.connDbLocale->OpenRecordset("select * from tabValute");
  CloseRS(rs);
  EXPECT_EQ(rs, nullptr);
  CloseRS(rs);
  auto closed = ctx.connDbLocale->OpenRecordset("select * from tabValute");
  closed->Close();
  CloseRS(closed);
  EXPECT_EQ(closed, nullptr);
}

TEST_F(SqlHelpersTest, ErrorEntriesHaveTheFixedFormatAndCrLf) {
  ctx.logs.ScriviLogErrore("Main", "boom");
  ctx.logs.ScriviLogErrore("Sleep2", "");
  auto lines = ErrorLogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "04/12/2026 19:05:11 :boom. Oggetto: MODULO \\Main");
  EXPECT_EQ(lines[1], "04/12/2026 19:05:11 :. Oggetto: MODULO \\Sleep2");
  std::string raw = testing_support::ReadFile(ctx.logs.ErrorLogPath());
  EXPECT_EQ(raw.substr(raw.size() - 2), "\r\n");
  // A log directory that does not exist: the error writer stays silent, the sync writer throws.
  Logs nowhere(dbs.dir.File("missing/dir"), clock);
  nowhere.ScriviLogErrore("x", "y");
  EXPECT_THROW(nowhere.ScriviLogSincro("z"), std::exception);
}

}  // namespace
}  // namespace velkaris
