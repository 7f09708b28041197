// `ralvex-lab verify` as a command: the report files made ready before anything changes on the
// tester, the run, then the table on standard output and the JSON and HTML files.
#pragma once

#include <cstddef>
#include <string>

#include "lab/lab_run.h"
#include "lab/verify_options.h"
#include "testers/tester_session.h"

namespace ralvex::lab {

struct TesterPlace {
  std::string serial;
  std::size_t index = 0;
};

int RunVerifyCommand(testers::TesterSession& tester, const VerifyOptions& options,
                     const TesterPlace& place, const LabEnvironment& env);

}  // namespace ralvex::lab
