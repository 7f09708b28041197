// The command line as the program reads it: matching, arguments, validation and their messages.
#include <string>
#include <vector>

#include "e2e_support.h"

namespace ralvex::e2e {
namespace {

class Options : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    bench_ = WriteBench(TesterDevice("KORA4VLH7Y", BENCH_FIVE_PROFILES));
  }
  RunResult RunArgs(const std::vector<std::string>& args) { return Run(args, bench_); }

  // A command-line error: one message line, the usage text, the exit code, nothing on stdout.
  void ExpectRefused(const std::vector<std::string>& args, const std::string& message, int code) {
    const RunResult r = RunArgs(args);
    EXPECT_EQ(r.code, code) << args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, message + "\n" + UsageText()) << args[0];
  }
  std::string bench_;
};

TEST_F(Options, HelpInEveryCaseAndOnlyTheExactForms) {
  for (const char* help : {"-h", "-H", "--help", "--Help", "--HELP"}) {
    const RunResult r = RunArgs({help});
    EXPECT_EQ(r.code, 0) << help;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, UsageText()) << help;
  }
  for (const char* token : {"-help", "-cp", "--help=1", "h", "-"}) {
    ExpectRefused({token},
                  std::string("Error: unrecognized or incomplete command line (") + token + ")", 1);
  }
}

TEST_F(Options, EarlierTokensDecideFirst) {
  ExpectRefused({"-x", "-h"}, "Error: unrecognized or incomplete command line (-x)", 1);
  RunResult r = RunArgs({"-h", "-x"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, UsageText());
  r = RunArgs({"-f", "-l", "99999"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "0=KORA4VLH7Y\n");
  ExpectRefused({"-l", "99999", "-f"}, "Error: invalid argument 99999", 1);
}

TEST_F(Options, MissingArguments) {
  ExpectRefused({"-d"}, "-d/--device option requires one argument.", 1);
  ExpectRefused({"-c", "--INDEX"}, "-i/--index option requires one argument.", 1);
  ExpectRefused({"-v"}, "-v/--setprofile option requires one argument.", 1);
  ExpectRefused({"-L"}, "-l/--load option requires one argument.", 1);
  ExpectRefused({"-n"}, "-n/--defvolt option requires one argument.", 1);
  ExpectRefused({"-m"}, "-m/--defload option requires one argument.", 1);
  ExpectRefused({"-o"}, "-o/--maxload option requires one argument.", 1);
}

TEST_F(Options, DeviceArgumentThatIsNeitherSerialNorAny) {
  ExpectRefused({"-d", "-c"}, "Error: invalid argument -C", 1);
  ExpectRefused({"-d", ""}, "Error: invalid argument ", 1);
  ExpectRefused({"-d", "anyone"}, "Error: invalid argument ANYONE", 1);
}

TEST_F(Options, NumericArguments) {
  for (const char* ok : {"5000", "-0", "12ab", "0"}) {
    const RunResult r = RunArgs({"-l", ok});
    EXPECT_EQ(r.code, 0) << ok;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "") << ok;
  }
  for (const char* bad : {"5001", "05000", "abc", "-1", ""}) {
    ExpectRefused({"-l", bad}, std::string("Error: invalid argument ") + bad, 1);
  }
  EXPECT_EQ(RunArgs({"-n", "21000"}).code, 0);
  ExpectRefused({"-n", "21001"}, "Error: invalid argument 21001", 1);
  // Judged whole, never by their low 16 bits (70000 would be 4464, 86536 would be 21000).
  ExpectRefused({"-n", "70000"}, "Error: invalid argument 70000", 1);
  ExpectRefused({"-n", "86536"}, "Error: invalid argument 86536", 1);
  ExpectRefused({"-l", "70000"}, "Error: invalid argument 70000", 1);
  ExpectRefused({"-m", "5001"}, "Error: invalid argument 5001", 1);
  ExpectRefused({"-o", "65536"}, "Error: invalid argument 65536", 1);
  ExpectRefused({"-i", "1000"}, "Error: invalid argument 1000", 1);
  ExpectRefused({"-i", "x"}, "Error: invalid argument x", 1);
}

TEST_F(Options, ProfileVoltageThatTheRequestCannotCarry) {
  for (const char* text : {"5,70000", "5,99999999999", "5,-1"}) {
    ExpectRefused({"-v", text}, std::string("Error: invalid argument ") + text, 1);
  }
}

TEST_F(Options, ProfileIndexZeroOrUnreadable) {
  for (const char* text : {"0,5000", "256", "abc", "", "-3"}) {
    ExpectRefused({"-v", text}, std::string("Error: invalid profile ") + text, 4);
  }
}

}  // namespace
}  // namespace ralvex::e2e
