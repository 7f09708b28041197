// ralvex-lab's command line parsed as a test gives it: what came of it and what it wrote.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "lab/lab_options.h"
#include "tests/cli/capture.h"

namespace ralvex::lab::test_support {

struct Parsed {
  ParsedCommandLine result;
  std::string out;
  std::string err;
};

// `args` come after the program's name.
inline Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "ralvex-lab");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  Parsed parsed;
  std::FILE* out = std::tmpfile();
  parsed.err = cli::test_support::Capture([&](std::FILE* err) {
    parsed.result = ParseLabCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
  });
  parsed.out = cli::test_support::ReadAndClose(out);
  return parsed;
}

}  // namespace ralvex::lab::test_support
