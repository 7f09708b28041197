// Open device files: CreateFileA on an interface path, DeviceIoControl, and the close that
// drains every request before the driver's file goes away.
#include "platform/posix/device_file.h"

#include <atomic>
#include <utility>

#include "platform/posix/device_tree.h"

namespace ralvex::posix {
namespace {

// Win32 errors without a status of their own travel in this customer-defined facility.
constexpr uint32_t NT_STATUS_WIN32_BASE = 0xC0070000u;

struct StatusPair {
  uint32_t status;
  uint32_t error;
};

constexpr StatusPair NT_STATUS_ERRORS[] = {
    {STATUS_CANCELLED, ERROR_OPERATION_ABORTED},
    {STATUS_BUFFER_TOO_SMALL, ERROR_INSUFFICIENT_BUFFER},
    {STATUS_BUFFER_OVERFLOW, ERROR_MORE_DATA},
    {STATUS_INVALID_DEVICE_REQUEST, ERROR_INVALID_FUNCTION},
    {STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
    {STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {STATUS_INVALID_HANDLE, ERROR_INVALID_HANDLE},
    {STATUS_DEVICE_NOT_CONNECTED, ERROR_DEVICE_NOT_CONNECTED},
    {STATUS_NO_SUCH_DEVICE, ERROR_FILE_NOT_FOUND},
    {STATUS_UNSUCCESSFUL, ERROR_GEN_FAILURE},
    {STATUS_IO_DEVICE_ERROR, ERROR_IO_DEVICE},
};

}  // namespace

uint32_t NtStatusFromWin32(uint32_t error) {
  if (error == 0) return STATUS_SUCCESS;
  for (const StatusPair& pair : NT_STATUS_ERRORS) {
    if (pair.error == error) return pair.status;
  }
  return NT_STATUS_WIN32_BASE | (error & 0xFFFFu);
}

uint32_t Win32FromNtStatus(uint32_t status) {
  if (status == STATUS_SUCCESS) return 0;
  for (const StatusPair& pair : NT_STATUS_ERRORS) {
    if (pair.status == status) return pair.error;
  }
  if ((status & 0xFFFF0000u) == NT_STATUS_WIN32_BASE) return status & 0xFFFFu;
  return ERROR_GEN_FAILURE;
}

void StoreOverlappedResult(OVERLAPPED* overlapped, uint32_t status, uint32_t count) {
  std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh).store(count, std::memory_order_relaxed);
  std::atomic_ref<ULONG_PTR>(overlapped->Internal).store(status, std::memory_order_release);
}

uint32_t LoadOverlappedStatus(const OVERLAPPED* overlapped) {
  auto& internal = const_cast<ULONG_PTR&>(overlapped->Internal);
  return static_cast<uint32_t>(
      std::atomic_ref<ULONG_PTR>(internal).load(std::memory_order_acquire));
}

void MarkOverlappedPending(OVERLAPPED* overlapped) {
  StoreOverlappedResult(overlapped, STATUS_PENDING, 0);
}

void FileRequest::Complete(uint32_t status, uint32_t count) {
  DeviceFileObject* file = file_;
  {
    std::lock_guard lock(file->mutex_);
    if (claimed_) return;  // a driver completing twice must not touch the caller again
    claimed_ = true;
  }
  if (count > length_) count = length_;
  // "Pending" is not a final status; a driver that reports it has failed the request.
  if (status == STATUS_PENDING) status = STATUS_UNSUCCESSFUL;
  if (overlapped_ != nullptr) {
    StoreOverlappedResult(overlapped_, status, count);
    if (event_ != nullptr) SetEvent(event_);
  }
  file->Finish(this, status, count);
  // `this` may be gone now.
}

bool DeviceFileObject::IsSignalled(uint64_t thread) const {
  (void)thread;
  return signalled_;
}

void DeviceFileObject::SetSignalled(bool signalled) {
  std::lock_guard lock(KernelLock());
  signalled_ = signalled;
  if (signalled) WakeWaiters();
}

bool DeviceFileObject::BeginCall() {
  std::lock_guard lock(mutex_);
  if (closing_) return false;
  ++calls_;
  return true;
}

void DeviceFileObject::EndCall() {
  std::lock_guard lock(mutex_);
  if (--calls_ == 0) changed_.notify_all();
}

std::shared_ptr<FileRequest> DeviceFileObject::Start(uint8_t* buffer, uint32_t length,
                                                     OVERLAPPED* overlapped, bool write) {
  auto request =
      std::make_shared<FileRequest>(this, buffer, length, overlapped, CurrentThreadKey());
  SetSignalled(false);
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(request);
  }
  if (write) {
    file_->StartWrite(*request);
  } else {
    file_->StartRead(*request);
  }
  return request;
}

void DeviceFileObject::Finish(FileRequest* request, uint32_t status, uint32_t count) {
  SetSignalled(true);
  std::shared_ptr<FileRequest> last;  // may be the last reference: released after the lock
  {
    std::lock_guard lock(mutex_);
    request->status_ = status;
    request->count_ = count;
    request->finished_ = true;
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
      if (it->get() == request) {
        last = std::move(*it);
        pending_.erase(it);
        break;
      }
    }
    changed_.notify_all();
  }
}

void DeviceFileObject::WaitFinished(const std::shared_ptr<FileRequest>& request) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return request->finished_; });
}

bool DeviceFileObject::Result(const FileRequest& request, uint32_t* status, uint32_t* count) {
  std::lock_guard lock(mutex_);
  if (!request.finished_) return false;
  *status = request.status_;
  *count = request.count_;
  return true;
}

bool DeviceFileObject::WaitOverlapped(OVERLAPPED* overlapped) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock,
                [&] { return LoadOverlappedStatus(overlapped) != STATUS_PENDING || closed_; });
  return LoadOverlappedStatus(overlapped) != STATUS_PENDING;
}

void DeviceFileObject::CancelThreadRequests(uint64_t thread) {
  std::vector<std::shared_ptr<FileRequest>> mine;
  {
    std::lock_guard lock(mutex_);
    for (const auto& request : pending_) {
      if (request->IssuingThread() == thread && !request->claimed_) mine.push_back(request);
    }
  }
  for (const auto& request : mine) file_->Cancel(*request);
}

void DeviceFileObject::Close() {
  std::vector<std::shared_ptr<FileRequest>> inFlight;
  {
    std::unique_lock lock(mutex_);
    if (closing_) return;
    closing_ = true;
  }
  // Ends driver calls that would otherwise wait for this very close.
  file_->Closing();
  {
    std::unique_lock lock(mutex_);
    // No new request can start now; wait for calls already inside the driver so that every
    // request they issue is in the list before it is cancelled.
    changed_.wait(lock, [&] { return calls_ == 0; });
    for (const auto& request : pending_) {
      if (!request->claimed_) inFlight.push_back(request);
    }
  }
  for (const auto& request : inFlight) file_->Cancel(*request);
  inFlight.clear();
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return pending_.empty(); });
  }
  file_->Close();
  file_.reset();
  std::lock_guard lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

}  // namespace ralvex::posix

using ralvex::posix::DeviceFileObject;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
  (void)security;
  if (name == nullptr || templateFile != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Devices exist or they do not: only the dispositions that open an existing object apply.
  if (disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::shared_ptr<ralvex::posix::DeviceDriver> driver = ralvex::posix::FindInterfaceDriver(name);
  if (!driver) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::unique_ptr<ralvex::posix::DeviceFile> file;
  uint32_t error = driver->Open(share == 0, &file);
  if (error == 0 && !file) error = ERROR_GEN_FAILURE;
  if (error != 0) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  auto object = std::make_shared<DeviceFileObject>(std::move(file), access,
                                                   (flags & FILE_FLAG_OVERLAPPED) != 0);
  HANDLE handle = ralvex::posix::InsertObject(object);
  if (handle == nullptr) {
    DWORD reason = GetLastError();
    object->Close();  // hands the file back to the driver
    SetLastError(reason);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inLength, LPVOID out,
                            DWORD outLength, LPDWORD returned, LPOVERLAPPED overlapped) {
  auto file = ralvex::posix::FindObjectAs<DeviceFileObject>(device);
  if (!file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (overlapped == nullptr && returned == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The system probes the caller's buffers before a driver sees them.
  if ((in == nullptr && inLength != 0) || (out == nullptr && outLength != 0)) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  if (returned != nullptr) *returned = 0;
  if (!file->BeginCall()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  uint32_t count = 0;
  uint32_t error = file->DriverFile().Control(code, in, inLength, out, outLength, &count);
  file->EndCall();
  if (count > outLength) count = outLength;
  if (returned != nullptr) *returned = count;
  if (overlapped != nullptr) {
    // Driver requests complete at once: the immediate-completion path of an overlapped call.
    ralvex::posix::StoreOverlappedResult(overlapped, ralvex::posix::NtStatusFromWin32(error),
                                         count);
    if (overlapped->hEvent != nullptr) SetEvent(overlapped->hEvent);
    file->SetSignalled(true);
  }
  if (error != 0) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
