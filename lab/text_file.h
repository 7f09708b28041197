// A report file written whole: the file `path` made to hold `text` and nothing else. False when it
// could not be written; the caller names the file in its error line.
#pragma once

#include <fstream>
#include <string>

namespace ralvex::lab {

inline bool WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::trunc);
  file << text;
  return static_cast<bool>(file.flush());
}

}  // namespace ralvex::lab
