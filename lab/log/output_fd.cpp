// The one place where lab/log meets the operating system: open, write and the kind of output.
#include "lab/log/output_fd.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ralvex::lab {
namespace {

#ifdef _WIN32
int OpenForWriting(const char* path) {
  return _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long WriteSome(int fd, const char* data, size_t size) {
  return _write(fd, data, static_cast<unsigned>(size > 0x40000000 ? 0x40000000 : size));
}
bool IsTerminalOrPipe(int fd) {
  struct _stat64 st {};
  return _isatty(fd) || (_fstat64(fd, &st) == 0 && (st.st_mode & _S_IFIFO) != 0);
}
void CloseFd(int fd) {
  _close(fd);
}
#else
int OpenForWriting(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}
long WriteSome(int fd, const char* data, size_t size) {
  return write(fd, data, size);
}
bool IsTerminalOrPipe(int fd) {
  struct stat st {};
  return isatty(fd) || (fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)));
}
void CloseFd(int fd) {
  close(fd);
}
#endif

}  // namespace

OutputFd::OutputFd() : fd_(1), name_("standard output") {}

OutputFd::~OutputFd() {
  if (owned_) CloseFd(fd_);
}

bool OutputFd::Open(const std::string& path, std::string* error) {
  name_ = path;
  fd_ = OpenForWriting(path.c_str());
  owned_ = fd_ >= 0;
  if (!owned_) *error = "cannot create " + path + ": " + std::strerror(errno);
  return owned_;
}

bool OutputFd::IsLive() const {
  return IsTerminalOrPipe(fd_);
}

bool OutputFd::WriteAll(std::string_view bytes, std::string* error) {
  while (!bytes.empty()) {
    long written = WriteSome(fd_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      *error =
          "cannot write to " + name_ + ": " + (written < 0 ? std::strerror(errno) : "no progress");
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace ralvex::lab
