// The scratch folder and the Python reader.
#include "tests/lablog/log_reader.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace ralvex::lab::test {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lablog-XXXXXX").string();
  path_ = mkdtemp(pattern.data()) ? pattern : "";
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

size_t ReadBack::Rows() const {
  return size_t(std::count_if(lines.begin(), lines.end(),
                              [](const std::string& line) { return line.rfind("row ", 0) == 0; }));
}

const char* FormatName(LogFormat format) {
  return format == LOG_CSV ? "csv" : format == LOG_JSONL ? "jsonl" : "sqlite";
}

ReadBack ReadLog(LogFormat format, const std::string& path) {
  std::string command = std::string("python3 '") + RALVEX_LABLOG_READER + "' " +
                        FormatName(format) + " '" + path + "' 2>&1";
  ReadBack result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  std::string line;
  while (fgets(buffer, sizeof buffer, pipe)) {
    line += buffer;
    if (line.back() != '\n') continue;
    line.pop_back();
    result.lines.push_back(line);
    line.clear();
  }
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace ralvex::lab::test
