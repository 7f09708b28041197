/* Win32 base types for systems other than Windows.
 *
 * Integer, character and handle types with the Windows widths (DWORD is 32-bit even where `long`
 * is 64-bit), the pointer typedefs, and the plain structures the serial interface passes around.
 * The public bridge header needs them, and outside C programs include them through it, so they
 * are installed beside it and stay valid C11 as well as C++; the platform layer's Win32 subset
 * (platform/win32.h) builds on this one definition. On Windows the system headers provide all of
 * this.
 */
#ifndef RALVEX_WIN32_TYPES_H
#define RALVEX_WIN32_TYPES_H

#ifdef _WIN32
#include <windows.h>
#else

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define RALVEX_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define RALVEX_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
#define RALVEX_WIN32_PTR32 1
#else
#define RALVEX_WIN32_PTR32 0
#endif

/* Calling conventions only matter on 32-bit Windows. */
#ifndef WINAPI
#define WINAPI
#endif
#ifndef APIENTRY
#define APIENTRY
#endif
#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef __stdcall
#define __stdcall
#endif

typedef int32_t BOOL;
typedef BOOL* PBOOL;
typedef BOOL* LPBOOL;
typedef uint8_t BYTE;
typedef uint8_t BOOLEAN;
typedef BYTE* PBYTE;
typedef BYTE* LPBYTE;
typedef char CHAR;
typedef CHAR* PCHAR;
typedef unsigned char UCHAR;
typedef UCHAR* PUCHAR;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef USHORT* PUSHORT;
typedef uint16_t WORD;
typedef WORD* PWORD;
typedef WORD* LPWORD;
typedef int32_t INT;
typedef uint32_t UINT;
typedef UINT* PUINT;
typedef int32_t LONG;
typedef LONG* PLONG;
typedef LONG* LPLONG;
typedef uint32_t ULONG;
typedef ULONG* PULONG;
typedef uint32_t DWORD;
typedef DWORD* PDWORD;
typedef DWORD* LPDWORD;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uint64_t DWORD64;

typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef ULONG_PTR SIZE_T;

typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;

#ifdef __cplusplus
typedef char16_t WCHAR;
#else
typedef uint16_t WCHAR;
#endif
typedef CHAR* LPSTR;
typedef CHAR* PSTR;
typedef const CHAR* LPCSTR;
typedef const CHAR* PCSTR;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* PCWSTR;
/* The program builds in the narrow-character configuration. */
typedef CHAR TCHAR;
typedef LPSTR LPTSTR;
typedef LPCSTR LPCTSTR;

typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef HANDLE* LPHANDLE;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define MAXDWORD 0xFFFFFFFFu
#define INFINITE 0xFFFFFFFFu

typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID* LPGUID;
typedef const GUID* LPCGUID;

/* Offset/OffsetHigh share a union with a pointer on Windows; nothing here uses the pointer, and
 * the layout is the same without it. */
typedef struct _OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
} OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* PSECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

typedef struct _DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fBinary : 1;
  DWORD fParity : 1;
  DWORD fOutxCtsFlow : 1;
  DWORD fOutxDsrFlow : 1;
  DWORD fDtrControl : 2;
  DWORD fDsrSensitivity : 1;
  DWORD fTXContinueOnXoff : 1;
  DWORD fOutX : 1;
  DWORD fInX : 1;
  DWORD fErrorChar : 1;
  DWORD fNull : 1;
  DWORD fRtsControl : 2;
  DWORD fAbortOnError : 1;
  DWORD fDummy2 : 17;
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
} DCB;
typedef DCB* LPDCB;

typedef struct _COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
} COMMTIMEOUTS;
typedef COMMTIMEOUTS* LPCOMMTIMEOUTS;

typedef struct _COMSTAT {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
  DWORD cbInQue;
  DWORD cbOutQue;
} COMSTAT;
typedef COMSTAT* LPCOMSTAT;

/* Layouts shared with compiled Windows code: pin them. */
RALVEX_STATIC_ASSERT(sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(ULONG) == 4, "32-bit");
RALVEX_STATIC_ASSERT(sizeof(BOOL) == 4 && sizeof(WCHAR) == 2 && sizeof(WORD) == 2, "widths");
RALVEX_STATIC_ASSERT(sizeof(HANDLE) == sizeof(void*) && sizeof(ULONG_PTR) == sizeof(void*),
                     "pointer-sized handles");
RALVEX_STATIC_ASSERT(sizeof(GUID) == 16, "GUID");
RALVEX_STATIC_ASSERT(sizeof(DCB) == 28 && offsetof(DCB, wReserved) == 12 &&
                         offsetof(DCB, XonLim) == 14 && offsetof(DCB, XoffLim) == 16 &&
                         offsetof(DCB, ByteSize) == 18 && offsetof(DCB, Parity) == 19 &&
                         offsetof(DCB, StopBits) == 20 && offsetof(DCB, XonChar) == 21 &&
                         offsetof(DCB, EvtChar) == 25 && offsetof(DCB, wReserved1) == 26,
                     "DCB layout");
RALVEX_STATIC_ASSERT(sizeof(COMMTIMEOUTS) == 20 &&
                         offsetof(COMMTIMEOUTS, WriteTotalTimeoutConstant) == 16,
                     "COMMTIMEOUTS layout");
RALVEX_STATIC_ASSERT(sizeof(COMSTAT) == 12 && offsetof(COMSTAT, cbInQue) == 4 &&
                         offsetof(COMSTAT, cbOutQue) == 8,
                     "COMSTAT layout");
#if RALVEX_WIN32_PTR32
RALVEX_STATIC_ASSERT(sizeof(OVERLAPPED) == 20 && offsetof(OVERLAPPED, InternalHigh) == 4 &&
                         offsetof(OVERLAPPED, Offset) == 8 &&
                         offsetof(OVERLAPPED, OffsetHigh) == 12 &&
                         offsetof(OVERLAPPED, hEvent) == 16,
                     "OVERLAPPED layout (32-bit)");
RALVEX_STATIC_ASSERT(sizeof(SECURITY_ATTRIBUTES) == 12, "SECURITY_ATTRIBUTES (32-bit)");
#else
RALVEX_STATIC_ASSERT(sizeof(OVERLAPPED) == 32 && offsetof(OVERLAPPED, InternalHigh) == 8 &&
                         offsetof(OVERLAPPED, Offset) == 16 &&
                         offsetof(OVERLAPPED, OffsetHigh) == 20 &&
                         offsetof(OVERLAPPED, hEvent) == 24,
                     "OVERLAPPED layout (64-bit)");
RALVEX_STATIC_ASSERT(sizeof(SECURITY_ATTRIBUTES) == 24, "SECURITY_ATTRIBUTES (64-bit)");
#endif

#endif /* _WIN32 */
#endif /* RALVEX_WIN32_TYPES_H */
