// What the lab log tests share: a scratch folder and the independent reader (read_log.py, Python's
// own csv, json and sqlite3 modules) run on a log the writers made.
#pragma once

#include <string>
#include <vector>

#include "lab/log/row_sink.h"

namespace ralvex::lab::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct ReadBack {
  int status = -1;                 // the reader's exit status: 0 when the log is sound
  std::vector<std::string> lines;  // its canonical lines, or its complaint
  size_t Rows() const;             // how many "row" lines
};

const char* FormatName(LogFormat format);
ReadBack ReadLog(LogFormat format, const std::string& path);

}  // namespace ralvex::lab::test
