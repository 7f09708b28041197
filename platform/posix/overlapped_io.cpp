// ReadFile, WriteFile, GetOverlappedResult and CancelIo on device files, synchronous and
// overlapped.
#include "platform/posix/device_file.h"

namespace ralvex::posix {
namespace {

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

BOOL Transfer(HANDLE handle, void* buffer, DWORD length, LPDWORD count, LPOVERLAPPED overlapped,
              bool write) {
  auto file = FindObjectAs<DeviceFileObject>(handle);
  if (!file) return Fail(ERROR_INVALID_HANDLE);
  if (count != nullptr) *count = 0;
  // An overlapped handle has no synchronous path; a synchronous call needs somewhere to put
  // the count.
  if (file->IsOverlapped() && overlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (overlapped == nullptr && count == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (buffer == nullptr && length != 0) return Fail(ERROR_NOACCESS);
  // Drivers may hand the buffer to memcpy even for zero bytes, where null is not allowed.
  static uint8_t noBytes;
  if (buffer == nullptr) buffer = &noBytes;
  if (write ? !file->CanWrite() : !file->CanRead()) return Fail(ERROR_ACCESS_DENIED);
  if (!file->BeginCall()) return Fail(ERROR_INVALID_HANDLE);
  if (overlapped != nullptr) {
    MarkOverlappedPending(overlapped);
    if (overlapped->hEvent != nullptr) ResetEvent(overlapped->hEvent);
  }
  std::shared_ptr<FileRequest> request =
      file->Start(static_cast<uint8_t*>(buffer), length, overlapped, write);
  file->EndCall();

  uint32_t status = 0;
  uint32_t done = 0;
  if (!file->IsOverlapped()) {
    // A synchronous handle blocks until the driver completes, even with an OVERLAPPED.
    file->WaitFinished(request);
    file->Result(*request, &status, &done);
    if (count != nullptr) *count = done;
    return NtSuccess(status) ? TRUE : Fail(Win32FromNtStatus(status));
  }
  if (!file->Result(*request, &status, &done)) return Fail(ERROR_IO_PENDING);
  if (!NtSuccess(status)) return Fail(Win32FromNtStatus(status));
  if (count != nullptr) *count = done;
  return TRUE;
}

}  // namespace
}  // namespace ralvex::posix

extern "C" {

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD length, LPDWORD count,
                     LPOVERLAPPED overlapped) {
  return ralvex::posix::Transfer(file, buffer, length, count, overlapped, false);
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD length, LPDWORD count,
                      LPOVERLAPPED overlapped) {
  // Drivers only read a write request's buffer.
  return ralvex::posix::Transfer(file, const_cast<void*>(buffer), length, count, overlapped, true);
}

BOOL WINAPI GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred,
                                BOOL wait) {
  using namespace ralvex::posix;
  if (overlapped == nullptr || transferred == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  // The decision rests on Internal alone, never on the event.
  uint32_t status = LoadOverlappedStatus(overlapped);
  if (status == STATUS_PENDING) {
    if (!wait) return Fail(ERROR_IO_INCOMPLETE);
    if (overlapped->hEvent != nullptr) {
      if (WaitForSingleObject(overlapped->hEvent, INFINITE) == WAIT_FAILED) return FALSE;
      status = LoadOverlappedStatus(overlapped);
      // Someone else set the event: the request is still running.
      if (status == STATUS_PENDING) return Fail(ERROR_IO_INCOMPLETE);
    } else {
      auto object = FindObjectAs<DeviceFileObject>(file);
      if (!object) return Fail(ERROR_INVALID_HANDLE);
      if (!object->WaitOverlapped(overlapped)) return Fail(ERROR_INVALID_HANDLE);
      status = LoadOverlappedStatus(overlapped);
    }
  }
  *transferred = static_cast<DWORD>(overlapped->InternalHigh);
  return NtSuccess(status) ? TRUE : Fail(Win32FromNtStatus(status));
}

BOOL WINAPI CancelIo(HANDLE file) {
  using namespace ralvex::posix;
  auto object = FindObjectAs<DeviceFileObject>(file);
  if (!object) return Fail(ERROR_INVALID_HANDLE);
  // A handle being closed cancels everything itself.
  if (!object->BeginCall()) return TRUE;
  object->CancelThreadRequests(CurrentThreadKey());
  object->EndCall();
  return TRUE;
}

}  // extern "C"
