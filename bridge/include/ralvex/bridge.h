/*
 * The bridge access interface: the FT_* functions that find, open, configure and move data
 * through USB-serial bridge devices, and the types, constants and records they use.
 *
 * Usable from C (C11) and C++. Every function has C linkage and is exported from the ralvex
 * executable and from libralvex-bridge.so.
 *
 * Conventions:
 *  - FT_* functions return an FT_STATUS; FT_W32_* functions mirror the Win32 serial API and
 *    return a BOOL (or a handle), leaving the reason for a failure in the calling thread's last
 *    error (FT_W32_GetLastError).
 *  - An FT_HANDLE is valid from a successful open until FT_Close / FT_W32_CloseHandle. Every
 *    function refuses a handle that is not open (FT_INVALID_HANDLE, or FALSE).
 *  - Output pointers that may be omitted are documented as such; a required one that is null
 *    gives FT_INVALID_PARAMETER.
 */
#ifndef RALVEX_BRIDGE_H
#define RALVEX_BRIDGE_H

/* Self-contained: the Win32 types below come from the header beside this one (or, on Windows,
 * from the system). */
#include "ralvex/win32_types.h"

#include <stddef.h>

/* Export marking and calling convention. On Windows every function is __stdcall (on 32-bit x86
 * its exported name is decorated: _FT_Open@8); the build exports them by a module-definition
 * list, so nothing is marked here. Elsewhere the project builds with hidden visibility and only
 * this interface is exported. */
#if defined(_WIN32)
#define FT_EXPORT
#define FT_CALL __stdcall
#else
#define FT_EXPORT __attribute__((visibility("default")))
#define FT_CALL
#endif

#ifdef __cplusplus
#define FT_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define FT_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* ---------------------------------------------------------------------------------------------
 * Basic types
 * ------------------------------------------------------------------------------------------- */

/* Opaque reference to an open device. */
typedef PVOID FT_HANDLE;

/* Result of every FT_* function other than the FT_W32_* ones. */
typedef DWORD FT_STATUS;

/* Chip family of a bridge device (FT_DEVICE_* below). */
typedef DWORD FT_DEVICE;

/* ---------------------------------------------------------------------------------------------
 * Status codes
 * ------------------------------------------------------------------------------------------- */

#define FT_OK 0u
#define FT_INVALID_HANDLE 1u
#define FT_DEVICE_NOT_FOUND 2u
#define FT_DEVICE_NOT_OPENED 3u
#define FT_IO_ERROR 4u
#define FT_INSUFFICIENT_RESOURCES 5u
#define FT_INVALID_PARAMETER 6u
#define FT_INVALID_BAUD_RATE 7u
#define FT_DEVICE_NOT_OPENED_FOR_ERASE 8u
#define FT_DEVICE_NOT_OPENED_FOR_WRITE 9u
#define FT_FAILED_TO_WRITE_DEVICE 10u
#define FT_EEPROM_READ_FAILED 11u
#define FT_EEPROM_WRITE_FAILED 12u
#define FT_EEPROM_ERASE_FAILED 13u
#define FT_EEPROM_NOT_PRESENT 14u
#define FT_EEPROM_NOT_PROGRAMMED 15u
#define FT_INVALID_ARGS 16u
#define FT_NOT_SUPPORTED 17u
#define FT_OTHER_ERROR 18u

#define FT_SUCCESS(status) ((status) == FT_OK)

/* ---------------------------------------------------------------------------------------------
 * Chip families (FT_DEVICE)
 * ------------------------------------------------------------------------------------------- */

#define FT_DEVICE_BM 0u
#define FT_DEVICE_AM 1u
#define FT_DEVICE_100AX 2u
#define FT_DEVICE_UNKNOWN 3u
#define FT_DEVICE_2232C 4u
#define FT_DEVICE_232R 5u
#define FT_DEVICE_2232H 6u
#define FT_DEVICE_4232H 7u
#define FT_DEVICE_232H 8u
#define FT_DEVICE_X_SERIES 9u
#define FT_DEVICE_4222H_0 10u
#define FT_DEVICE_4222H_1_2 11u
#define FT_DEVICE_4222H_3 12u
#define FT_DEVICE_4222_PROG 13u
#define FT_DEVICE_900 14u
#define FT_DEVICE_930 15u
#define FT_DEVICE_UMFTPD3A 16u

/* ---------------------------------------------------------------------------------------------
 * Open and list flags
 * ------------------------------------------------------------------------------------------- */

/* Match selectors of FT_OpenEx and FT_W32_CreateFile (bits 0-2 of its flags), and the query
 * selectors of FT_ListDevices. */
#define FT_OPEN_BY_SERIAL_NUMBER 1u
#define FT_OPEN_BY_DESCRIPTION 2u
#define FT_OPEN_BY_LOCATION 4u

/* FT_ListDevices modes: exactly one of them. */
#define FT_LIST_NUMBER_ONLY 0x80000000u
#define FT_LIST_BY_INDEX 0x40000000u
#define FT_LIST_ALL 0x20000000u
#define FT_LIST_MASK (FT_LIST_NUMBER_ONLY | FT_LIST_BY_INDEX | FT_LIST_ALL)

/* FT_DEVICE_LIST_INFO_NODE.Flags */
#define FT_FLAGS_OPENED 1u
#define FT_FLAGS_HISPEED 2u

/* ---------------------------------------------------------------------------------------------
 * Line settings and purge masks
 * ------------------------------------------------------------------------------------------- */

#define FT_BITS_8 8u
#define FT_BITS_7 7u

#define FT_STOP_BITS_1 0u
#define FT_STOP_BITS_2 2u

#define FT_PARITY_NONE 0u
#define FT_PARITY_ODD 1u
#define FT_PARITY_EVEN 2u
#define FT_PARITY_MARK 3u
#define FT_PARITY_SPACE 4u

#define FT_PURGE_RX 1u
#define FT_PURGE_TX 2u

/* ---------------------------------------------------------------------------------------------
 * Records
 * ------------------------------------------------------------------------------------------- */

/* One element of the device-information list. 100 bytes on a 32-bit build; on a 64-bit build
 * ftHandle is pointer-sized and the node is 104 bytes, every other offset unchanged. */
typedef struct _ft_device_list_info_node {
  DWORD Flags;           /* FT_FLAGS_OPENED, FT_FLAGS_HISPEED */
  DWORD Type;            /* FT_DEVICE */
  DWORD ID;              /* (vendor ID << 16) | product ID */
  DWORD LocId;           /* location ID, 0 if unknown */
  char SerialNumber[16]; /* NUL-terminated */
  char Description[64];  /* NUL-terminated */
  FT_HANDLE ftHandle;    /* the handle when this process holds the device open, else null */
} FT_DEVICE_LIST_INFO_NODE;

FT_STATIC_ASSERT(sizeof(DWORD) == 4, "DWORD is 32 bits");
FT_STATIC_ASSERT(offsetof(FT_DEVICE_LIST_INFO_NODE, Flags) == 0, "Flags at 0");
FT_STATIC_ASSERT(offsetof(FT_DEVICE_LIST_INFO_NODE, Type) == 4, "Type at 4");
FT_STATIC_ASSERT(offsetof(FT_DEVICE_LIST_INFO_NODE, ID) == 8, "ID at 8");
FT_STATIC_ASSERT(offsetof(FT_DEVICE_LIST_INFO_NODE, LocId) == 12, "LocId at 12");
FT_STATIC_ASSERT(offsetof(FT_DEVICE_LIST_INFO_NODE, SerialNumber) == 16, "SerialNumber at 16");
FT_STATIC_ASSERT(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32, "Description at 32");
FT_STATIC_ASSERT(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96, "ftHandle at 96");
FT_STATIC_ASSERT(sizeof(FT_DEVICE_LIST_INFO_NODE) == 96 + sizeof(void*),
                 "node is 100 bytes (32-bit) or 104 bytes (64-bit)");

/* ---------------------------------------------------------------------------------------------
 * Library, driver and device information
 * ------------------------------------------------------------------------------------------- */

/* Creates the layer's locks. Called implicitly by every function that needs them; only fails
 * with FT_INSUFFICIENT_RESOURCES when they cannot be created. */
FT_EXPORT FT_STATUS FT_CALL FT_Initialise(void);
/* Releases the locks. Open handles and the device-information list are left alone; the next
 * call that needs the locks creates them again. */
FT_EXPORT void FT_CALL FT_Finalise(void);

/* The version of this library: 0x00030214 (major 3, minor 2, build 0x14). */
FT_EXPORT FT_STATUS FT_CALL FT_GetLibraryVersion(LPDWORD lpdwVersion);
/* The driver's version word for an open device; lpdwVersion is required. */
FT_EXPORT FT_STATUS FT_CALL FT_GetDriverVersion(FT_HANDLE ftHandle, LPDWORD lpdwVersion);
/* Chip family, (VID << 16) | PID, serial number (16-byte buffer), description (64-byte buffer)
 * and the driver's extra word. Every output may be null. An unknown handle gives
 * FT_NOT_SUPPORTED; a status the driver reports is passed through. */
FT_EXPORT FT_STATUS FT_CALL FT_GetDeviceInfo(FT_HANDLE ftHandle, FT_DEVICE* lpftDevice,
                                             LPDWORD lpdwID, PCHAR SerialNumber, PCHAR Description,
                                             LPDWORD lpdwExtra);
/* Sends one driver request: FT_OK when the driver accepts it, FT_IO_ERROR when it refuses. The
 * request slot is taken from bits 2-13 of dwIoControlCode (a full code such as 0x0022009C or its
 * low bits 0x9C both name slot 39) and mapped through the handle's request table; codes naming a
 * slot beyond 125 give FT_INVALID_PARAMETER, a buffer length without a buffer FT_IO_ERROR. */
FT_EXPORT FT_STATUS FT_CALL FT_IoCtl(FT_HANDLE ftHandle, DWORD dwIoControlCode, LPVOID lpInBuf,
                                     DWORD nInBufSize, LPVOID lpOutBuf, DWORD nOutBufSize,
                                     LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);

/* ---------------------------------------------------------------------------------------------
 * Enumeration
 * ------------------------------------------------------------------------------------------- */

/* Mode FT_LIST_NUMBER_ONLY: pvArg1 is a DWORD* that receives the device count.
 * Mode FT_LIST_BY_INDEX: pvArg1 carries the index itself; pvArg2 receives one string (serial
 *   number: 16 bytes, description: 64 bytes) or one DWORD location.
 * Mode FT_LIST_ALL: pvArg1 is an array of pointers to 64-byte buffers (or of DWORD locations);
 *   pvArg2 is a DWORD* that receives the count.
 * The low bits choose the query: FT_OPEN_BY_DESCRIPTION, else FT_OPEN_BY_LOCATION, else the
 * serial number. Strings copied out are always terminated. */
FT_EXPORT FT_STATUS FT_CALL FT_ListDevices(PVOID pvArg1, PVOID pvArg2, DWORD dwFlags);
/* Builds the process-wide device-information list and reports its element count. */
FT_EXPORT FT_STATUS FT_CALL FT_CreateDeviceInfoList(LPDWORD lpdwNumDevs);
/* Copies the list (when pDest is not null) and reports its element count. */
FT_EXPORT FT_STATUS FT_CALL FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest,
                                                 LPDWORD lpdwNumDevs);
/* One element of the list; every output may be null. lpSerialNumber receives 16 bytes,
 * lpDescription 64 bytes, as stored. */
FT_EXPORT FT_STATUS FT_CALL FT_GetDeviceInfoDetail(DWORD dwIndex, LPDWORD lpdwFlags,
                                                   LPDWORD lpdwType, LPDWORD lpdwID,
                                                   LPDWORD lpdwLocId, LPVOID lpSerialNumber,
                                                   LPVOID lpDescription, FT_HANDLE* pftHandle);

/* ---------------------------------------------------------------------------------------------
 * Open and close
 * ------------------------------------------------------------------------------------------- */

/* Opens the device at an index of the present devices, exclusively and synchronously. */
FT_EXPORT FT_STATUS FT_CALL FT_Open(int deviceNumber, FT_HANDLE* pHandle);
/* Opens the first device whose serial number or description (pvArg1: a NUL-terminated string,
 * compared byte for byte) or location (pvArg1 carries the location ID itself) matches. */
FT_EXPORT FT_STATUS FT_CALL FT_OpenEx(PVOID pvArg1, DWORD dwFlags, FT_HANDLE* pHandle);
/* As FT_OpenEx with the Win32 CreateFile arguments; bits 0-2 of dwAttrsAndFlags select the
 * match. Returns INVALID_HANDLE_VALUE on failure. */
FT_EXPORT FT_HANDLE FT_CALL FT_W32_CreateFile(LPCSTR lpszName, DWORD dwAccess, DWORD dwShareMode,
                                              LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                              DWORD dwCreate, DWORD dwAttrsAndFlags,
                                              HANDLE hTemplate);
/* Closes an open handle; afterwards every call with it gives FT_INVALID_HANDLE (or FALSE). */
FT_EXPORT FT_STATUS FT_CALL FT_Close(FT_HANDLE ftHandle);
/* FT_Close with a BOOL result: FALSE with ERROR_INVALID_HANDLE for a handle that is not open. */
FT_EXPORT BOOL FT_CALL FT_W32_CloseHandle(FT_HANDLE ftHandle);

/* ---------------------------------------------------------------------------------------------
 * Port configuration and status
 * ------------------------------------------------------------------------------------------- */

/* Sets the baud rate as given; a rate the driver refuses gives FT_INVALID_BAUD_RATE. */
FT_EXPORT FT_STATUS FT_CALL FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate);
/* Sets the baud-rate divisor directly. */
FT_EXPORT FT_STATUS FT_CALL FT_SetDivisor(FT_HANDLE ftHandle, USHORT Divisor);
/* Sets word length (FT_BITS_*), stop bits (FT_STOP_BITS_*) and parity (FT_PARITY_*). */
FT_EXPORT FT_STATUS FT_CALL FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR WordLength,
                                                      UCHAR StopBits, UCHAR Parity);
/* Sets the flow-control mode and the XON and XOFF characters. */
FT_EXPORT FT_STATUS FT_CALL FT_SetFlowControl(FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar,
                                              UCHAR XoffChar);
/* Sets the event and error characters and whether each is enabled. */
FT_EXPORT FT_STATUS FT_CALL FT_SetChars(FT_HANDLE ftHandle, UCHAR EventChar, UCHAR EventCharEnabled,
                                        UCHAR ErrorChar, UCHAR ErrorCharEnabled);
/* Sets how long a read and a write may wait, in milliseconds. */
FT_EXPORT FT_STATUS FT_CALL FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout,
                                           ULONG WriteTimeout);
/* Raises the DTR line. */
FT_EXPORT FT_STATUS FT_CALL FT_SetDtr(FT_HANDLE ftHandle);
/* Lowers the DTR line. */
FT_EXPORT FT_STATUS FT_CALL FT_ClrDtr(FT_HANDLE ftHandle);
/* Raises the RTS line. */
FT_EXPORT FT_STATUS FT_CALL FT_SetRts(FT_HANDLE ftHandle);
/* Lowers the RTS line. */
FT_EXPORT FT_STATUS FT_CALL FT_ClrRts(FT_HANDLE ftHandle);
/* Starts a break condition on the transmit line. */
FT_EXPORT FT_STATUS FT_CALL FT_SetBreakOn(FT_HANDLE ftHandle);
/* Ends the break condition. */
FT_EXPORT FT_STATUS FT_CALL FT_SetBreakOff(FT_HANDLE ftHandle);
/* Empties the receive (FT_PURGE_RX) and/or transmit (FT_PURGE_TX) buffers. */
FT_EXPORT FT_STATUS FT_CALL FT_Purge(FT_HANDLE ftHandle, ULONG Mask);
/* Sets the latency timer, in milliseconds. */
FT_EXPORT FT_STATUS FT_CALL FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency);
/* Reads the latency timer; *pucLatency is written only when the driver answers. */
FT_EXPORT FT_STATUS FT_CALL FT_GetLatencyTimer(FT_HANDLE ftHandle, PUCHAR pucLatency);
/* Sets the bit mode (ucEnable) and the pin mask (ucMask). */
FT_EXPORT FT_STATUS FT_CALL FT_SetBitMode(FT_HANDLE ftHandle, UCHAR ucMask, UCHAR ucEnable);
/* Reads the bit-mode byte; *pucMode is written only when the driver answers. */
FT_EXPORT FT_STATUS FT_CALL FT_GetBitMode(FT_HANDLE ftHandle, PUCHAR pucMode);
/* Sets the USB IN and OUT transfer sizes, in bytes. */
FT_EXPORT FT_STATUS FT_CALL FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize,
                                                ULONG ulOutTransferSize);
/* Sets the dead-man time-out, in milliseconds. */
FT_EXPORT FT_STATUS FT_CALL FT_SetDeadmanTimeout(FT_HANDLE ftHandle, ULONG ulDeadmanTimeout);
/* Sets how often the driver retries resetting a stalled pipe. */
FT_EXPORT FT_STATUS FT_CALL FT_SetResetPipeRetryCount(FT_HANDLE ftHandle, DWORD dwCount);
/* Asks the driver to report the events of Mask through Param; it receives the low 32 bits of
 * the handle value and of Param. */
FT_EXPORT FT_STATUS FT_CALL FT_SetEventNotification(FT_HANDLE ftHandle, DWORD Mask, PVOID Param);
/* Sets the events FT_WaitOnMask waits for. */
FT_EXPORT FT_STATUS FT_CALL FT_SetWaitMask(FT_HANDLE ftHandle, DWORD Mask);
/* Blocks until an event of the wait mask occurs, then reports the events in *Mask. */
FT_EXPORT FT_STATUS FT_CALL FT_WaitOnMask(FT_HANDLE ftHandle, DWORD* Mask);
/* Receive-queue bytes, transmit-queue bytes and event status; all three pointers are required. */
FT_EXPORT FT_STATUS FT_CALL FT_GetStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes, DWORD* dwTxBytes,
                                         DWORD* dwEventDWord);
/* Modem and line status; *pModemStatus goes out as the input and receives the reply. */
FT_EXPORT FT_STATUS FT_CALL FT_GetModemStatus(FT_HANDLE ftHandle, ULONG* pModemStatus);
/* Bytes waiting in the receive queue; *dwRxBytes goes out as the input and receives the reply. */
FT_EXPORT FT_STATUS FT_CALL FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes);
/* As FT_GetQueueStatus, through the driver's extended queue request. */
FT_EXPORT FT_STATUS FT_CALL FT_GetQueueStatusEx(FT_HANDLE ftHandle, DWORD* dwRxBytes);
/* Pending event status; *dwEventDWord goes out as the input and receives the reply. */
FT_EXPORT FT_STATUS FT_CALL FT_GetEventStatus(FT_HANDLE ftHandle, DWORD* dwEventDWord);
/* The COM port number of the device, or -1 when it has none (also when the driver refuses). */
FT_EXPORT FT_STATUS FT_CALL FT_GetComPortNumber(FT_HANDLE ftHandle, LPLONG lpdwComPortNumber);
/* Puts the device's COM port into its idle state. */
FT_EXPORT FT_STATUS FT_CALL FT_ComPortIdle(FT_HANDLE ftHandle);
/* Takes the device's COM port out of its idle state. */
FT_EXPORT FT_STATUS FT_CALL FT_ComPortCancelIdle(FT_HANDLE ftHandle);
/* Vendor request by request code: Len bytes (at most 128) of the reply into Buf. */
FT_EXPORT FT_STATUS FT_CALL FT_VendorCmdGet(FT_HANDLE ftHandle, UCHAR Request, UCHAR* Buf,
                                            USHORT Len);
/* Vendor request by request code: sends Len bytes (at most 128) of Buf. */
FT_EXPORT FT_STATUS FT_CALL FT_VendorCmdSet(FT_HANDLE ftHandle, UCHAR Request, UCHAR* Buf,
                                            USHORT Len);
/* Vendor request by 16-bit value: Len bytes (at most 128) of the reply into Buf. */
FT_EXPORT FT_STATUS FT_CALL FT_VendorCmdGetEx(FT_HANDLE ftHandle, USHORT wValue, UCHAR* Buf,
                                              USHORT Len);
/* Vendor request by 16-bit value: sends Len bytes (at most 128) of Buf. */
FT_EXPORT FT_STATUS FT_CALL FT_VendorCmdSetEx(FT_HANDLE ftHandle, USHORT wValue, UCHAR* Buf,
                                              USHORT Len);

/* Win32-style comm functions: BOOL result, reason in FT_W32_GetLastError. Each looks its handle
 * up (ERROR_INVALID_HANDLE) and refuses a null required pointer (ERROR_INVALID_PARAMETER). */

/* Applies a DCB (28 bytes as given). */
FT_EXPORT BOOL FT_CALL FT_W32_SetCommState(FT_HANDLE ftHandle, LPDCB lpftDcb);
/* Reads the DCB, written only when the driver answers; fields it leaves alone keep their values. */
FT_EXPORT BOOL FT_CALL FT_W32_GetCommState(FT_HANDLE ftHandle, LPDCB lpftDcb);
/* Applies a COMMTIMEOUTS. */
FT_EXPORT BOOL FT_CALL FT_W32_SetCommTimeouts(FT_HANDLE ftHandle, LPCOMMTIMEOUTS pTimeouts);
/* Reads the COMMTIMEOUTS; written only when the driver answers. */
FT_EXPORT BOOL FT_CALL FT_W32_GetCommTimeouts(FT_HANDLE ftHandle, LPCOMMTIMEOUTS pTimeouts);
/* Sets the events FT_W32_WaitCommEvent waits for. */
FT_EXPORT BOOL FT_CALL FT_W32_SetCommMask(FT_HANDLE ftHandle, ULONG ulEventMask);
/* Reads the event mask; written only when the driver answers. */
FT_EXPORT BOOL FT_CALL FT_W32_GetCommMask(FT_HANDLE ftHandle, LPDWORD lpdwEventMask);
/* Waits for an event of the comm mask; with an OVERLAPPED it may complete later, into *pulEvent. */
FT_EXPORT BOOL FT_CALL FT_W32_WaitCommEvent(FT_HANDLE ftHandle, PULONG pulEvent,
                                            LPOVERLAPPED lpOverlapped);
/* Reads the modem status; written only when the driver answers. */
FT_EXPORT BOOL FT_CALL FT_W32_GetCommModemStatus(FT_HANDLE ftHandle, LPDWORD lpdwModemStatus);
/* Clears the line errors and reports them and a COMSTAT; both outputs may be null. */
FT_EXPORT BOOL FT_CALL FT_W32_ClearCommError(FT_HANDLE ftHandle, LPDWORD lpdwErrors,
                                             LPCOMSTAT lpftComstat);
/* Empties buffers by the Win32 PURGE_* flags (abort and clear act alike). */
FT_EXPORT BOOL FT_CALL FT_W32_PurgeComm(FT_HANDLE ftHandle, DWORD dwMask);
/* Starts a break condition on the transmit line. */
FT_EXPORT BOOL FT_CALL FT_W32_SetCommBreak(FT_HANDLE ftHandle);
/* Ends the break condition. */
FT_EXPORT BOOL FT_CALL FT_W32_ClearCommBreak(FT_HANDLE ftHandle);
/* SETRTS, CLRRTS, SETDTR, CLRDTR, SETBREAK or CLRBREAK; any other code sends nothing and
 * succeeds. */
FT_EXPORT BOOL FT_CALL FT_W32_EscapeCommFunction(FT_HANDLE ftHandle, DWORD dwFunc);
/* Accepts the buffer sizes without sending anything (the driver sizes its own queues). */
FT_EXPORT BOOL FT_CALL FT_W32_SetupComm(FT_HANDLE ftHandle, DWORD dwReadBufferSize,
                                        DWORD dwWriteBufferSize);

/* ---------------------------------------------------------------------------------------------
 * Data transfer
 * ------------------------------------------------------------------------------------------- */

/* Reads up to dwBytesToRead bytes, waiting at most the read time-out; a partial read is FT_OK
 * with its count. */
FT_EXPORT FT_STATUS FT_CALL FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead,
                                    LPDWORD lpBytesReturned);
/* Writes dwBytesToWrite bytes, waiting at most the write time-out; a partial write is FT_OK with
 * its count. */
FT_EXPORT FT_STATUS FT_CALL FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite,
                                     LPDWORD lpBytesWritten);
/* ReadFile on the device: with an OVERLAPPED it may return FALSE with ERROR_IO_PENDING and
 * complete later. */
FT_EXPORT BOOL FT_CALL FT_W32_ReadFile(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD nBufferSize,
                                       LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);
/* WriteFile on the device: with an OVERLAPPED it may return FALSE with ERROR_IO_PENDING and
 * complete later. */
FT_EXPORT BOOL FT_CALL FT_W32_WriteFile(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD nBufferSize,
                                        LPDWORD lpBytesWritten, LPOVERLAPPED lpOverlapped);
/* The outcome and count of an overlapped read, write or event wait; bWait waits for it to
 * finish. */
FT_EXPORT BOOL FT_CALL FT_W32_GetOverlappedResult(FT_HANDLE ftHandle, LPOVERLAPPED lpOverlapped,
                                                  LPDWORD lpdwBytesTransferred, BOOL bWait);
/* Cancels the overlapped requests the calling thread issued on this handle. */
FT_EXPORT BOOL FT_CALL FT_W32_CancelIo(FT_HANDLE ftHandle);
/* The calling thread's last error; the handle plays no part. */
FT_EXPORT DWORD FT_CALL FT_W32_GetLastError(FT_HANDLE ftHandle);

/* ---------------------------------------------------------------------------------------------
 * Reset, rescan and reload
 * ------------------------------------------------------------------------------------------- */

/* Resets the device. */
FT_EXPORT FT_STATUS FT_CALL FT_ResetDevice(FT_HANDLE ftHandle);
/* Resets the device's USB port. */
FT_EXPORT FT_STATUS FT_CALL FT_ResetPort(FT_HANDLE ftHandle);
/* Cycles the device's USB port: the device leaves the bus and is enumerated again. */
FT_EXPORT FT_STATUS FT_CALL FT_CyclePort(FT_HANDLE ftHandle);
/* Stops the driver reading from the device until FT_RestartInTask. */
FT_EXPORT FT_STATUS FT_CALL FT_StopInTask(FT_HANDLE ftHandle);
/* Lets the driver read from the device again after FT_StopInTask. */
FT_EXPORT FT_STATUS FT_CALL FT_RestartInTask(FT_HANDLE ftHandle);
/* Asks every USB root hub to enumerate its ports again. */
FT_EXPORT FT_STATUS FT_CALL FT_Rescan(void);
/* Restarts every present device with this vendor and product ID (both 0: the USB root hubs)
 * and prints one line per device on standard output. Always FT_OK. */
FT_EXPORT FT_STATUS FT_CALL FT_Reload(WORD wVid, WORD wPid);

/* ---------------------------------------------------------------------------------------------
 * EEPROM programming
 *
 * Every bridge chip keeps its USB identity and pin options in a small configuration EEPROM. The
 * records below are exchanged with the EEPROM functions; their 32-bit layouts are fixed (pinned
 * below). FT_PROGRAM_DATA carries four string pointers, so on a 64-bit build its later fields
 * move; the FT_EEPROM_* records hold no pointers and are the same everywhere.
 *
 * Text buffers handed to the read functions receive at most 64 bytes each: up to 63 characters
 * and the terminator.
 * ------------------------------------------------------------------------------------------- */

/* The record of FT_EE_Program and FT_EE_Read: the common identity fields, then one block per chip
 * family. Signature1 0 and Signature2 0xFFFFFFFF mark this layout; anything else is taken as
 * FT_PROGRAM_DATA_LEGACY. Flags are true when not 0. */
typedef struct ft_program_data {
  DWORD Signature1; /* 0x00000000 */
  DWORD Signature2; /* 0xFFFFFFFF */
  DWORD Version;    /* set when a legacy record is converted; never read */
  WORD VendorId;
  WORD ProductId;
  char* Manufacturer;   /* NUL-terminated; read: a 64-byte buffer or null */
  char* ManufacturerId; /* serial number prefix; read: the serial number's first two characters */
  char* Description;
  char* SerialNumber; /* program: null or empty generates one from ManufacturerId */
  WORD MaxPower;      /* mA, at most 500 */
  WORD PnP;
  WORD SelfPowered;
  WORD RemoteWakeup;
  /* 232B block */
  UCHAR Rev4;
  UCHAR IsoIn;
  UCHAR IsoOut;
  UCHAR PullDownEnable;
  UCHAR SerNumEnable;
  UCHAR USBVersionEnable;
  WORD USBVersion;
  /* 2232 block */
  UCHAR Rev5;
  UCHAR IsoInA;
  UCHAR IsoInB;
  UCHAR IsoOutA;
  UCHAR IsoOutB;
  UCHAR PullDownEnable5;
  UCHAR SerNumEnable5;
  UCHAR USBVersionEnable5;
  WORD USBVersion5;
  UCHAR AIsHighCurrent;
  UCHAR BIsHighCurrent;
  UCHAR IFAIsFifo;
  UCHAR IFAIsFifoTar;
  UCHAR IFAIsFastSer;
  UCHAR AIsVCP;
  UCHAR IFBIsFifo;
  UCHAR IFBIsFifoTar;
  UCHAR IFBIsFastSer;
  UCHAR BIsVCP;
  /* 232R block */
  UCHAR UseExtOsc;
  UCHAR HighDriveIOs;
  UCHAR EndpointSize;
  UCHAR PullDownEnableR;
  UCHAR SerNumEnableR;
  UCHAR InvertTXD;
  UCHAR InvertRXD;
  UCHAR InvertRTS;
  UCHAR InvertCTS;
  UCHAR InvertDTR;
  UCHAR InvertDSR;
  UCHAR InvertDCD;
  UCHAR InvertRI;
  UCHAR Cbus0;
  UCHAR Cbus1;
  UCHAR Cbus2;
  UCHAR Cbus3;
  UCHAR Cbus4;
  UCHAR RIsD2XX;
  /* 2232H block */
  UCHAR PullDownEnable7;
  UCHAR SerNumEnable7;
  UCHAR ALSlowSlew;
  UCHAR ALSchmittInput;
  UCHAR ALDriveCurrent; /* mA: 4, 8, 12 or 16 */
  UCHAR AHSlowSlew;
  UCHAR AHSchmittInput;
  UCHAR AHDriveCurrent;
  UCHAR BLSlowSlew;
  UCHAR BLSchmittInput;
  UCHAR BLDriveCurrent;
  UCHAR BHSlowSlew;
  UCHAR BHSchmittInput;
  UCHAR BHDriveCurrent;
  UCHAR IFAIsFifo7;
  UCHAR IFAIsFifoTar7;
  UCHAR IFAIsFastSer7;
  UCHAR AIsVCP7;
  UCHAR IFBIsFifo7;
  UCHAR IFBIsFifoTar7;
  UCHAR IFBIsFastSer7;
  UCHAR BIsVCP7;
  UCHAR PowerSaveEnable;
  /* 4232H block */
  UCHAR PullDownEnable8;
  UCHAR SerNumEnable8;
  UCHAR ASlowSlew;
  UCHAR ASchmittInput;
  UCHAR ADriveCurrent;
  UCHAR BSlowSlew;
  UCHAR BSchmittInput;
  UCHAR BDriveCurrent;
  UCHAR CSlowSlew;
  UCHAR CSchmittInput;
  UCHAR CDriveCurrent;
  UCHAR DSlowSlew;
  UCHAR DSchmittInput;
  UCHAR DDriveCurrent;
  UCHAR ARIIsTXDEN;
  UCHAR BRIIsTXDEN;
  UCHAR CRIIsTXDEN;
  UCHAR DRIIsTXDEN;
  UCHAR AIsVCP8;
  UCHAR BIsVCP8;
  UCHAR CIsVCP8;
  UCHAR DIsVCP8;
  /* 232H block */
  UCHAR PullDownEnableH;
  UCHAR SerNumEnableH;
  UCHAR ACSlowSlewH;
  UCHAR ACSchmittInputH;
  UCHAR ACDriveCurrentH;
  UCHAR ADSlowSlewH;
  UCHAR ADSchmittInputH;
  UCHAR ADDriveCurrentH;
  UCHAR Cbus0H;
  UCHAR Cbus1H;
  UCHAR Cbus2H;
  UCHAR Cbus3H;
  UCHAR Cbus4H;
  UCHAR Cbus5H;
  UCHAR Cbus6H;
  UCHAR Cbus7H;
  UCHAR Cbus8H;
  UCHAR Cbus9H;
  UCHAR IsFifoH;
  UCHAR IsFifoTarH;
  UCHAR IsFastSerH;
  UCHAR IsFT1248H;
  UCHAR FT1248CpolH;
  UCHAR FT1248LsbH;
  UCHAR FT1248FlowControlH;
  UCHAR IsVCPH;
  UCHAR PowerSaveEnableH;
} FT_PROGRAM_DATA, *PFT_PROGRAM_DATA;

/* The older form of FT_PROGRAM_DATA: the same fields without the signature header, in natural
 * alignment (on a 64-bit build four bytes of padding follow ProductId). A chip reads and writes
 * only the fields up to the end of its own block: 36 bytes for the 232B family, 56 for the 2232,
 * 98 for the 2232H, 120 for the 4232H and 147 for the 232H on a 32-bit build. The 232R does not
 * take this form. */
typedef struct ft_program_data_legacy {
  WORD VendorId;
  WORD ProductId;
  char* Manufacturer;
  char* ManufacturerId;
  char* Description;
  char* SerialNumber;
  WORD MaxPower;
  WORD PnP;
  WORD SelfPowered;
  WORD RemoteWakeup;
  UCHAR Rev4;
  UCHAR IsoIn;
  UCHAR IsoOut;
  UCHAR PullDownEnable;
  UCHAR SerNumEnable;
  UCHAR USBVersionEnable;
  WORD USBVersion;
  UCHAR Rev5;
  UCHAR IsoInA;
  UCHAR IsoInB;
  UCHAR IsoOutA;
  UCHAR IsoOutB;
  UCHAR PullDownEnable5;
  UCHAR SerNumEnable5;
  UCHAR USBVersionEnable5;
  WORD USBVersion5;
  UCHAR AIsHighCurrent;
  UCHAR BIsHighCurrent;
  UCHAR IFAIsFifo;
  UCHAR IFAIsFifoTar;
  UCHAR IFAIsFastSer;
  UCHAR AIsVCP;
  UCHAR IFBIsFifo;
  UCHAR IFBIsFifoTar;
  UCHAR IFBIsFastSer;
  UCHAR BIsVCP;
  UCHAR UseExtOsc;
  UCHAR HighDriveIOs;
  UCHAR EndpointSize;
  UCHAR PullDownEnableR;
  UCHAR SerNumEnableR;
  UCHAR InvertTXD;
  UCHAR InvertRXD;
  UCHAR InvertRTS;
  UCHAR InvertCTS;
  UCHAR InvertDTR;
  UCHAR InvertDSR;
  UCHAR InvertDCD;
  UCHAR InvertRI;
  UCHAR Cbus0;
  UCHAR Cbus1;
  UCHAR Cbus2;
  UCHAR Cbus3;
  UCHAR Cbus4;
  UCHAR RIsD2XX;
  UCHAR PullDownEnable7;
  UCHAR SerNumEnable7;
  UCHAR ALSlowSlew;
  UCHAR ALSchmittInput;
  UCHAR ALDriveCurrent;
  UCHAR AHSlowSlew;
  UCHAR AHSchmittInput;
  UCHAR AHDriveCurrent;
  UCHAR BLSlowSlew;
  UCHAR BLSchmittInput;
  UCHAR BLDriveCurrent;
  UCHAR BHSlowSlew;
  UCHAR BHSchmittInput;
  UCHAR BHDriveCurrent;
  UCHAR IFAIsFifo7;
  UCHAR IFAIsFifoTar7;
  UCHAR IFAIsFastSer7;
  UCHAR AIsVCP7;
  UCHAR IFBIsFifo7;
  UCHAR IFBIsFifoTar7;
  UCHAR IFBIsFastSer7;
  UCHAR BIsVCP7;
  UCHAR PowerSaveEnable;
  UCHAR PullDownEnable8;
  UCHAR SerNumEnable8;
  UCHAR ASlowSlew;
  UCHAR ASchmittInput;
  UCHAR ADriveCurrent;
  UCHAR BSlowSlew;
  UCHAR BSchmittInput;
  UCHAR BDriveCurrent;
  UCHAR CSlowSlew;
  UCHAR CSchmittInput;
  UCHAR CDriveCurrent;
  UCHAR DSlowSlew;
  UCHAR DSchmittInput;
  UCHAR DDriveCurrent;
  UCHAR ARIIsTXDEN;
  UCHAR BRIIsTXDEN;
  UCHAR CRIIsTXDEN;
  UCHAR DRIIsTXDEN;
  UCHAR AIsVCP8;
  UCHAR BIsVCP8;
  UCHAR CIsVCP8;
  UCHAR DIsVCP8;
  UCHAR PullDownEnableH;
  UCHAR SerNumEnableH;
  UCHAR ACSlowSlewH;
  UCHAR ACSchmittInputH;
  UCHAR ACDriveCurrentH;
  UCHAR ADSlowSlewH;
  UCHAR ADSchmittInputH;
  UCHAR ADDriveCurrentH;
  UCHAR Cbus0H;
  UCHAR Cbus1H;
  UCHAR Cbus2H;
  UCHAR Cbus3H;
  UCHAR Cbus4H;
  UCHAR Cbus5H;
  UCHAR Cbus6H;
  UCHAR Cbus7H;
  UCHAR Cbus8H;
  UCHAR Cbus9H;
  UCHAR IsFifoH;
  UCHAR IsFifoTarH;
  UCHAR IsFastSerH;
  UCHAR IsFT1248H;
  UCHAR FT1248CpolH;
  UCHAR FT1248LsbH;
  UCHAR FT1248FlowControlH;
  UCHAR IsVCPH;
  UCHAR PowerSaveEnableH;
} FT_PROGRAM_DATA_LEGACY;

/* The first 16 bytes of every FT_EEPROM_* record. deviceType must be the handle's FT_DEVICE. */
typedef struct ft_eeprom_header {
  FT_DEVICE deviceType;
  WORD VendorId;
  WORD ProductId;
  UCHAR SerNumEnable;
  WORD MaxPower; /* mA, at most 500 */
  UCHAR SelfPowered;
  UCHAR RemoteWakeup;
  UCHAR PullDownEnable;
} FT_EEPROM_HEADER, *PFT_EEPROM_HEADER;

/* In the chip records below, flags are true when not 0, drive currents are 4, 8, 12 or 16 mA
 * (anything else is stored as 4) and a DriverType of 1 selects the virtual COM port driver. */

/* FT_DEVICE_BM: the header alone. */
typedef struct ft_eeprom_232b {
  FT_EEPROM_HEADER common;
} FT_EEPROM_232B, *PFT_EEPROM_232B;

/* FT_DEVICE_2232C. */
typedef struct ft_eeprom_2232 {
  FT_EEPROM_HEADER common;
  UCHAR AIsHighCurrent;
  UCHAR BIsHighCurrent;
  UCHAR AIsFifo;
  UCHAR AIsFifoTar;
  UCHAR AIsFastSer;
  UCHAR BIsFifo;
  UCHAR BIsFifoTar;
  UCHAR BIsFastSer;
  UCHAR ADriverType;
  UCHAR BDriverType;
} FT_EEPROM_2232, *PFT_EEPROM_2232;

/* FT_DEVICE_232R. CBUS functions 0..12. */
typedef struct ft_eeprom_232r {
  FT_EEPROM_HEADER common;
  UCHAR UseExtOsc;
  UCHAR HighDriveIOs;
  UCHAR InvertTXD;
  UCHAR InvertRXD;
  UCHAR InvertRTS;
  UCHAR InvertCTS;
  UCHAR InvertDTR;
  UCHAR InvertDSR;
  UCHAR InvertDCD;
  UCHAR InvertRI;
  UCHAR Cbus0;
  UCHAR Cbus1;
  UCHAR Cbus2;
  UCHAR Cbus3;
  UCHAR Cbus4;
  UCHAR RIsD2XX; /* 0 selects the virtual COM port driver */
} FT_EEPROM_232R, *PFT_EEPROM_232R;

/* FT_DEVICE_2232H. */
typedef struct ft_eeprom_2232h {
  FT_EEPROM_HEADER common;
  UCHAR ALSlowSlew;
  UCHAR ALSchmittInput;
  UCHAR ALDriveCurrent;
  UCHAR AHSlowSlew;
  UCHAR AHSchmittInput;
  UCHAR AHDriveCurrent;
  UCHAR BLSlowSlew;
  UCHAR BLSchmittInput;
  UCHAR BLDriveCurrent;
  UCHAR BHSlowSlew;
  UCHAR BHSchmittInput;
  UCHAR BHDriveCurrent;
  UCHAR AIsFifo;
  UCHAR AIsFifoTar;
  UCHAR AIsFastSer;
  UCHAR BIsFifo;
  UCHAR BIsFifoTar;
  UCHAR BIsFastSer;
  UCHAR PowerSaveEnable;
  UCHAR ADriverType;
  UCHAR BDriverType;
} FT_EEPROM_2232H, *PFT_EEPROM_2232H;

/* FT_DEVICE_4232H. */
typedef struct ft_eeprom_4232h {
  FT_EEPROM_HEADER common;
  UCHAR ASlowSlew;
  UCHAR ASchmittInput;
  UCHAR ADriveCurrent;
  UCHAR BSlowSlew;
  UCHAR BSchmittInput;
  UCHAR BDriveCurrent;
  UCHAR CSlowSlew;
  UCHAR CSchmittInput;
  UCHAR CDriveCurrent;
  UCHAR DSlowSlew;
  UCHAR DSchmittInput;
  UCHAR DDriveCurrent;
  UCHAR ARIIsTXDEN;
  UCHAR BRIIsTXDEN;
  UCHAR CRIIsTXDEN;
  UCHAR DRIIsTXDEN;
  UCHAR ADriverType;
  UCHAR BDriverType;
  UCHAR CDriverType;
  UCHAR DDriverType;
} FT_EEPROM_4232H, *PFT_EEPROM_4232H;

/* FT_DEVICE_232H. CBUS functions 0..12; of the four interface modes the first set one wins. */
typedef struct ft_eeprom_232h {
  FT_EEPROM_HEADER common;
  UCHAR ACSlowSlew;
  UCHAR ACSchmittInput;
  UCHAR ACDriveCurrent;
  UCHAR ADSlowSlew;
  UCHAR ADSchmittInput;
  UCHAR ADDriveCurrent;
  UCHAR Cbus0;
  UCHAR Cbus1;
  UCHAR Cbus2;
  UCHAR Cbus3;
  UCHAR Cbus4;
  UCHAR Cbus5;
  UCHAR Cbus6;
  UCHAR Cbus7;
  UCHAR Cbus8;
  UCHAR Cbus9;
  UCHAR FT1248Cpol;
  UCHAR FT1248Lsb;
  UCHAR FT1248FlowControl;
  UCHAR IsFifo;
  UCHAR IsFifoTar;
  UCHAR IsFastSer;
  UCHAR IsFT1248;
  UCHAR PowerSaveEnable;
  UCHAR DriverType;
} FT_EEPROM_232H, *PFT_EEPROM_232H;

/* FT_DEVICE_X_SERIES. CBUS functions 0..21; I2CDeviceId keeps 24 bits. */
typedef struct ft_eeprom_x_series {
  FT_EEPROM_HEADER common;
  UCHAR ACSlowSlew;
  UCHAR ACSchmittInput;
  UCHAR ACDriveCurrent;
  UCHAR ADSlowSlew;
  UCHAR ADSchmittInput;
  UCHAR ADDriveCurrent;
  UCHAR Cbus0;
  UCHAR Cbus1;
  UCHAR Cbus2;
  UCHAR Cbus3;
  UCHAR Cbus4;
  UCHAR Cbus5;
  UCHAR Cbus6;
  UCHAR InvertTXD;
  UCHAR InvertRXD;
  UCHAR InvertRTS;
  UCHAR InvertCTS;
  UCHAR InvertDTR;
  UCHAR InvertDSR;
  UCHAR InvertDCD;
  UCHAR InvertRI;
  UCHAR BCDEnable;
  UCHAR BCDForceCbusPWREN;
  UCHAR BCDDisableSleep;
  WORD I2CSlaveAddress;
  DWORD I2CDeviceId;
  UCHAR I2CDisableSchmitt;
  UCHAR FT1248Cpol;
  UCHAR FT1248Lsb;
  UCHAR FT1248FlowControl;
  UCHAR RS485EchoSuppress;
  UCHAR PowerSaveEnable;
  UCHAR DriverType;
} FT_EEPROM_X_SERIES, *PFT_EEPROM_X_SERIES;

/* Layouts callers depend on. The offsets after the string pointers of FT_PROGRAM_DATA grow by 16
 * on a 64-bit build (four 8-byte pointers instead of 4-byte ones). */
#define FT_PD_AT(off32) ((off32) + (sizeof(void*) == 4 ? 0 : 16))
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, Version) == 8, "Version at 8");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, VendorId) == 12, "VendorId at 12");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, Manufacturer) == 16, "Manufacturer at 16");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, SerialNumber) == 16 + 3 * sizeof(void*),
                 "SerialNumber at 28 (40 on 64-bit)");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, MaxPower) == FT_PD_AT(32), "MaxPower at 32");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, Rev4) == FT_PD_AT(40), "232B block at 40");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, USBVersion) == FT_PD_AT(46), "USBVersion at 46");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, Rev5) == FT_PD_AT(48), "2232 block at 48");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, USBVersion5) == FT_PD_AT(56), "USBVersion5 at 56");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, BIsVCP) == FT_PD_AT(67), "BIsVCP at 67");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, UseExtOsc) == FT_PD_AT(68), "232R block at 68");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, RIsD2XX) == FT_PD_AT(86), "RIsD2XX at 86");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, PullDownEnable7) == FT_PD_AT(87), "2232H block at 87");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, PowerSaveEnable) == FT_PD_AT(109), "2232H ends 109");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, PullDownEnable8) == FT_PD_AT(110), "4232H block at 110");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, DIsVCP8) == FT_PD_AT(131), "4232H ends 131");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, PullDownEnableH) == FT_PD_AT(132), "232H block at 132");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA, PowerSaveEnableH) == FT_PD_AT(158), "232H ends 158");
FT_STATIC_ASSERT(sizeof(FT_PROGRAM_DATA) == FT_PD_AT(160), "FT_PROGRAM_DATA is 160 bytes");
#undef FT_PD_AT

#define FT_PDL_AT(off32) ((off32) + (sizeof(void*) == 4 ? 0 : 20))
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA_LEGACY, Manufacturer) == sizeof(void*),
                 "legacy strings after the IDs");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA_LEGACY, USBVersion) + 2 == FT_PDL_AT(36), "232B: 36");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA_LEGACY, BIsVCP) + 1 == FT_PDL_AT(56), "2232: 56");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA_LEGACY, PowerSaveEnable) + 1 == FT_PDL_AT(98),
                 "2232H: 98");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA_LEGACY, DIsVCP8) + 1 == FT_PDL_AT(120), "4232H: 120");
FT_STATIC_ASSERT(offsetof(FT_PROGRAM_DATA_LEGACY, PowerSaveEnableH) + 1 == FT_PDL_AT(147),
                 "232H: 147");
#undef FT_PDL_AT

FT_STATIC_ASSERT(offsetof(FT_EEPROM_HEADER, VendorId) == 4, "VendorId at 4");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_HEADER, SerNumEnable) == 8, "SerNumEnable at 8");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_HEADER, MaxPower) == 10, "MaxPower at 10");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_HEADER, SelfPowered) == 12, "SelfPowered at 12");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_HEADER, PullDownEnable) == 14, "PullDownEnable at 14");
FT_STATIC_ASSERT(sizeof(FT_EEPROM_HEADER) == 16, "header is 16 bytes");
FT_STATIC_ASSERT(sizeof(FT_EEPROM_232B) == 16, "232B record is 16 bytes");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_2232, BDriverType) == 25, "2232 BDriverType at 25");
FT_STATIC_ASSERT(sizeof(FT_EEPROM_2232) == 28, "2232 record is 28 bytes");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_232R, Cbus0) == 26, "232R Cbus0 at 26");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_232R, RIsD2XX) == 31, "232R RIsD2XX at 31");
FT_STATIC_ASSERT(sizeof(FT_EEPROM_232R) == 32, "232R record is 32 bytes");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_2232H, AIsFifo) == 28, "2232H AIsFifo at 28");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_2232H, BDriverType) == 36, "2232H BDriverType at 36");
FT_STATIC_ASSERT(sizeof(FT_EEPROM_2232H) == 40, "2232H record is 40 bytes");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_4232H, ARIIsTXDEN) == 28, "4232H ARIIsTXDEN at 28");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_4232H, DDriverType) == 35, "4232H DDriverType at 35");
FT_STATIC_ASSERT(sizeof(FT_EEPROM_4232H) == 36, "4232H record is 36 bytes");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_232H, Cbus0) == 22, "232H Cbus0 at 22");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_232H, FT1248Cpol) == 32, "232H FT1248Cpol at 32");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_232H, DriverType) == 40, "232H DriverType at 40");
FT_STATIC_ASSERT(sizeof(FT_EEPROM_232H) == 44, "232H record is 44 bytes");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_X_SERIES, Cbus0) == 22, "X Cbus0 at 22");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_X_SERIES, InvertTXD) == 29, "X InvertTXD at 29");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_X_SERIES, BCDEnable) == 37, "X BCDEnable at 37");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_X_SERIES, I2CSlaveAddress) == 40, "X I2CSlaveAddress at 40");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_X_SERIES, I2CDeviceId) == 44, "X I2CDeviceId at 44");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_X_SERIES, I2CDisableSchmitt) == 48, "X at 48");
FT_STATIC_ASSERT(offsetof(FT_EEPROM_X_SERIES, DriverType) == 54, "X DriverType at 54");
FT_STATIC_ASSERT(sizeof(FT_EEPROM_X_SERIES) == 56, "X series record is 56 bytes");

/* Word access. One 16-bit EEPROM word by index. */
FT_EXPORT FT_STATUS FT_CALL FT_ReadEE(FT_HANDLE ftHandle, DWORD dwWordOffset, LPWORD lpwValue);
FT_EXPORT FT_STATUS FT_CALL FT_WriteEE(FT_HANDLE ftHandle, DWORD dwWordOffset, WORD wValue);
/* Erases the whole EEPROM (every word reads 0xFFFF afterwards). */
FT_EXPORT FT_STATUS FT_CALL FT_EraseEE(FT_HANDLE ftHandle);

/* Decodes the device's EEPROM into pData; its four string pointers (each may be null) receive
 * the texts. FT_EEPROM_NOT_PROGRAMMED for a blank EEPROM, FT_EEPROM_NOT_PRESENT without one,
 * FT_NOT_SUPPORTED for an FT_DEVICE_X_SERIES device (use FT_EEPROM_Read). */
FT_EXPORT FT_STATUS FT_CALL FT_EE_Read(FT_HANDLE ftHandle, PFT_PROGRAM_DATA pData);
/* FT_EE_Read with the four text buffers stored into pData first (null pData: FT_INVALID_ARGS). */
FT_EXPORT FT_STATUS FT_CALL FT_EE_ReadEx(FT_HANDLE ftHandle, PFT_PROGRAM_DATA pData,
                                         char* Manufacturer, char* ManufacturerId,
                                         char* Description, char* SerialNumber);
/* Builds an image from pData and programs it (erase, write, verify). Manufacturer,
 * ManufacturerId and Description are required; texts that do not fit give FT_OTHER_ERROR with
 * the device untouched. FT_NOT_SUPPORTED for an FT_DEVICE_X_SERIES device. */
FT_EXPORT FT_STATUS FT_CALL FT_EE_Program(FT_HANDLE ftHandle, PFT_PROGRAM_DATA pData);
/* FT_EE_Program with the four texts stored into pData first (null pData: FT_INVALID_ARGS). */
FT_EXPORT FT_STATUS FT_CALL FT_EE_ProgramEx(FT_HANDLE ftHandle, PFT_PROGRAM_DATA pData,
                                            char* Manufacturer, char* ManufacturerId,
                                            char* Description, char* SerialNumber);

/* The user area: the EEPROM space the configuration leaves free, in bytes. */
FT_EXPORT FT_STATUS FT_CALL FT_EE_UASize(FT_HANDLE ftHandle, LPDWORD lpdwSize);
/* Reads up to dwDataLen bytes; *lpdwBytesRead receives the count (untouched when dwDataLen is
 * 0). */
FT_EXPORT FT_STATUS FT_CALL FT_EE_UARead(FT_HANDLE ftHandle, PUCHAR pucData, DWORD dwDataLen,
                                         LPDWORD lpdwBytesRead);
/* Rewrites the user area from its start and programs the whole image; more bytes than
 * FT_EE_UASize reports give FT_EEPROM_WRITE_FAILED with the device untouched. */
FT_EXPORT FT_STATUS FT_CALL FT_EE_UAWrite(FT_HANDLE ftHandle, PUCHAR pucData, DWORD dwDataLen);

/* Configuration bytes and ECC words of FT_DEVICE_232H and FT_DEVICE_X_SERIES devices;
 * FT_NOT_SUPPORTED on any other. */
FT_EXPORT FT_STATUS FT_CALL FT_EE_ReadConfig(FT_HANDLE ftHandle, UCHAR ucAddress, PUCHAR pucValue);
FT_EXPORT FT_STATUS FT_CALL FT_EE_WriteConfig(FT_HANDLE ftHandle, UCHAR ucAddress, UCHAR ucValue);
FT_EXPORT FT_STATUS FT_CALL FT_EE_ReadECC(FT_HANDLE ftHandle, UCHAR ucOption, LPWORD lpwValue);

/* Reads the EEPROM into the chip record of the handle's device type (eepromData points to an
 * FT_EEPROM_* record whose common.deviceType is that type, eepromDataSize its size) and the four
 * texts into 64-byte buffers, none of them null. */
FT_EXPORT FT_STATUS FT_CALL FT_EEPROM_Read(FT_HANDLE ftHandle, void* eepromData,
                                           DWORD eepromDataSize, char* Manufacturer,
                                           char* ManufacturerId, char* Description,
                                           char* SerialNumber);
/* Builds an image from the chip record and the texts and programs it. SerialNumber null or empty
 * generates one from ManufacturerId. Texts that do not fit the chip's string area give
 * FT_INVALID_PARAMETER with the device untouched. */
FT_EXPORT FT_STATUS FT_CALL FT_EEPROM_Program(FT_HANDLE ftHandle, void* eepromData,
                                              DWORD eepromDataSize, const char* Manufacturer,
                                              const char* ManufacturerId, const char* Description,
                                              const char* SerialNumber);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* RALVEX_BRIDGE_H */
