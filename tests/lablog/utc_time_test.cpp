// The log's time stamps: the one form written, and that form alone read back.
#include <gtest/gtest.h>

#include "lab/log/log_row.h"

namespace ralvex::lab {
namespace {

using namespace std::chrono;

struct FormatCase {
  system_clock::time_point time;
  const char* text;
};

const FormatCase FORMAT_CASES[] = {
    {sys_days{1970y / 1 / 1}, "1970-01-01T00:00:00.000Z"},
    {sys_days{2026y / 12 / 8} + 23h + 44min + 3s + 123ms, "2026-12-08T23:44:03.123Z"},
    {sys_days{2024y / 2 / 29} + 12h + 1ms, "2024-02-29T12:00:00.001Z"},
    {sys_days{2000y / 2 / 29} + 23h + 59min + 59s + 999ms, "2000-02-29T23:59:59.999Z"},
    {sys_days{2100y / 3 / 1}, "2100-03-01T00:00:00.000Z"},
    {sys_days{1970y / 1 / 1} - 1ms, "1969-12-31T23:59:59.999Z"},
};

TEST(UtcTime, FormatsAndReadsBack) {
  for (const FormatCase& c : FORMAT_CASES) {
    EXPECT_EQ(FormatUtc(c.time), c.text);
    EXPECT_EQ(ParseUtc(c.text), c.time) << c.text;
  }
}

TEST(UtcTime, DropsWhatIsBelowAMillisecond) {
  auto time = sys_days{2026y / 12 / 8} + 3s + 123ms;
  EXPECT_EQ(FormatUtc(time + 999us), "2026-12-08T00:00:03.123Z");
  EXPECT_EQ(FormatUtc(sys_days{1970y / 1 / 1} - 1us), "1969-12-31T23:59:59.999Z");
}

TEST(UtcTime, RefusesEveryOtherForm) {
  const char* const refused[] = {
      "",
      "2026-12-08T23:44:03.123",    // no Z
      "2026-12-08T23:44:03Z",       // no milliseconds
      "2026-12-08T23:44:03.12Z",    // two digits
      "2026-12-08T23:44:03.1234Z",  // four digits
      "2026-12-08t23:44:03.123z",   // lower case
      "2026-12-08 23:44:03.123Z",   // a space for the T
      "2026-12-08T23:44:03.123+00:00",
      " 2026-12-08T23:44:03.123Z",
      "2026-12-08T23:44:03.123Z ",
      "2026-12-08T23:44:03.123ZZ",
      "+2026-12-08T23:44:03.123Z",
      "2026-1-08T23:44:03.1234Z",  // a digit moved
      "2026-12-08T23:44:-3.123Z",
      "2026-12-08T23:44:0x.123Z",
      "99999999999999999999-12-08T23:44:03.123Z",
      "2026-12-08T99999999999999999999:03.123Z",
      "2023-02-29T00:00:00.000Z",  // not a leap year
      "2100-02-29T00:00:00.000Z",
      "1900-02-29T00:00:00.000Z",
      "2026-13-01T00:00:00.000Z",
      "2026-00-10T00:00:00.000Z",
      "2026-04-31T00:00:00.000Z",
      "2026-12-00T00:00:00.000Z",
      "2026-12-32T00:00:00.000Z",
      "2026-12-08T24:00:00.000Z",
      "2026-12-08T23:60:00.000Z",
      "2026-12-08T23:59:60.000Z",  // leap seconds are not written
      "garbage",
      "\xd9\xa2\xd9\xa0\xd9\xa2\xd9\xa6-12-08T23:44:03.123Z",  // digits of another script
  };
  for (const char* text : refused) EXPECT_EQ(ParseUtc(text), std::nullopt) << text;
  EXPECT_EQ(ParseUtc(std::string_view("2026-12-08T23:44:03.12\0Z", 24)), std::nullopt);
}

// Four digits of year reach past what the clock can hold on some platforms: such a time is
// refused, never wrapped around.
TEST(UtcTime, FarYearsAreExactOrRefused) {
  const char* const far[] = {"0000-01-01T00:00:00.000Z", "0001-01-01T00:00:00.000Z",
                             "1677-09-21T00:12:43.145Z", "2262-04-11T23:47:16.854Z",
                             "9999-12-31T23:59:59.999Z"};
  for (const char* text : far) {
    auto time = ParseUtc(text);
    if (time) {
      EXPECT_EQ(FormatUtc(*time), text);
    }
  }
  EXPECT_NE(ParseUtc("2200-01-01T00:00:00.000Z"), std::nullopt);
}

}  // namespace
}  // namespace ralvex::lab
