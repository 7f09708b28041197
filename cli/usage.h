#pragma once

#include <cstdio>

namespace ralvex::cli {

// The help text; the front end passes stderr. `programName` is argv[0] as typed (null prints as
// empty).
void PrintUsage(std::FILE* out, const char* programName);

}  // namespace ralvex::cli
