// Finding testers among bridge devices and choosing one: -f, -d, -i and the start-up scan.
#include <string>

#include "e2e_support.h"

namespace ralvex::e2e {
namespace {

class Discovery : public E2eTest {};

TEST_F(Discovery, NoBenchMeansNoTesterWhateverTheOptions) {
  for (const char* option : {"-h", "-f"}) {
    const RunResult r = Run({option}, "");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error: Device not found.0\n");
  }
}

TEST_F(Discovery, OnlyUpperCaseKoraSerialsAreTesters) {
  const std::string bench = WriteBench(
      "[[device]]\nserial = \"FT2H0001\"\nchip = \"2232H\"\npeer = \"loopback\"\n\n"
      "[[device]]\nserial = \"kora1234\"\npeer = \"tester\"\n\n" +
      TesterDevice("KORA4VLH7Y") + "[[device]]\nserial = \"XKORA001\"\npeer = \"silent\"\n\n" +
      TesterDevice("KORA91C2ZP"));
  RunResult r = Run({"-f"}, bench);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "0=KORA4VLH7Y\n1=KORA91C2ZP\n");
  EXPECT_EQ(r.err, "");

  // Neither the lower-case one nor the foreign adapter can be named.
  r = Run({"-d", "kora1234", "-c"}, bench);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "Error: Device not found.\n");
  r = Run({"-d", "FT2H0001"}, bench);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "Error: invalid argument FT2H0001\n" + UsageText());
}

TEST_F(Discovery, OnlyNonTestersMeansNoTester) {
  const std::string bench = WriteBench(
      "[[device]]\nserial = \"kora1234\"\npeer = \"tester\"\n\n"
      "[[device]]\nserial = \"A1B2C3D4\"\nchip = \"232H\"\n");
  const RunResult r = Run({"-f"}, bench);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "Error: Device not found.0\n");
}

class TwoTesters : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    bench_ = WriteBench(TesterDevice("KORA4VLH7Y", BENCH_FIVE_PROFILES) +
                        TesterDevice("KORA8QZ2M4",
                                     "profiles = [\n"
                                     "  { type = \"PD-FIX\", voltage = 5000, current = 2000 },\n"
                                     "  { type = \"PD-FIX\", voltage = 12000, current = 1500 },\n"
                                     "]\n"));
  }
  std::string bench_;
};

constexpr const char* EXPECTED_FIRST_TESTER_COUNT_LINE = "NUM PROFILES:5\n";
constexpr const char* EXPECTED_SECOND_TESTER_REPORT =
    "NUM "
    "PROFILES:2\nINDEX:1,TYPE:PD-FIX,V:5000mV,I:2000mA\nINDEX:2,TYPE:PD-FIX,V:12000mV,I:1500mA\n";

TEST_F(TwoTesters, ListingAndSelectionByIndex) {
  RunResult r = Run({"--FIND"}, bench_);
  EXPECT_EQ(r.out, "0=KORA4VLH7Y\n1=KORA8QZ2M4\n");

  r = Run({"-i", "1", "-p"}, bench_);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, EXPECTED_SECOND_TESTER_REPORT);

  r = Run({"-p"}, bench_);  // no selection: the first tester
  EXPECT_EQ(r.out.rfind(EXPECTED_FIRST_TESTER_COUNT_LINE, 0), 0u);
}

TEST_F(TwoTesters, SelectionBySerialNumberInAnyCase) {
  RunResult r = Run({"-d", "kora8qz2m4", "-p"}, bench_);
  EXPECT_EQ(r.out, EXPECTED_SECOND_TESTER_REPORT);

  for (const char* any : {"any", "Any", "ANY"}) {
    r = Run({"-i", "1", "-d", any, "-p"}, bench_);
    EXPECT_EQ(r.out.rfind(EXPECTED_FIRST_TESTER_COUNT_LINE, 0), 0u) << any;
  }
  r = Run({"-d", "KORA8QZ2M4", "-i", "0", "-p"}, bench_);  // the later selection wins
  EXPECT_EQ(r.out.rfind(EXPECTED_FIRST_TESTER_COUNT_LINE, 0), 0u);
}

TEST_F(TwoTesters, SerialNumbersThatNameNoTester) {
  for (const char* text : {"xyzKORA1", "KORA8QZ2M", "KORA8QZ2M4X", "KORA8QZ2M4KORA8QZ2M4"}) {
    const RunResult r = Run({"-d", text, "-s"}, bench_);
    EXPECT_EQ(r.code, 3) << text;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error: Device not found.\n") << text;
  }
}

TEST_F(TwoTesters, IndexBeyondTheTestersFailsAsAnOpenDoes) {
  for (const char* index : {"2", "31", "32", "255", "256", "-1"}) {
    const RunResult r = Run({"-i", index, "-s"}, bench_);
    EXPECT_EQ(r.code, 3) << index;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error: Device not found.2\n") << index;
  }
}

TEST_F(Discovery, TesterHeldOpenElsewhereIsLeftOut) {
  std::string bench =
      WriteBench("[[device]]\nserial = \"KORABUSY01\"\npeer = \"tester\"\nheld_open = true\n\n" +
                 TesterDevice("KORAFREE02"));
  RunResult r = Run({"-f"}, bench);
  EXPECT_EQ(r.out, "0=KORAFREE02\n");
  r = Run({"-d", "KORABUSY01", "-c"}, bench);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "Error: Device not found.\n");
  r = Run({"-c"}, bench);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind("STATUS:CONNECTED\n", 0), 0u);

  // With the only tester held open, even -f finds nothing.
  bench = WriteBench("[[device]]\nserial = \"KORABUSY01\"\npeer = \"tester\"\nheld_open = true\n",
                     "busy.toml");
  r = Run({"-f"}, bench);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: Device not found.0\n");
}

TEST_F(Discovery, MoreThanThirtyTwoTestersListsTheFirstThirtyTwo) {
  std::string body;
  for (int i = 0; i < 34; ++i) {
    body += "[[device]]\nserial = \"KORA" + std::to_string(1000 + i) + "\"\npeer = \"silent\"\n\n";
  }
  const std::string bench = WriteBench(body);
  RunResult r = Run({"-f"}, bench);
  EXPECT_EQ(r.code, 0);
  std::string expected;
  for (int i = 0; i < 32; ++i)
    expected += std::to_string(i) + "=KORA" + std::to_string(1000 + i) + "\n";
  EXPECT_EQ(r.out, expected);

  r = Run({"-d", "KORA1033", "-s"}, bench);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "Error: Device not found.\n");
  r = Run({"-i", "32", "-s"}, bench);
  EXPECT_EQ(r.err, "Error: Device not found.32\n");
}

TEST_F(Discovery, UnusableBenchFileIsReportedAndNothingIsAttached) {
  const std::string bench = WriteBench("[[device]]\nserail = \"KORA1\"\n");
  const RunResult r = Run({"-f"}, bench);
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.err.find("bench.toml:"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Error: Device not found.0\n"), std::string::npos);
}

}  // namespace
}  // namespace ralvex::e2e
