// ralvex-tester's command line: --help and --version, and one line with a hint for anything bad.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"

namespace ralvex::e2e {
namespace {

struct TesterLineCase {
  std::vector<std::string> args;
  int code;
  const char* out;  // a part of standard output, or "" for none
  const char* err;  // a part of the one line on standard error, or "" for none
};

class TesterOptionsE2e : public E2eTest {};

TEST_F(TesterOptionsE2e, HelpVersionAndBadLines) {
  const TesterLineCase cases[] = {
      {{"--help"}, 0, "Usage: ralvex-tester", ""},
      {{"--version"}, 0, "0.", ""},
      {{"--bogus"}, 1, "", "--bogus"},
      {{"--config"}, 1, "", "--config"},
      {{"/dev/a", "/dev/b"}, 1, "", "/dev/b"},
      {{"--config", "/nonexistent/tester.toml"}, 1, "", "/nonexistent/tester.toml"},
  };
  for (const TesterLineCase& c : cases) {
    std::vector<std::string> command = {RALVEX_TESTER_BINARY};
    command.insert(command.end(), c.args.begin(), c.args.end());
    const RunResult r = RunCommand(command, "");
    SCOPED_TRACE(c.args.front());
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    if (c.code == 1) {
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
    }
  }
  const RunResult bad = RunCommand({RALVEX_TESTER_BINARY, "--bogus"}, "");
  EXPECT_NE(bad.err.find("--help"), std::string::npos);
}

}  // namespace
}  // namespace ralvex::e2e
