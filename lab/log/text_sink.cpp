// CSV and JSON Lines. Every row is formatted whole in memory and only whole lines are handed to
// the output, so a kill leaves complete lines behind. A live output (a pipe or a terminal) gets
// each row as it comes; a file gets what has gathered on Flush, or as soon as a batch is large.
#include <memory>

#include "lab/log/output_fd.h"
#include "lab/log/row_fields.h"
#include "lab/log/sinks.h"

namespace ralvex::lab {
namespace {

// A batch this large goes out without waiting for Flush.
constexpr size_t BATCH_BYTES = 16 * 1024;

std::string CsvHeader() {
  std::string line;
  for (const char* name : LOG_COLUMNS) line += (line.empty() ? "" : ",") + std::string(name);
  return line + "\n";
}

std::string CsvLine(const RowFieldArray& fields) {
  std::string line;
  for (const Field& field : fields) line += (line.empty() ? "" : ",") + FieldText(field);
  return line + "\n";
}

std::string JsonLine(const RowFieldArray& fields) {
  return RowJson(fields) + "\n";
}

class TextSink final : public RowSink {
 public:
  TextSink(LogFormat format, std::unique_ptr<OutputFd> out)
      : format_(format), out_(std::move(out)), live_(out_->IsLive()) {}
  ~TextSink() override { Flush(); }

  bool Start() { return format_ != LOG_CSV || Put(CsvHeader()); }

  bool Write(const LogRow& row) override {
    if (failed_) return false;
    std::string fault = RowFault(row);
    if (!fault.empty()) return Refuse(fault);
    RowFieldArray fields = RowFields(row);
    return Put(format_ == LOG_CSV ? CsvLine(fields) : JsonLine(fields));
  }

  bool Flush() override {
    if (failed_) return false;
    failed_ = !out_->WriteAll(pending_, &error_);
    pending_.clear();
    return !failed_;
  }

  bool Finish(const std::string&) override { return Flush(); }
  std::string Error() const override { return error_; }

 private:
  bool Put(const std::string& line) {
    pending_ += line;
    return live_ || pending_.size() >= BATCH_BYTES ? Flush() : true;
  }
  bool Refuse(const std::string& why) {
    error_ = why;
    return false;
  }

  LogFormat format_;
  std::unique_ptr<OutputFd> out_;
  bool live_;
  bool failed_ = false;
  std::string pending_;
  std::string error_;
};

}  // namespace

std::unique_ptr<RowSink> OpenTextSink(LogFormat format, const std::string& path,
                                      std::string* error) {
  auto out = std::make_unique<OutputFd>();
  if (!path.empty() && !out->Open(path, error)) return nullptr;
  auto sink = std::make_unique<TextSink>(format, std::move(out));
  if (!sink->Start()) {
    *error = sink->Error();
    return nullptr;
  }
  return sink;
}

}  // namespace ralvex::lab
