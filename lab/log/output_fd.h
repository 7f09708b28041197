// The log's byte output: a file descriptor that takes whole batches of rows. This is the only file
// of lab/log whose implementation differs by operating system (output_fd.cpp): the POSIX calls and
// their Windows runtime counterparts are chosen there and nowhere else.
#pragma once

#include <string>
#include <string_view>

namespace ralvex::lab {

class OutputFd {
 public:
  // Standard output; never closed.
  OutputFd();
  OutputFd(const OutputFd&) = delete;
  OutputFd& operator=(const OutputFd&) = delete;
  ~OutputFd();

  // Creates or truncates the file at `path`. False with *error set when it cannot.
  bool Open(const std::string& path, std::string* error);
  // A pipe, socket or terminal: someone reads it as it comes, so rows must not wait in a buffer.
  bool IsLive() const;
  // Hands all of `bytes` to the system, looping over short writes and interrupted calls. False
  // with *error set (naming the output and the system's reason: a full disk, a closed pipe).
  bool WriteAll(std::string_view bytes, std::string* error);
  const std::string& Name() const { return name_; }

 private:
  int fd_;
  bool owned_ = false;
  std::string name_;
};

}  // namespace ralvex::lab
