// The POSIX device tree and the driver interface.
//
// On Windows the device tree, the bus driver and the device installation services belong to the
// system. Here they are ours: a driver (the simulated bench, or a test) plugs device nodes into
// this tree, and the Win32 functions in platform/posix answer from it: SetupDi* and CM_* read the
// nodes, CreateFileA on an interface path asks the node's driver to open, and DeviceIoControl,
// ReadFile, WriteFile, CancelIo and CloseHandle on the resulting handle go to the opened file.
//
// Nothing here knows about any particular device; platform never depends on the bench.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace ralvex::posix {

// One read or write handed to a driver. The platform keeps the object (and the caller's buffer)
// alive until Complete has been called; the driver calls Complete exactly once, from any thread,
// possibly from inside StartRead/StartWrite (an immediate completion).
class IoRequest {
 public:
  // Read: room for Length() bytes. Write: the Length() bytes to send.
  virtual uint8_t* Buffer() = 0;
  virtual uint32_t Length() const = 0;
  // status is an NT status: 0 (success), STATUS_TIMEOUT (a serial time-out, still a success),
  // STATUS_CANCELLED (cancelled), or any other failure status; count is the bytes moved.
  virtual void Complete(uint32_t status, uint32_t count) = 0;

 protected:
  ~IoRequest() = default;
};

// One open instance of a device: what a successful CreateFileA on its interface path returns.
class DeviceFile {
 public:
  virtual ~DeviceFile() = default;

  // DeviceIoControl. Returns a Win32 error code (0 on success) and stores the bytes written to
  // `out` in *returned (0 when nothing was written). Answers promptly: closing the handle waits
  // for control calls in progress, and nothing can cancel one.
  virtual uint32_t Control(uint32_t code, const void* in, uint32_t inLength, void* out,
                           uint32_t outLength, uint32_t* returned) = 0;

  virtual void StartRead(IoRequest& request) = 0;
  virtual void StartWrite(IoRequest& request) = 0;
  // Asks the driver to complete `request` soon (with STATUS_CANCELLED unless it has already
  // finished). The request may complete before, during or after this call.
  virtual void Cancel(IoRequest& request) = 0;

  // The handle is being closed: every request has completed. The file is destroyed afterwards.
  virtual void Close() = 0;

  // The handle is being closed. Calls still inside Control that wait for something (a comm-event
  // wait) must end now, with an error: the close waits for every call in progress, so a wait that
  // only a close could end would otherwise never return. Called before Close, from the closing
  // thread, possibly while such a call is running on another thread.
  virtual void Closing() {}
};

// The driver object of a device node.
class DeviceDriver {
 public:
  virtual ~DeviceDriver() = default;

  // CreateFileA. `exclusive` is share mode 0. Returns 0 and sets *file, or a Win32 error such as
  // ERROR_ACCESS_DENIED (in use) or ERROR_FILE_NOT_FOUND (gone).
  virtual uint32_t Open(bool exclusive, std::unique_ptr<DeviceFile>* file) = 0;

  // DIF_PROPERTYCHANGE with DICS_PROPCHANGE: stop and start the device. Returns a Win32 error
  // code (0 on success); *needsReboot tells whether a restart needs a reboot to take effect.
  virtual uint32_t Restart(bool* needsReboot) {
    *needsReboot = false;
    return 0;
  }

  // CM_Reenumerate_DevNode_Ex on this node or an ancestor: a bus driver reports its children
  // again (a device that left after a port cycle comes back).
  virtual void Reenumerate() {}
};

struct DeviceInterfaceInfo {
  GUID classGuid{};
  std::string path;  // "\\?\usb#vid_0403&pid_6001#serial#{guid}"
};

struct DeviceNodeInfo {
  std::string instanceId;  // "USB\VID_0403&PID_6001\SERIAL"
  std::string parentId;    // instance ID of the parent node; empty for a child of the root
  std::string setupClass;  // "USB"
  GUID setupClassGuid{};
  std::string description;                 // SPDRP_DEVICEDESC
  std::vector<std::string> hardwareIds;    // SPDRP_HARDWAREID; empty = property absent
  std::vector<std::string> compatibleIds;  // SPDRP_COMPATIBLEIDS; empty = property absent
  std::vector<DeviceInterfaceInfo> interfaces;
  std::shared_ptr<DeviceDriver> driver;  // answers opens; may be null for nodes nobody opens
  bool present = true;                   // DIGCF_PRESENT keeps only present nodes
};

// Adds a node (after its parent, in enumeration order) and returns its device instance number,
// never 0 and never reused. An instance ID that is already in the tree is replaced in place.
DEVINST AddDeviceNode(DeviceNodeInfo info);
// Marks a node present or gone (unplugged; a cycled port until the next re-enumeration).
void SetDeviceNodePresent(DEVINST node, bool present);
// Removes a node and its children.
void RemoveDeviceNode(DEVINST node);
// Empties the tree (bench detach, test tear-down). Open handles keep their files.
void ClearDeviceTree();

// A driver whose devices come and go outside the process (real hardware) registers a hook that
// brings the tree up to date; SetupDiGetClassDevs* runs it before reading the tree, so every
// enumeration sees what is plugged in now. Null removes it. The hook must not enumerate itself.
using EnumerationHook = void (*)();
void SetEnumerationHook(EnumerationHook hook);

// What GetVersionExA reports: a workstation unless told otherwise.
void SetServerEdition(bool server);

}  // namespace ralvex::posix
