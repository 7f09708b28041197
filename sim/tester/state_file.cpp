#include "sim/tester/state_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace ralvex::sim {

namespace {

// Opens a regular file only (no blocking on a pipe that happens to carry the name); -1 otherwise.
int OpenRegular(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return -1;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

bool Lock(int fd, int how) {
  while (flock(fd, how) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool ReadAll(int fd, std::string* text) {
  text->clear();
  char chunk[4096];
  for (off_t at = 0;;) {
    const ssize_t n = pread(fd, chunk, sizeof chunk, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(chunk, static_cast<size_t>(n));
    at += n;
  }
}

bool WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Puts `text` in the place of the file at `path` in one step: readers see the old text or the new,
// never a part.
bool ReplaceFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".new";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, text);
  if (close(fd) == 0 && written && rename(temporary.c_str(), path.c_str()) == 0) return true;
  unlink(temporary.c_str());
  return false;
}

// The state's text, or empty when there is no state file yet; false when it cannot be read.
bool ReadIfThere(const std::string& path, std::string* text) {
  text->clear();
  const int fd = OpenRegular(path, O_RDONLY);
  if (fd < 0) return errno == ENOENT;
  const bool read = ReadAll(fd, text);
  close(fd);
  return read;
}

// Where a device's hold lies on the lock file: a byte named by its serial.
off_t HoldOffset(const std::string& serial) {
  uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a
  for (unsigned char c : serial) hash = (hash ^ c) * 0x100000001B3ull;
  return static_cast<off_t>((hash >> 2) | (uint64_t{1} << 40));
}

class DeviceHold final : public OpenGuard {
 public:
  DeviceHold(std::string path, off_t offset) : path_(std::move(path)), offset_(offset) {}
  ~DeviceHold() override { Release(); }

  bool Acquire() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0) return false;  // held by this process already
    const int fd = OpenRegular(StateLockPath(path_), O_RDWR | O_CREAT);
    if (fd < 0) return true;  // nothing to coordinate on
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = offset_;
    range.l_len = 1;
    if (fcntl(fd, F_OFD_SETLK, &range) != 0) {
      close(fd);
      return false;
    }
    fd_ = fd;
    return true;
  }

  void Release() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0) close(fd_);  // the kernel drops the lock with the description
    fd_ = -1;
  }

 private:
  std::mutex mutex_;
  const std::string path_;
  const off_t offset_;
  int fd_ = -1;
};

}  // namespace

std::string StateLockPath(const std::string& statePath) {
  return statePath + ".lock";
}

bool ReadStateText(const std::string& path, std::string* text) {
  const int fd = OpenRegular(path, O_RDONLY);
  if (fd < 0) return false;
  close(fd);
  // A read-only bench has no lock file and no writer to keep out.
  const int lock = OpenRegular(StateLockPath(path), O_RDWR | O_CREAT);
  const bool locked = lock < 0 || Lock(lock, LOCK_SH);
  const bool read = locked && ReadIfThere(path, text);
  if (lock >= 0) close(lock);
  return read;
}

bool ChangeStateText(const std::string& path,
                     const std::function<std::string(const std::string&)>& change) {
  const int lock = OpenRegular(StateLockPath(path), O_RDWR | O_CREAT);
  if (lock < 0) return false;
  std::string text;
  const bool changed =
      Lock(lock, LOCK_EX) && ReadIfThere(path, &text) && ReplaceFile(path, change(text));
  close(lock);  // unlocks
  return changed;
}

std::shared_ptr<OpenGuard> MakeDeviceHold(const std::string& statePath, const std::string& serial) {
  return std::make_shared<DeviceHold>(statePath, HoldOffset(serial));
}

}  // namespace ralvex::sim
