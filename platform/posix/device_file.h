// An open device file as a kernel object, and the requests in flight on it. Internal to
// platform/posix: device_file.cpp opens, controls and closes; overlapped_io.cpp reads and writes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/posix/devices.h"
#include "platform/posix/handle_table.h"
#include "platform/win32.h"

namespace ralvex::posix {

class DeviceFileObject;

// NT status <-> Win32 error, for the statuses drivers and the I/O paths use.
uint32_t NtStatusFromWin32(uint32_t error);
uint32_t Win32FromNtStatus(uint32_t status);
// Success and informational statuses (STATUS_TIMEOUT included); warnings and errors are not.
inline bool NtSuccess(uint32_t status) {
  return static_cast<int32_t>(status) >= 0;
}

// One read or write. The owning file keeps it in its pending list from issue until Complete has
// finished with the caller's memory (OVERLAPPED and event); the issuing thread may keep its own
// reference to collect the result of a synchronous request.
class FileRequest final : public IoRequest {
 public:
  FileRequest(DeviceFileObject* file, uint8_t* buffer, uint32_t length, OVERLAPPED* overlapped,
              uint64_t thread)
      : file_(file),
        buffer_(buffer),
        length_(length),
        overlapped_(overlapped),
        event_(overlapped != nullptr ? overlapped->hEvent : nullptr),
        thread_(thread) {}

  uint8_t* Buffer() override { return buffer_; }
  uint32_t Length() const override { return length_; }
  void Complete(uint32_t status, uint32_t count) override;

  uint64_t IssuingThread() const { return thread_; }

 private:
  friend class DeviceFileObject;

  DeviceFileObject* const file_;  // outlives the request while it is pending
  uint8_t* const buffer_;
  const uint32_t length_;
  OVERLAPPED* const overlapped_;  // null for a synchronous request without one
  const HANDLE event_;            // taken at issue: the caller may not change it while pending
  const uint64_t thread_;         // CurrentThreadKey of the issuer, for CancelIo

  // Guarded by the file's mutex.
  bool claimed_ = false;   // Complete has started: later completions are ignored
  bool finished_ = false;  // Complete is done with caller memory
  uint32_t status_ = STATUS_PENDING;
  uint32_t count_ = 0;
};

class DeviceFileObject final : public KernelObject {
 public:
  DeviceFileObject(std::unique_ptr<DeviceFile> file, DWORD access, bool overlapped)
      : file_(std::move(file)), access_(access), overlapped_(overlapped) {}

  bool IsOverlapped() const { return overlapped_; }
  bool CanRead() const { return (access_ & (GENERIC_READ | GENERIC_ALL)) != 0; }
  bool CanWrite() const { return (access_ & (GENERIC_WRITE | GENERIC_ALL)) != 0; }

  // A file handle is signalled when an I/O on it completes and reset when one starts; a wait on
  // it does not consume anything.
  bool IsWaitable() const override { return true; }
  bool IsSignalled(uint64_t thread) const override;
  void Close() override;

  // Brackets every call into the driver; false once the handle is being closed (the caller then
  // fails with ERROR_INVALID_HANDLE). Between the two, DriverFile() is valid.
  bool BeginCall();
  void EndCall();
  DeviceFile& DriverFile() { return *file_; }

  // Issues a read or write prepared by the caller (OVERLAPPED already marked pending) and
  // returns the request. Must be inside BeginCall/EndCall.
  std::shared_ptr<FileRequest> Start(uint8_t* buffer, uint32_t length, OVERLAPPED* overlapped,
                                     bool write);
  // Waits until `request` has finished with caller memory.
  void WaitFinished(const std::shared_ptr<FileRequest>& request);
  // Reads the result of `request` if it has finished; false while it is in flight.
  bool Result(const FileRequest& request, uint32_t* status, uint32_t* count);
  // Waits until OVERLAPPED.Internal leaves STATUS_PENDING; false if the file closed first.
  bool WaitOverlapped(OVERLAPPED* overlapped);
  // Asks the driver to cancel the requests the calling thread issued.
  void CancelThreadRequests(uint64_t thread);
  // Signals the file (an I/O finished) or resets it (one started).
  void SetSignalled(bool signalled);

 private:
  friend class FileRequest;
  void Finish(FileRequest* request, uint32_t status, uint32_t count);

  std::unique_ptr<DeviceFile> file_;
  const DWORD access_;
  const bool overlapped_;

  std::mutex mutex_;
  std::condition_variable changed_;  // a call ended, a request finished, the file closed
  bool closing_ = false;
  bool closed_ = false;
  int calls_ = 0;
  std::vector<std::shared_ptr<FileRequest>> pending_;

  bool signalled_ = false;  // guarded by KernelLock()
};

// Writes a final status to an OVERLAPPED: InternalHigh first, then Internal, so that a reader
// that sees the status also sees the count.
void StoreOverlappedResult(OVERLAPPED* overlapped, uint32_t status, uint32_t count);
uint32_t LoadOverlappedStatus(const OVERLAPPED* overlapped);
// Marks an OVERLAPPED pending before its request is issued.
void MarkOverlappedPending(OVERLAPPED* overlapped);

}  // namespace ralvex::posix
