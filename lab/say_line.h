// One line for the user on standard error (an error, or how a run ended), flushed at once, and the
// exit code it goes with, so that a run can end with `return Say(err, code, line);`.
#pragma once

#include <cstdio>
#include <string>

namespace ralvex::lab {

inline int Say(std::FILE* err, int code, const std::string& line) {
  std::fprintf(err, "%s\n", line.c_str());
  std::fflush(err);
  return code;
}

}  // namespace ralvex::lab
