// The actions' tests: the scripted session (tests/testers/fake_session.h), and RunAction, which
// scans a command line and carries out its action on the fake, capturing what the action printed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "cli/actions.h"
#include "tests/cli/capture.h"
#include "tests/testers/fake_session.h"

namespace ralvex::cli::test_support {

using testers::test_support::FakeSession;

struct ActionRun {
  int code = -1;
  std::string out;
  std::string err;
};

// "ralvex" + args scanned against one listed tester, then the chosen action on `session`. A
// command line the scan refuses gives code -1 and the scan's messages.
inline ActionRun RunAction(TesterSession& session, std::initializer_list<const char*> args) {
  TesterList testers;
  std::snprintf(testers.serials[0], TESTER_SERIAL_SIZE, "%s", "KORA4VLH7Y");
  testers.count = 1;
  std::vector<const char*> argv = {"ralvex"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ActionRun run;
  RunOptions options;
  if (ScanArguments(static_cast<int>(argv.size()), argv.data(), testers, options, err).outcome ==
      SCAN_RUN) {
    run.code = CarryOutAction(session, options, "ralvex", out, err);
  }
  run.out = ReadAndClose(out);
  run.err = ReadAndClose(err);
  return run;
}

}  // namespace ralvex::cli::test_support
