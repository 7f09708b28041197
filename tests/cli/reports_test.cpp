#include "cli/reports.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "testers/profile_types.h"
#include "tests/cli/capture.h"

namespace ralvex::cli {
namespace {

using test_support::Capture;
using testers::ProfileTypeName;

std::string Connection(const link::ConnectionReply& r) {
  return Capture([&](std::FILE* f) { PrintConnectionReport(f, r); });
}

std::string Profiles(const link::ProfileList& l, uint8_t versionLevel) {
  return Capture([&](std::FILE* f) { PrintProfileReport(f, l, versionLevel); });
}

std::string Stats(const link::StatsReply& r) {
  return Capture([&](std::FILE* f) { PrintStatsReport(f, r); });
}

link::ProfileList ListOf(std::initializer_list<link::ProfileEntry> entries) {
  link::ProfileList l{};
  for (const auto& e : entries) l.entries[l.count++] = e;
  return l;
}

TEST(ProfileTypeNames, TableAndOutOfRange) {
  EXPECT_STREQ(ProfileTypeName(0, 0), "LEGACY");
  EXPECT_STREQ(ProfileTypeName(1, 0), "PTY");
  EXPECT_STREQ(ProfileTypeName(2, 2), "BC-DCP");
  EXPECT_STREQ(ProfileTypeName(3, 1), "QC2");
  EXPECT_STREQ(ProfileTypeName(4, 0), "USBC-1.5A");
  EXPECT_STREQ(ProfileTypeName(5, 3), "PD-APDO");
  EXPECT_STREQ(ProfileTypeName(0, 2), "UNKNOWN");
  EXPECT_STREQ(ProfileTypeName(5, 4), "UNKNOWN");  // index 24
  EXPECT_STREQ(ProfileTypeName(6, 0), "UNKNOWN");
  EXPECT_STREQ(ProfileTypeName(255, 255), "UNKNOWN");
  EXPECT_STREQ(ProfileTypeName(~0u, ~0u), "UNKNOWN");  // no wrap back into the table
}

TEST(ConnectionReport, ConnectedExample) {
  EXPECT_EQ(Connection({1, 2, 5, 0, 9000, 3000, 27000}),
            "STATUS:CONNECTED\n"
            "PROFILE INDEX:2\n"
            "PROFILE TYPE:PD-FIX\n"
            "SET VOLTAGE:9000mV\n"
            "MAX CURRENT:3000mA\n"
            "MAX POWER:27000mW\n");
}

TEST(ConnectionReport, AnyStatusButOneIsNotConnected) {
  for (uint8_t status : {0, 2, 255})
    EXPECT_EQ(Connection({status, 2, 5, 0, 9000, 3000, 27000}), "STATUS:NOT CONNECTED\n");
}

TEST(ConnectionReport, TypeNamesAndFullWidthValues) {
  const std::string apdo = Connection({1, 0, 5, 3, 0, 0, 100000});
  EXPECT_NE(apdo.find("PROFILE TYPE:PD-APDO\n"), std::string::npos);
  EXPECT_NE(apdo.find("MAX POWER:100000mW\n"), std::string::npos);
  EXPECT_NE(Connection({1, 0, 0, 2, 0, 0, 0}).find("PROFILE TYPE:UNKNOWN\n"), std::string::npos);
  // Beyond the table.
  EXPECT_NE(Connection({1, 0, 9, 0, 0, 0, 0}).find("PROFILE TYPE:UNKNOWN\n"), std::string::npos);
  EXPECT_NE(Connection({1, 0, 5, 200, 0, 0, 0}).find("PROFILE TYPE:UNKNOWN\n"), std::string::npos);

  EXPECT_EQ(Connection({1, 255, 3, 2, 65535, 65535, 4294967295u}),
            "STATUS:CONNECTED\n"
            "PROFILE INDEX:255\n"
            "PROFILE TYPE:QC3\n"
            "SET VOLTAGE:65535mV\n"
            "MAX CURRENT:65535mA\n"
            "MAX POWER:4294967295mW\n");
}

TEST(ProfileReport, FixedAndRangedEntries) {
  const auto list = ListOf({
      {0x0051, 0, 5000, 3000},      // PD-FIX
      {0x0150, 0, 9000, 2000},      // PD-BAT
      {0x0030, 3600, 12000, 1500},  // QC1, ranged
      {0x0043, 0, 5000, 1500},      // USBC-1.5A
      {0x0355, 3300, 11000, 3000},  // PD-APDO
  });
  EXPECT_EQ(Profiles(list, 20),
            "NUM PROFILES:5\n"
            "INDEX:1,TYPE:PD-FIX,V:5000mV,I:3000mA\n"
            "INDEX:2,TYPE:PD-BAT,V:9000mV,I:2000mA\n"
            "INDEX:3,TYPE:QC1,V:3600-12000mV,I:1500mA\n"
            "INDEX:4,TYPE:USBC-1.5A,V:5000mV,I:1500mA\n"
            "INDEX:5,TYPE:PD-APDO,V:3300-11000mV,I:3000mA\n");
  EXPECT_EQ(Profiles(list, 19),
            "NUM PROFILES:5\n"
            "INDEX:1,TYPE:PD-FIX,V:5000mV,I:3000mA\n"
            "INDEX:2,TYPE:PD-BAT,V:9000mV,I:2000mA\n"
            "Unknown profile\n"
            "INDEX:4,TYPE:USBC-1.5A,V:5000mV,I:1500mA\n"
            "Unknown profile\n");
}

TEST(ProfileReport, ApdoAtTheVersionBoundary) {
  const auto list = ListOf({{0x0352, 5000, 21000, 5000}});
  EXPECT_EQ(Profiles(list, 19), "NUM PROFILES:1\nUnknown profile\n");
  EXPECT_EQ(Profiles(list, 20), "NUM PROFILES:1\nINDEX:1,TYPE:PD-APDO,V:5000-21000mV,I:5000mA\n");
  EXPECT_EQ(Profiles(list, 255), "NUM PROFILES:1\nINDEX:1,TYPE:PD-APDO,V:5000-21000mV,I:5000mA\n");
}

TEST(ProfileReport, EmptyListIsOneLine) {
  EXPECT_EQ(Profiles({}, 20), "NUM PROFILES:0\n");
}

TEST(ProfileReport, CountAboveSevenShowsTheSevenEntries) {
  link::ProfileList list{};
  for (int i = 0; i < 7; ++i) list.entries[i] = {0x0051, 0, 5000, static_cast<uint16_t>(i)};
  list.count = 12;
  const std::string text = Profiles(list, 20);
  EXPECT_EQ(text.rfind("NUM PROFILES:12\n", 0), 0u);
  EXPECT_NE(text.find("INDEX:7,TYPE:PD-FIX,V:5000mV,I:6mA\n"), std::string::npos);
  EXPECT_EQ(text.find("INDEX:8"), std::string::npos);
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 8u);
}

TEST(ProfileReport, ClassBeyondTheTableIsUnknown) {
  // Class 15 subtype 7: index 67 into a 24-entry table.
  const auto list = ListOf({{0x07F1, 0, 5000, 100}});
  EXPECT_EQ(Profiles(list, 20), "NUM PROFILES:1\nINDEX:1,TYPE:UNKNOWN,V:5000mV,I:100mA\n");
}

TEST(StatsReport, LinesAndByteRange) {
  EXPECT_EQ(Stats({0, 25, 5000, 1000, 998, 0}),
            "TEMP:25C\n"
            "VOLTAGE:5000mV\n"
            "SET CURRENT:1000mA\n"
            "MEASURED CURRENT:998mA\n"
            "LOOPBACK CURRENT:0mA\n");
  EXPECT_EQ(Stats({0, 0xFF, 65535, 65535, 65535, 65535}),
            "TEMP:255C\n"
            "VOLTAGE:65535mV\n"
            "SET CURRENT:65535mA\n"
            "MEASURED CURRENT:65535mA\n"
            "LOOPBACK CURRENT:65535mA\n");
}

}  // namespace
}  // namespace ralvex::cli
