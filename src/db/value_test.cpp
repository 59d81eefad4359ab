#include "db/value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace db {
namespace {

TEST(ValueConversions, CLngRoundsHalfToEvenAndFailsLikeThePlatform) {
  struct Case { Value in; int32_t out; };
  const Case cases[] = {{Value(2.5), 2},   {Value(3.5), 4},     {Value(-2.5), -2},
                        {Value(0.5), 0},   {Value(1.5), 2},     {Value("12"), 12},
                        {Value("1.234"), 1234}, {Value("7,5"), 8}, {Value(true), -1},
                        {Value(int64_t{42}), 42}, {Value(" -3 "), -3}};
  for (const auto& c : cases) EXPECT_EQ(CLng(c.in), c.out) << c.in.DebugString();

  try {
    CLng(Value());
    FAIL() << "Null must not convert";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), 94);
    EXPECT_STREQ(e.what(), "Invalid use of Null");
  }
  EXPECT_THROW(CLng(Value("abc")), VbError);
  EXPECT_THROW(CLng(Value("")), VbError);
  EXPECT_THROW(CLng(Value(2147483648.0)), VbError);
  EXPECT_EQ(CLng(Value(2147483647.4)), 2147483647);
  EXPECT_THROW(CInt(Value(40000)), VbError);
  EXPECT_EQ(CInt(Value("-32768")), -32768);
}

TEST(ValueConversions, TextAndNumbersUseDecimalCommaBothWays) {
  EXPECT_EQ(CStr(Value(1234.5)), "1234,5");
  EXPECT_EQ(CStr(Value(0.1 + 0.2)), "0,3");
  EXPECT_EQ(CStr(Value(-2.0)), "-2");
  EXPECT_EQ(CStr(Value(1e15)), "1E+15");
  EXPECT_EQ(CStr(Value(0.00001)), "1E-05");
  EXPECT_EQ(CStr(Value(12)), "12");
  EXPECT_EQ(CStr(Value(true)), "True");
  EXPECT_EQ(CStr(Value(false)), "False");
  EXPECT_THROW(CStr(Value()), VbError);
  for (double d : {0.0, 1.5, -1234.5678, 22.13, 1e-3, 123456789.25}) {
    EXPECT_EQ(CDbl(Value(CStr(Value(d)))), d) << d;
  }
  EXPECT_DOUBLE_EQ(CDbl(Value("1.234,50")), 1234.5);
  EXPECT_DOUBLE_EQ(CDbl(Value("1,5E+2")), 150);
  EXPECT_TRUE(IsNumeric(Value("  12,5 ")));
  EXPECT_TRUE(IsNumeric(Value(true)));
  EXPECT_FALSE(IsNumeric(Value()));
  EXPECT_FALSE(IsNumeric(Value("12a")));
  EXPECT_FALSE(IsNumeric(Value("")));
  EXPECT_FALSE(IsNumeric(Value(Date::FromParts(2026, 12, 4))));
}

TEST(ValueConversions, BooleansFollowThePlatform) {
  EXPECT_TRUE(CBool(Value("True")));
  EXPECT_FALSE(CBool(Value("false")));
  EXPECT_TRUE(CBool(Value(-1)));
  EXPECT_TRUE(CBool(Value("1")));
  EXPECT_FALSE(CBool(Value(0.0)));
  EXPECT_THROW(CBool(Value("yes")), VbError);
  EXPECT_THROW(CBool(Value()), VbError);
}

TEST(ValueDates, PrintAsDateTimeOrAlone) {
  Date full = Date::FromParts(2026, 12, 4, 19, 5, 11);
  EXPECT_EQ(CStr(Value(full)), "04/12/2026 19:05:11");
  EXPECT_EQ(CStr(Value(Date::FromParts(2026, 12, 4))), "04/12/2026");
  EXPECT_EQ(CStr(Value(Date::FromParts(1899, 12, 30, 19, 5, 11))), "19:05:11");
  EXPECT_EQ(Date::FromParts(1899, 12, 30).serial, 0);
  EXPECT_EQ(CStr(Value(Date{0})), "00:00:00");  // midnight of the zero day is a time
  EXPECT_EQ(Date::FromParts(1900, 1, 1).serial, 2);
  EXPECT_EQ(ToIso(full), "2026-12-04 19:05:11");
  EXPECT_EQ(ToIso(Date::FromParts(2026, 12, 4, 1, 2, 3, 45)), "2026-12-04 01:02:03.045");
}

TEST(ValueDates, DataAndOraConcatenateBackIntoOneDate) {
  Value data(Date::FromParts(2026, 12, 4));
  Value ora(Date::FromParts(1899, 12, 30, 19, 5, 11));
  Date joined = CDate(Value(CStr(data) + " " + CStr(ora)));
  EXPECT_EQ(CStr(Value(joined)), "04/12/2026 19:05:11");
  EXPECT_TRUE(IsDate(Value("31/12/2025 23:59:59")));
  EXPECT_TRUE(IsDate(Value("2026-12-04 19:05:11.250")));
  EXPECT_FALSE(IsDate(Value("31/02/2026")));
  EXPECT_FALSE(IsDate(Value("04/12/2026 04/12/2026 19:05:11")));
  EXPECT_FALSE(IsDate(Value("")));
  EXPECT_FALSE(IsDate(Value(12)));
  EXPECT_THROW(CDate(Value("tomorrow")), VbError);
  Date d;
  ASSERT_TRUE(ParseIso("19:05:11", &d));
  EXPECT_EQ(CStr(Value(d)), "19:05:11");
  ASSERT_TRUE(ParseDate("04/12/2026 00.00:00", &d));
  EXPECT_EQ(CStr(Value(d)), "04/12/2026");
}

TEST(ValueFormats, NumberPatternsGroupThousandsAndRoundHalfAwayFromZero) {
  EXPECT_EQ(FormatNumber(1234.5, "###,##0.00"), "1.234,50");
  EXPECT_EQ(FormatNumber(7, "###,##0"), "7");
  EXPECT_EQ(FormatNumber(0, "###,##0.00"), "0,00");
  EXPECT_EQ(FormatNumber(2.5, "###,##0"), "3");
  EXPECT_EQ(FormatNumber(-2.5, "###,##0"), "-3");
  EXPECT_EQ(FormatNumber(1.005, "###,##0.00"), "1,01");
  EXPECT_EQ(FormatNumber(1234567.891, "###,###,##0.000"), "1.234.567,891");
  EXPECT_EQ(FormatNumber(-0.001, "###,##0.00"), "0,00");
  EXPECT_EQ(FormatNumber(0.5, "###,##0."), "1");
}

// Numbers and dates are written without printf; the texts must stay what printf wrote.
TEST(ValueFormats, NumbersAndDatesReadAsPrintfWroteThem) {
  char buf[64];
  uint64_t seed = 88172645463325252ull;
  auto next = [&] { return seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17; };
  for (int i = 0; i < 20000; ++i) {
    double d = static_cast<double>(static_cast<int64_t>(next() % 2000000001) - 1000000000) /
               std::pow(10.0, static_cast<int>(next() % 12)) * (i % 7 == 0 ? 1e12 : 1);
    std::snprintf(buf, sizeof buf, "%.15G", d);
    std::string expected = d == 0 ? "0" : buf;
    std::replace(expected.begin(), expected.end(), '.', ',');
    ASSERT_EQ(FormatDouble(d), expected) << d;
  }
  for (int i = 0; i < 5000; ++i) {
    int y = 1900 + static_cast<int>(next() % 200), mo = 1 + static_cast<int>(next() % 12);
    int da = 1 + static_cast<int>(next() % 28), h = static_cast<int>(next() % 24);
    int mi = static_cast<int>(next() % 60), se = static_cast<int>(next() % 60),
        ms = i % 3 ? 0 : static_cast<int>(next() % 1000);
    Date date = Date::FromParts(y, mo, da, h, mi, se, ms);
    Date::Parts p = date.ToParts();
    int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                          p.second);
    if (p.millisecond) std::snprintf(buf + n, sizeof buf - n, ".%03d", p.millisecond);
    ASSERT_EQ(ToIso(date), buf);
  }
  for (double d : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                   std::numeric_limits<double>::quiet_NaN()}) {
    std::snprintf(buf, sizeof buf, "%.15G", d);
    EXPECT_EQ(FormatDouble(d), buf);
  }
  EXPECT_EQ(FormatPattern(Date::FromParts(987, 3, 4, 5, 6, 7), "yyyy/MM/dd hh.mm.ss"), "0987/03/04 05.06.07");
}

}  // namespace
}  // namespace db
