/* The one header through which the layers above reach the operating system.
 *
 * On Windows it is the system's own headers. Elsewhere it declares the Win32 subset the program
 * uses, with the Windows ABI (widths, structure layouts, constant values, failure sentinels), and
 * platform/posix implements it.
 */
#ifndef RALVEX_WIN32_H
#define RALVEX_WIN32_H

#ifdef _WIN32

/* windows.h first: the others use its types. */
#include <windows.h>

#include <cfgmgr32.h>
#include <process.h>
#include <setupapi.h>
/* setupapi.h spells a parameter type as a macro, LogSeverity, which would rename any C++ name of
 * that spelling included after it (GoogleMock has one). Nothing here uses it. */
#undef LogSeverity

/* Kernel status values the device I/O code reads from OVERLAPPED.Internal; not all of them are in
 * the user-mode headers. */
#ifndef STATUS_CANCELLED
#define STATUS_CANCELLED ((DWORD)0xC0000120L)
#endif

#else /* !_WIN32 */

#include "ralvex/win32_types.h"

/* ---- Wait results and limits ---- */
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_TIMEOUT 0x00000102u
#define WAIT_FAILED 0xFFFFFFFFu
#define MAXIMUM_WAIT_OBJECTS 64u

/* ---- Win32 error codes ---- */
#define ERROR_SUCCESS 0u
#define NO_ERROR 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_INVALID_DATA 13u
#define ERROR_OUTOFMEMORY 14u
#define ERROR_NOT_READY 21u
#define ERROR_BAD_COMMAND 22u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_DEV_NOT_EXIST 55u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_SEM_TIMEOUT 121u
#define ERROR_INSUFFICIENT_BUFFER 122u /* 0x7A */
#define ERROR_INVALID_NAME 123u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_MORE_DATA 234u
#define ERROR_NO_MORE_ITEMS 259u
#define ERROR_NOT_OWNER 288u
#define ERROR_OPERATION_ABORTED 995u
#define ERROR_IO_INCOMPLETE 996u
#define ERROR_IO_PENDING 997u
#define ERROR_NOACCESS 998u
#define ERROR_INVALID_FLAGS 1004u
#define ERROR_IO_DEVICE 1117u
#define ERROR_DEVICE_NOT_CONNECTED 1167u
#define ERROR_NOT_FOUND 1168u
#define ERROR_NO_SYSTEM_RESOURCES 1450u
#define ERROR_TIMEOUT 1460u
#define ERROR_INVALID_USER_BUFFER 1784u
#define ERROR_INVALID_REG_PROPERTY 0xE0000209u
#define ERROR_NO_SUCH_DEVINST 0xE000020Bu
#define ERROR_DI_DO_DEFAULT 0xE000020Eu
#define ERROR_IN_WOW64 0xE0000235u

/* ---- Kernel status values (OVERLAPPED.Internal) ---- */
#define STATUS_SUCCESS 0x00000000u
#define STATUS_WAIT_0 0x00000000u
#define STATUS_ABANDONED_WAIT_0 0x00000080u
#define STATUS_TIMEOUT 0x00000102u
#define STATUS_PENDING 0x00000103u
#define STATUS_BUFFER_OVERFLOW 0x80000005u
#define STATUS_UNSUCCESSFUL 0xC0000001u
#define STATUS_INVALID_HANDLE 0xC0000008u
#define STATUS_INVALID_PARAMETER 0xC000000Du
#define STATUS_NO_SUCH_DEVICE 0xC000000Eu
#define STATUS_INVALID_DEVICE_REQUEST 0xC0000010u
#define STATUS_ACCESS_DENIED 0xC0000022u
#define STATUS_BUFFER_TOO_SMALL 0xC0000023u
#define STATUS_DEVICE_NOT_CONNECTED 0xC000009Du
#define STATUS_CANCELLED 0xC0000120u
#define STATUS_IO_DEVICE_ERROR 0xC0000185u

/* ---- Files ---- */
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_SESSION_AWARE 0x00800000u

/* Reads Internal only, never the event: the request is done once the status is final. */
#define HasOverlappedIoCompleted(lpOverlapped) (((DWORD)(lpOverlapped)->Internal) != STATUS_PENDING)

/* ---- Device I/O control codes ---- */
#define CTL_CODE(DeviceType, Function, Method, Access)                                \
  (((DWORD)(DeviceType) << 16) | ((DWORD)(Access) << 14) | ((DWORD)(Function) << 2) | \
   (DWORD)(Method))
#define METHOD_BUFFERED 0u
#define METHOD_IN_DIRECT 1u
#define METHOD_OUT_DIRECT 2u
#define METHOD_NEITHER 3u
#define FILE_ANY_ACCESS 0u
#define FILE_READ_ACCESS 1u
#define FILE_WRITE_ACCESS 2u
#define FILE_DEVICE_SERIAL_PORT 0x0000001Bu
#define FILE_DEVICE_UNKNOWN 0x00000022u

/* ---- Serial ports ---- */
#define PURGE_TXABORT 0x0001u
#define PURGE_RXABORT 0x0002u
#define PURGE_TXCLEAR 0x0004u
#define PURGE_RXCLEAR 0x0008u

#define SETXOFF 1u
#define SETXON 2u
#define SETRTS 3u
#define CLRRTS 4u
#define SETDTR 5u
#define CLRDTR 6u
#define RESETDEV 7u
#define SETBREAK 8u
#define CLRBREAK 9u

#define DTR_CONTROL_DISABLE 0x00u
#define DTR_CONTROL_ENABLE 0x01u
#define DTR_CONTROL_HANDSHAKE 0x02u
#define RTS_CONTROL_DISABLE 0x00u
#define RTS_CONTROL_ENABLE 0x01u
#define RTS_CONTROL_HANDSHAKE 0x02u
#define RTS_CONTROL_TOGGLE 0x03u

#define NOPARITY 0u
#define ODDPARITY 1u
#define EVENPARITY 2u
#define MARKPARITY 3u
#define SPACEPARITY 4u
#define ONESTOPBIT 0u
#define ONE5STOPBITS 1u
#define TWOSTOPBITS 2u

#define EV_RXCHAR 0x0001u
#define EV_RXFLAG 0x0002u
#define EV_TXEMPTY 0x0004u
#define EV_CTS 0x0008u
#define EV_DSR 0x0010u
#define EV_RLSD 0x0020u
#define EV_BREAK 0x0040u
#define EV_ERR 0x0080u
#define EV_RING 0x0100u

#define MS_CTS_ON 0x0010u
#define MS_DSR_ON 0x0020u
#define MS_RING_ON 0x0040u
#define MS_RLSD_ON 0x0080u

#define CE_RXOVER 0x0001u
#define CE_OVERRUN 0x0002u
#define CE_RXPARITY 0x0004u
#define CE_FRAME 0x0008u
#define CE_BREAK 0x0010u
#define CE_TXFULL 0x0100u

/* ---- Threads and version ---- */
#define CREATE_SUSPENDED 0x00000004u
#define STILL_ACTIVE 259u
#define VER_PLATFORM_WIN32_NT 2u
#define VER_NT_WORKSTATION 1u
#define VER_NT_DOMAIN_CONTROLLER 2u
#define VER_NT_SERVER 3u

typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA;
typedef OSVERSIONINFOA* POSVERSIONINFOA;
typedef OSVERSIONINFOA* LPOSVERSIONINFOA;

typedef struct _OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXA;
typedef OSVERSIONINFOEXA* POSVERSIONINFOEXA;
typedef OSVERSIONINFOEXA* LPOSVERSIONINFOEXA;

/* ---- Time ---- */
typedef struct _SYSTEMTIME {
  WORD wYear;
  WORD wMonth; /* 1..12 */
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
} SYSTEMTIME;
typedef SYSTEMTIME* PSYSTEMTIME;
typedef SYSTEMTIME* LPSYSTEMTIME;

/* Private layout: room for a recursive lock, its owner and depth. Callers only pass pointers. */
typedef struct _RTL_CRITICAL_SECTION {
  ULONGLONG Opaque[12];
} CRITICAL_SECTION;
typedef CRITICAL_SECTION* PCRITICAL_SECTION;
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

typedef unsigned(__stdcall* _beginthreadex_proc_type)(void*);

/* ---- Device installation services and configuration manager ---- */
typedef PVOID HDEVINFO;
typedef HANDLE HMACHINE;
typedef DWORD DEVINST;
typedef DWORD* PDEVINST;
typedef DWORD DEVNODE;
typedef CHAR* DEVINSTID_A;
typedef DWORD CONFIGRET;
typedef UINT DI_FUNCTION;

#define MAX_PATH 260u
#define LINE_LEN 256u
#define MAX_DEVICE_ID_LEN 200u
#define SP_MAX_MACHINENAME_LENGTH (MAX_PATH + 3)

#define DIGCF_DEFAULT 0x00000001u
#define DIGCF_PRESENT 0x00000002u
#define DIGCF_ALLCLASSES 0x00000004u
#define DIGCF_PROFILE 0x00000008u
#define DIGCF_DEVICEINTERFACE 0x00000010u

#define SPINT_ACTIVE 0x00000001u
#define SPINT_DEFAULT 0x00000002u
#define SPINT_REMOVED 0x00000004u

#define SPDRP_DEVICEDESC 0x00000000u
#define SPDRP_HARDWAREID 0x00000001u
#define SPDRP_COMPATIBLEIDS 0x00000002u
#define SPDRP_SERVICE 0x00000004u
#define SPDRP_CLASS 0x00000007u
#define SPDRP_CLASSGUID 0x00000008u
#define SPDRP_DRIVER 0x00000009u
#define SPDRP_MFG 0x0000000Bu
#define SPDRP_FRIENDLYNAME 0x0000000Cu
#define SPDRP_LOCATION_INFORMATION 0x0000000Du

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u

#define DIF_PROPERTYCHANGE 0x00000012u
#define DICS_ENABLE 0x00000001u
#define DICS_DISABLE 0x00000002u
#define DICS_PROPCHANGE 0x00000003u
#define DICS_START 0x00000004u
#define DICS_STOP 0x00000005u
#define DICS_FLAG_GLOBAL 0x00000001u
#define DICS_FLAG_CONFIGSPECIFIC 0x00000002u
#define DICS_FLAG_CONFIGGENERAL 0x00000004u
#define DI_NEEDRESTART 0x00000080u
#define DI_NEEDREBOOT 0x00000100u

#define CR_SUCCESS 0x00000000u
#define CR_DEFAULT 0x00000001u
#define CR_OUT_OF_MEMORY 0x00000002u
#define CR_INVALID_POINTER 0x00000003u
#define CR_INVALID_FLAG 0x00000004u
#define CR_INVALID_DEVNODE 0x00000005u
#define CR_INVALID_DEVINST CR_INVALID_DEVNODE
#define CR_NO_SUCH_DEVNODE 0x0000000Du
#define CR_NO_SUCH_DEVINST CR_NO_SUCH_DEVNODE
#define CR_FAILURE 0x00000013u
#define CR_BUFFER_SMALL 0x0000001Au
#define CR_INVALID_DEVICE_ID 0x0000001Eu
#define CR_INVALID_MACHINENAME 0x0000002Fu
#define CR_ACCESS_DENIED 0x00000033u
#define CR_CALL_NOT_IMPLEMENTED 0x00000034u

#define CM_LOCATE_DEVNODE_NORMAL 0x00000000u
#define CM_LOCATE_DEVNODE_PHANTOM 0x00000001u
#define CM_LOCATE_DEVNODE_CANCELREMOVE 0x00000002u
#define CM_LOCATE_DEVNODE_NOVALIDATION 0x00000004u
#define CM_REENUMERATE_NORMAL 0x00000000u
#define CM_REENUMERATE_SYNCHRONOUS 0x00000001u
#define CM_REENUMERATE_RETRY_INSTALLATION 0x00000002u
#define CM_REENUMERATE_ASYNCHRONOUS 0x00000004u

/* The installation structures are byte-packed on 32-bit builds and naturally aligned on 64-bit
 * ones, which is what makes the interface detail header 5 or 8 bytes. */
#if RALVEX_WIN32_PTR32
#pragma pack(push, 1)
#else
#pragma pack(push, 8)
#endif

typedef struct _SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
} SP_DEVINFO_DATA;
typedef SP_DEVINFO_DATA* PSP_DEVINFO_DATA;

typedef struct _SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA;
typedef SP_DEVICE_INTERFACE_DATA* PSP_DEVICE_INTERFACE_DATA;

typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_A {
  DWORD cbSize;
  CHAR DevicePath[1]; /* variable length, NUL-terminated */
} SP_DEVICE_INTERFACE_DETAIL_DATA_A;
typedef SP_DEVICE_INTERFACE_DETAIL_DATA_A* PSP_DEVICE_INTERFACE_DETAIL_DATA_A;

typedef UINT(CALLBACK* PSP_FILE_CALLBACK_A)(PVOID, UINT, UINT_PTR, UINT_PTR);
typedef PVOID HSPFILEQ;

typedef struct _SP_DEVINSTALL_PARAMS_A {
  DWORD cbSize;
  DWORD Flags;
  DWORD FlagsEx;
  HWND hwndParent;
  PSP_FILE_CALLBACK_A InstallMsgHandler;
  PVOID InstallMsgHandlerContext;
  HSPFILEQ FileQueue;
  ULONG_PTR ClassInstallReserved;
  DWORD Reserved;
  CHAR DriverPath[MAX_PATH];
} SP_DEVINSTALL_PARAMS_A;
typedef SP_DEVINSTALL_PARAMS_A* PSP_DEVINSTALL_PARAMS_A;

typedef struct _SP_DEVINFO_LIST_DETAIL_DATA_A {
  DWORD cbSize;
  GUID ClassGuid;
  HANDLE RemoteMachineHandle;
  CHAR RemoteMachineName[SP_MAX_MACHINENAME_LENGTH];
} SP_DEVINFO_LIST_DETAIL_DATA_A;
typedef SP_DEVINFO_LIST_DETAIL_DATA_A* PSP_DEVINFO_LIST_DETAIL_DATA_A;

typedef struct _SP_CLASSINSTALL_HEADER {
  DWORD cbSize;
  DI_FUNCTION InstallFunction;
} SP_CLASSINSTALL_HEADER;
typedef SP_CLASSINSTALL_HEADER* PSP_CLASSINSTALL_HEADER;

typedef struct _SP_PROPCHANGE_PARAMS {
  SP_CLASSINSTALL_HEADER ClassInstallHeader;
  DWORD StateChange;
  DWORD Scope;
  DWORD HwProfile;
} SP_PROPCHANGE_PARAMS;
typedef SP_PROPCHANGE_PARAMS* PSP_PROPCHANGE_PARAMS;

#pragma pack(pop)

RALVEX_STATIC_ASSERT(sizeof(OSVERSIONINFOA) == 148 && sizeof(OSVERSIONINFOEXA) == 156,
                     "OSVERSIONINFO sizes");
RALVEX_STATIC_ASSERT(offsetof(OSVERSIONINFOEXA, dwMajorVersion) == 4 &&
                         offsetof(OSVERSIONINFOEXA, dwMinorVersion) == 8 &&
                         offsetof(OSVERSIONINFOEXA, dwBuildNumber) == 12 &&
                         offsetof(OSVERSIONINFOEXA, dwPlatformId) == 16 &&
                         offsetof(OSVERSIONINFOEXA, szCSDVersion) == 20 &&
                         offsetof(OSVERSIONINFOEXA, wServicePackMajor) == 148 &&
                         offsetof(OSVERSIONINFOEXA, wServicePackMinor) == 150 &&
                         offsetof(OSVERSIONINFOEXA, wSuiteMask) == 152 &&
                         offsetof(OSVERSIONINFOEXA, wProductType) == 154,
                     "OSVERSIONINFOEXA layout");
RALVEX_STATIC_ASSERT(sizeof(SP_CLASSINSTALL_HEADER) == 8 && sizeof(SP_PROPCHANGE_PARAMS) == 20 &&
                         offsetof(SP_PROPCHANGE_PARAMS, StateChange) == 8 &&
                         offsetof(SP_PROPCHANGE_PARAMS, Scope) == 12 &&
                         offsetof(SP_PROPCHANGE_PARAMS, HwProfile) == 16,
                     "SP_PROPCHANGE_PARAMS layout");
RALVEX_STATIC_ASSERT(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == 4 &&
                         offsetof(SP_DEVINSTALL_PARAMS_A, Flags) == 4 &&
                         offsetof(SP_DEVINFO_DATA, DevInst) == 20 &&
                         offsetof(SP_DEVICE_INTERFACE_DATA, Flags) == 20,
                     "SetupAPI field offsets");
#if RALVEX_WIN32_PTR32
RALVEX_STATIC_ASSERT(sizeof(SP_DEVINFO_DATA) == 28 && sizeof(SP_DEVICE_INTERFACE_DATA) == 28,
                     "SetupAPI data (32-bit)");
RALVEX_STATIC_ASSERT(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "detail header (32-bit)");
RALVEX_STATIC_ASSERT(sizeof(SP_DEVINSTALL_PARAMS_A) == 296, "install params (32-bit)");
RALVEX_STATIC_ASSERT(sizeof(SP_DEVINFO_LIST_DETAIL_DATA_A) == 287 &&
                         offsetof(SP_DEVINFO_LIST_DETAIL_DATA_A, RemoteMachineHandle) == 20,
                     "list detail (32-bit)");
#else
RALVEX_STATIC_ASSERT(sizeof(SP_DEVINFO_DATA) == 32 && sizeof(SP_DEVICE_INTERFACE_DATA) == 32,
                     "SetupAPI data (64-bit)");
RALVEX_STATIC_ASSERT(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8, "detail header (64-bit)");
RALVEX_STATIC_ASSERT(sizeof(SP_DEVINSTALL_PARAMS_A) == 320, "install params (64-bit)");
RALVEX_STATIC_ASSERT(sizeof(SP_DEVINFO_LIST_DETAIL_DATA_A) == 296 &&
                         offsetof(SP_DEVINFO_LIST_DETAIL_DATA_A, RemoteMachineHandle) == 24,
                     "list detail (64-bit)");
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Kernel objects, waits, threads, errors ---- */
HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCWSTR lpName);
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName);
BOOL WINAPI SetEvent(HANDLE hEvent);
BOOL WINAPI ResetEvent(HANDLE hEvent);
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                    DWORD dwMilliseconds);
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                           LPCSTR lpName);
BOOL WINAPI ReleaseMutex(HANDLE hMutex);
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL WINAPI CloseHandle(HANDLE hObject);
void WINAPI Sleep(DWORD dwMilliseconds);
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
uintptr_t _beginthreadex(void* security, unsigned stackSize, _beginthreadex_proc_type startAddress,
                         void* arglist, unsigned initflag, unsigned* thrdaddr);
DWORD WINAPI ResumeThread(HANDLE hThread);
BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
DWORD WINAPI GetCurrentThreadId(void);
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);

/* ---- Files and device I/O ---- */
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                LPDWORD lpNumberOfBytesTransferred, BOOL bWait);
BOOL WINAPI CancelIo(HANDLE hFile);

/* ---- Device installation services ---- */
HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                                     DWORD Flags);
HDEVINFO WINAPI SetupDiGetClassDevsExA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                                       DWORD Flags, HDEVINFO DeviceInfoSet, PCSTR MachineName,
                                       PVOID Reserved);
BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData);
BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData);
BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                  PSP_DEVINFO_DATA DeviceInfoData);
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);
BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet,
                                              PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize);
BOOL WINAPI SetupDiSetClassInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                          PSP_CLASSINSTALL_HEADER ClassInstallParams,
                                          DWORD ClassInstallParamsSize);
BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet,
                                      PSP_DEVINFO_DATA DeviceInfoData);
BOOL WINAPI SetupDiGetDeviceInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                           PSP_DEVINSTALL_PARAMS_A DeviceInstallParams);
BOOL WINAPI SetupDiClassGuidsFromNameExA(PCSTR ClassName, LPGUID ClassGuidList,
                                         DWORD ClassGuidListSize, PDWORD RequiredSize,
                                         PCSTR MachineName, PVOID Reserved);
BOOL WINAPI SetupDiGetDeviceInfoListDetailA(HDEVINFO DeviceInfoSet,
                                            PSP_DEVINFO_LIST_DETAIL_DATA_A DeviceInfoSetDetailData);

/* ---- Configuration manager ---- */
CONFIGRET WINAPI CM_Get_Device_ID_ExA(DEVINST dnDevInst, PSTR Buffer, ULONG BufferLen,
                                      ULONG ulFlags, HMACHINE hMachine);
CONFIGRET WINAPI CM_Locate_DevNode_ExA(PDEVINST pdnDevInst, DEVINSTID_A pDeviceID, ULONG ulFlags,
                                       HMACHINE hMachine);
CONFIGRET WINAPI CM_Reenumerate_DevNode_Ex(DEVINST dnDevInst, ULONG ulFlags, HMACHINE hMachine);

#ifdef __cplusplus
}
#endif

#endif /* _WIN32 */
#endif /* RALVEX_WIN32_H */
