// Runs a printer against a temporary stream and returns what it wrote.
#pragma once

#include <cstdio>
#include <string>

namespace ralvex::cli::test_support {

// Everything written to the temporary stream `f`, which is closed.
inline std::string ReadAndClose(std::FILE* f) {
  if (f == nullptr) return "<tmpfile failed>";
  std::string text;
  std::rewind(f);
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  return text;
}

template <typename Print>
std::string Capture(Print print) {
  std::FILE* f = std::tmpfile();
  if (f == nullptr) return "<tmpfile failed>";
  print(f);
  return ReadAndClose(f);
}

}  // namespace ralvex::cli::test_support
