// Plumbing shared by the port configuration and data transfer functions: one synchronous driver
// request on a looked-up handle, in the FT_STATUS form and in the FT_W32_* form (BOOL, reason in
// the thread's last error), and little-endian packing of request payloads.
#pragma once

#include <cstdint>

#include "bridge/handle_record.h"
#include "platform/win32.h"
#include "ralvex/bridge.h"

namespace ralvex::bridge {

// Looks the handle up and sends the request of `slot` from its request table:
// FT_INVALID_HANDLE, FT_OK or FT_IO_ERROR. `out` receives the reply only when the driver
// accepts the request.
FT_STATUS SendPortRequest(FT_HANDLE handle, uint32_t slot, const void* in, DWORD in_length,
                          void* out, DWORD out_length);

// The record of an FT_W32_* caller's handle. Every FT_W32_* function looks its handle up: an
// unknown one would otherwise be dereferenced after its record was freed. Null, with
// ERROR_INVALID_HANDLE as the last error, when the handle is not open.
FtHandleRecord* LookupW32Handle(FT_HANDLE handle);

// A request whose input is one 32-bit little-endian word and that has no reply.
FT_STATUS SendPortWord(FT_HANDLE handle, uint32_t slot, uint32_t value);

// The FT_W32_* form of SendPortRequest: FALSE with ERROR_INVALID_HANDLE for an unknown handle,
// otherwise the driver's BOOL with its reason left in the last error.
BOOL SendW32Request(FT_HANDLE handle, uint32_t slot, const void* in, DWORD in_length, void* out,
                    DWORD out_length);

// The word queries (modem, queue and event status): the caller's word goes out as the input and
// the reply comes back into it, through FT_IoCtl with the slot's primary code so that the slot
// follows the handle's table. A copy keeps the caller's word untouched when the driver refuses.
// A null word: FT_INVALID_PARAMETER, nothing sent.
FT_STATUS QueryWord(FT_HANDLE handle, uint32_t slot, DWORD* word);

// A required pointer of an FT_W32_* function was null: FALSE with ERROR_INVALID_PARAMETER.
BOOL RefuseW32Argument();

inline void PutLe16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

inline void PutLe32(uint8_t* at, uint32_t value) {
  PutLe16(at, static_cast<uint16_t>(value));
  PutLe16(at + 2, static_cast<uint16_t>(value >> 16));
}

inline uint32_t GetLe32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace ralvex::bridge
