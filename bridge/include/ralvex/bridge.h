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

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/win32_types.h"
#endif

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
/* The driver's version word for an open device. */
FT_EXPORT FT_STATUS FT_CALL FT_GetDriverVersion(FT_HANDLE ftHandle, LPDWORD lpdwVersion);
/* Chip family, (VID << 16) | PID, serial number (16-byte buffer), description (64-byte buffer)
 * and the driver's extra word. Every output may be null. An unknown handle gives
 * FT_NOT_SUPPORTED; a status the driver reports is passed through. */
FT_EXPORT FT_STATUS FT_CALL FT_GetDeviceInfo(FT_HANDLE ftHandle, FT_DEVICE* lpftDevice,
                                             LPDWORD lpdwID, PCHAR SerialNumber, PCHAR Description,
                                             LPDWORD lpdwExtra);
/* Sends one driver request. The request slot is taken from bits 2-13 of dwIoControlCode (a full
 * code such as 0x0022009C or its low bits 0x9C both name slot 39) and mapped through the
 * handle's request table; codes naming a slot beyond 125 give FT_INVALID_PARAMETER. */
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
FT_EXPORT FT_STATUS FT_CALL FT_Close(FT_HANDLE ftHandle);
FT_EXPORT BOOL FT_CALL FT_W32_CloseHandle(FT_HANDLE ftHandle);

/* ---------------------------------------------------------------------------------------------
 * Port configuration and status
 * ------------------------------------------------------------------------------------------- */

FT_EXPORT FT_STATUS FT_CALL FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate);
FT_EXPORT FT_STATUS FT_CALL FT_SetDivisor(FT_HANDLE ftHandle, USHORT Divisor);
FT_EXPORT FT_STATUS FT_CALL FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR WordLength,
                                                      UCHAR StopBits, UCHAR Parity);
FT_EXPORT FT_STATUS FT_CALL FT_SetFlowControl(FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar,
                                              UCHAR XoffChar);
FT_EXPORT FT_STATUS FT_CALL FT_SetChars(FT_HANDLE ftHandle, UCHAR EventChar, UCHAR EventCharEnabled,
                                        UCHAR ErrorChar, UCHAR ErrorCharEnabled);
FT_EXPORT FT_STATUS FT_CALL FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout,
                                           ULONG WriteTimeout);
FT_EXPORT FT_STATUS FT_CALL FT_SetDtr(FT_HANDLE ftHandle);
FT_EXPORT FT_STATUS FT_CALL FT_ClrDtr(FT_HANDLE ftHandle);
FT_EXPORT FT_STATUS FT_CALL FT_SetRts(FT_HANDLE ftHandle);
FT_EXPORT FT_STATUS FT_CALL FT_ClrRts(FT_HANDLE ftHandle);
FT_EXPORT FT_STATUS FT_CALL FT_SetBreakOn(FT_HANDLE ftHandle);
FT_EXPORT FT_STATUS FT_CALL FT_SetBreakOff(FT_HANDLE ftHandle);
FT_EXPORT FT_STATUS FT_CALL FT_Purge(FT_HANDLE ftHandle, ULONG Mask);
FT_EXPORT FT_STATUS FT_CALL FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR ucLatency);
FT_EXPORT FT_STATUS FT_CALL FT_GetLatencyTimer(FT_HANDLE ftHandle, PUCHAR pucLatency);
FT_EXPORT FT_STATUS FT_CALL FT_SetBitMode(FT_HANDLE ftHandle, UCHAR ucMask, UCHAR ucEnable);
FT_EXPORT FT_STATUS FT_CALL FT_GetBitMode(FT_HANDLE ftHandle, PUCHAR pucMode);
FT_EXPORT FT_STATUS FT_CALL FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize,
                                                ULONG ulOutTransferSize);
FT_EXPORT FT_STATUS FT_CALL FT_SetDeadmanTimeout(FT_HANDLE ftHandle, ULONG ulDeadmanTimeout);
FT_EXPORT FT_STATUS FT_CALL FT_SetResetPipeRetryCount(FT_HANDLE ftHandle, DWORD dwCount);
/* The driver receives the low 32 bits of the handle value and of Param. */
FT_EXPORT FT_STATUS FT_CALL FT_SetEventNotification(FT_HANDLE ftHandle, DWORD Mask, PVOID Param);
FT_EXPORT FT_STATUS FT_CALL FT_SetWaitMask(FT_HANDLE ftHandle, DWORD Mask);
FT_EXPORT FT_STATUS FT_CALL FT_WaitOnMask(FT_HANDLE ftHandle, DWORD* Mask);
FT_EXPORT FT_STATUS FT_CALL FT_GetStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes, DWORD* dwTxBytes,
                                         DWORD* dwEventDWord);
FT_EXPORT FT_STATUS FT_CALL FT_GetModemStatus(FT_HANDLE ftHandle, ULONG* pModemStatus);
FT_EXPORT FT_STATUS FT_CALL FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes);
FT_EXPORT FT_STATUS FT_CALL FT_GetQueueStatusEx(FT_HANDLE ftHandle, DWORD* dwRxBytes);
FT_EXPORT FT_STATUS FT_CALL FT_GetEventStatus(FT_HANDLE ftHandle, DWORD* dwEventDWord);
/* -1 when the device has no COM port. */
FT_EXPORT FT_STATUS FT_CALL FT_GetComPortNumber(FT_HANDLE ftHandle, LPLONG lpdwComPortNumber);
FT_EXPORT FT_STATUS FT_CALL FT_ComPortIdle(FT_HANDLE ftHandle);
FT_EXPORT FT_STATUS FT_CALL FT_ComPortCancelIdle(FT_HANDLE ftHandle);
/* Vendor requests; at most 128 data bytes. */
FT_EXPORT FT_STATUS FT_CALL FT_VendorCmdGet(FT_HANDLE ftHandle, UCHAR Request, UCHAR* Buf,
                                            USHORT Len);
FT_EXPORT FT_STATUS FT_CALL FT_VendorCmdSet(FT_HANDLE ftHandle, UCHAR Request, UCHAR* Buf,
                                            USHORT Len);
FT_EXPORT FT_STATUS FT_CALL FT_VendorCmdGetEx(FT_HANDLE ftHandle, USHORT wValue, UCHAR* Buf,
                                              USHORT Len);
FT_EXPORT FT_STATUS FT_CALL FT_VendorCmdSetEx(FT_HANDLE ftHandle, USHORT wValue, UCHAR* Buf,
                                              USHORT Len);

/* Win32-style comm functions: BOOL result, reason in FT_W32_GetLastError. */
FT_EXPORT BOOL FT_CALL FT_W32_SetCommState(FT_HANDLE ftHandle, LPDCB lpftDcb);
FT_EXPORT BOOL FT_CALL FT_W32_GetCommState(FT_HANDLE ftHandle, LPDCB lpftDcb);
FT_EXPORT BOOL FT_CALL FT_W32_SetCommTimeouts(FT_HANDLE ftHandle, LPCOMMTIMEOUTS pTimeouts);
FT_EXPORT BOOL FT_CALL FT_W32_GetCommTimeouts(FT_HANDLE ftHandle, LPCOMMTIMEOUTS pTimeouts);
FT_EXPORT BOOL FT_CALL FT_W32_SetCommMask(FT_HANDLE ftHandle, ULONG ulEventMask);
FT_EXPORT BOOL FT_CALL FT_W32_GetCommMask(FT_HANDLE ftHandle, LPDWORD lpdwEventMask);
FT_EXPORT BOOL FT_CALL FT_W32_WaitCommEvent(FT_HANDLE ftHandle, PULONG pulEvent,
                                            LPOVERLAPPED lpOverlapped);
FT_EXPORT BOOL FT_CALL FT_W32_GetCommModemStatus(FT_HANDLE ftHandle, LPDWORD lpdwModemStatus);
FT_EXPORT BOOL FT_CALL FT_W32_ClearCommError(FT_HANDLE ftHandle, LPDWORD lpdwErrors,
                                             LPCOMSTAT lpftComstat);
FT_EXPORT BOOL FT_CALL FT_W32_PurgeComm(FT_HANDLE ftHandle, DWORD dwMask);
FT_EXPORT BOOL FT_CALL FT_W32_SetCommBreak(FT_HANDLE ftHandle);
FT_EXPORT BOOL FT_CALL FT_W32_ClearCommBreak(FT_HANDLE ftHandle);
FT_EXPORT BOOL FT_CALL FT_W32_EscapeCommFunction(FT_HANDLE ftHandle, DWORD dwFunc);
FT_EXPORT BOOL FT_CALL FT_W32_SetupComm(FT_HANDLE ftHandle, DWORD dwReadBufferSize,
                                        DWORD dwWriteBufferSize);

/* ---------------------------------------------------------------------------------------------
 * Data transfer
 * ------------------------------------------------------------------------------------------- */

FT_EXPORT FT_STATUS FT_CALL FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead,
                                    LPDWORD lpBytesReturned);
FT_EXPORT FT_STATUS FT_CALL FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite,
                                     LPDWORD lpBytesWritten);
FT_EXPORT BOOL FT_CALL FT_W32_ReadFile(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD nBufferSize,
                                       LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);
FT_EXPORT BOOL FT_CALL FT_W32_WriteFile(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD nBufferSize,
                                        LPDWORD lpBytesWritten, LPOVERLAPPED lpOverlapped);
FT_EXPORT BOOL FT_CALL FT_W32_GetOverlappedResult(FT_HANDLE ftHandle, LPOVERLAPPED lpOverlapped,
                                                  LPDWORD lpdwBytesTransferred, BOOL bWait);
FT_EXPORT BOOL FT_CALL FT_W32_CancelIo(FT_HANDLE ftHandle);
/* The calling thread's last error; the handle plays no part. */
FT_EXPORT DWORD FT_CALL FT_W32_GetLastError(FT_HANDLE ftHandle);

/* ---------------------------------------------------------------------------------------------
 * Reset, rescan and reload
 * ------------------------------------------------------------------------------------------- */

FT_EXPORT FT_STATUS FT_CALL FT_ResetDevice(FT_HANDLE ftHandle);
FT_EXPORT FT_STATUS FT_CALL FT_ResetPort(FT_HANDLE ftHandle);
FT_EXPORT FT_STATUS FT_CALL FT_CyclePort(FT_HANDLE ftHandle);
FT_EXPORT FT_STATUS FT_CALL FT_StopInTask(FT_HANDLE ftHandle);
FT_EXPORT FT_STATUS FT_CALL FT_RestartInTask(FT_HANDLE ftHandle);
/* Asks every USB root hub to enumerate its ports again. */
FT_EXPORT FT_STATUS FT_CALL FT_Rescan(void);
/* Restarts every present device with this vendor and product ID (both 0: the USB root hubs)
 * and prints one line per device on standard output. Always FT_OK. */
FT_EXPORT FT_STATUS FT_CALL FT_Reload(WORD wVid, WORD wPid);

/* ---------------------------------------------------------------------------------------------
 * EEPROM programming (records and functions follow here)
 * ------------------------------------------------------------------------------------------- */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* RALVEX_BRIDGE_H */
