// The one way a driver request leaves the access layer, and the two ways its outcome reaches a
// caller.
//
// SendRequest(record, slot, input, output, returned, overlapped) sends one DeviceIoControl on the
// record's file, with the code its request table holds at `slot`:
//  - `input` is sent as the input buffer and `output` offered as the output buffer; both may be
//    empty and both may view the same bytes (the queries that send and receive one buffer);
//  - `returned`, when not null, receives the count of bytes the driver wrote;
//  - `overlapped`, when not null, makes the request overlapped: `output` and the OVERLAPPED must
//    then stay alive until it completes;
//  - a null record (the caller's handle was not open) or a slot beyond the tables sends nothing
//    and touches nothing;
//  - `output` holds whatever the driver left there, also after a refusal: a caller that must not
//    pass a refused reply on copies it out only on REQUEST_ACCEPTED.
//
// FtStatusOf gives the FT_STATUS of an outcome; W32BoolOf gives the FT_W32_* result (a BOOL, the
// reason for FALSE in the thread's last error).
#pragma once

#include <cstdint>
#include <span>

#include "bridge/handle_record.h"
#include "bridge/request_tables.h"
#include "platform/win32.h"
#include "ralvex/bridge.h"

namespace ralvex::bridge {

enum RequestOutcome : uint8_t {
  REQUEST_ACCEPTED,        // the driver took the request
  REQUEST_REFUSED,         // the driver refused it; its reason is in the thread's last error
  REQUEST_UNKNOWN_HANDLE,  // the handle is not open; nothing sent
  REQUEST_BAD_ARGUMENT,    // a slot beyond the tables or a missing required pointer; nothing sent
};

RequestOutcome SendRequest(const FtHandleRecord* record, uint32_t slot,
                           std::span<const uint8_t> input, std::span<uint8_t> output,
                           DWORD* returned = nullptr, OVERLAPPED* overlapped = nullptr);

// FT_OK, FT_IO_ERROR, FT_INVALID_HANDLE or FT_INVALID_PARAMETER.
FT_STATUS FtStatusOf(RequestOutcome outcome);

// TRUE only for REQUEST_ACCEPTED. A refusal leaves the driver's reason in the last error; an
// unknown handle sets ERROR_INVALID_HANDLE and a bad argument ERROR_INVALID_PARAMETER.
BOOL W32BoolOf(RequestOutcome outcome);

}  // namespace ralvex::bridge
