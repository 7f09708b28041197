// Widths, structure layouts and constant values that compiled Windows code depends on.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "platform/win32.h"

namespace {

constexpr bool k64 = sizeof(void*) == 8;

TEST(KernelLayout, IntegerAndCharacterWidthsAreWindowsOnes) {
  EXPECT_EQ(sizeof(DWORD), 4u);
  EXPECT_EQ(sizeof(LONG), 4u);
  EXPECT_EQ(sizeof(ULONG), 4u);
  EXPECT_EQ(sizeof(BOOL), 4u);
  EXPECT_EQ(sizeof(WCHAR), 2u);
  EXPECT_EQ(sizeof(HANDLE), sizeof(void*));
  EXPECT_EQ(sizeof(ULONG_PTR), sizeof(void*));
  EXPECT_EQ(sizeof(DEVINST), 4u);
  EXPECT_EQ(reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE), -1);
}

TEST(KernelLayout, StructureSizesAndOffsets) {
  EXPECT_EQ(sizeof(OVERLAPPED), k64 ? 32u : 20u);
  EXPECT_EQ(offsetof(OVERLAPPED, hEvent), k64 ? 24u : 16u);
  EXPECT_EQ(offsetof(OVERLAPPED, Offset), k64 ? 16u : 8u);
  EXPECT_EQ(sizeof(OSVERSIONINFOA), 148u);
  EXPECT_EQ(sizeof(OSVERSIONINFOEXA), 156u);
  EXPECT_EQ(offsetof(OSVERSIONINFOEXA, wProductType), 154u);
  EXPECT_EQ(sizeof(SP_DEVINFO_DATA), k64 ? 32u : 28u);
  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DATA), k64 ? 32u : 28u);
  EXPECT_EQ(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A), k64 ? 8u : 5u);
  EXPECT_EQ(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath), 4u);
  EXPECT_EQ(sizeof(SP_DEVINSTALL_PARAMS_A), k64 ? 320u : 296u);
  EXPECT_EQ(sizeof(SP_DEVINFO_LIST_DETAIL_DATA_A), k64 ? 296u : 287u);
  EXPECT_EQ(offsetof(SP_DEVINFO_LIST_DETAIL_DATA_A, RemoteMachineHandle), k64 ? 24u : 20u);
  EXPECT_EQ(sizeof(SP_CLASSINSTALL_HEADER), 8u);
  EXPECT_EQ(sizeof(SP_PROPCHANGE_PARAMS), 20u);
  EXPECT_EQ(sizeof(DCB), 28u);
  EXPECT_EQ(sizeof(COMMTIMEOUTS), 20u);
  EXPECT_EQ(sizeof(COMSTAT), 12u);
}

TEST(KernelLayout, BitFieldsSitWhereWindowsPutsThem) {
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.fRtsControl = RTS_CONTROL_TOGGLE;
  dcb.fAbortOnError = 1;
  DWORD flags = 0;
  std::memcpy(&flags, reinterpret_cast<const unsigned char*>(&dcb) + 8, 4);
  EXPECT_EQ(flags, 0x1u | (2u << 4) | (3u << 12) | (1u << 14));

  COMSTAT stat;
  std::memset(&stat, 0, sizeof stat);
  stat.fCtsHold = 1;
  stat.fTxim = 1;
  std::memcpy(&flags, &stat, 4);
  EXPECT_EQ(flags, 0x41u);
}

TEST(KernelLayout, ConstantsThatAreEasyToGetWrong) {
  EXPECT_EQ(SETXON, 2u);
  EXPECT_EQ(SETXOFF, 1u);
  EXPECT_EQ(CLRBREAK, 9u);
  EXPECT_EQ(CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS), 0x222000u);
  EXPECT_EQ(CTL_CODE(FILE_DEVICE_SERIAL_PORT, 1, METHOD_NEITHER, FILE_WRITE_ACCESS),
            (0x1Bu << 16) | (2u << 14) | (1u << 2) | 3u);
  EXPECT_EQ(WAIT_FAILED, INFINITE);
  EXPECT_EQ(WAIT_ABANDONED_0, 0x80u);
  EXPECT_EQ(WAIT_TIMEOUT, 0x102u);
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, 0x7Au);
  EXPECT_EQ(ERROR_NOT_OWNER, 288u);
  EXPECT_EQ(ERROR_INVALID_USER_BUFFER, 1784u);
  EXPECT_EQ(STATUS_CANCELLED, 0xC0000120u);
  EXPECT_EQ(SP_MAX_MACHINENAME_LENGTH, 263u);
  OVERLAPPED overlapped{};
  overlapped.Internal = STATUS_PENDING;
  EXPECT_FALSE(HasOverlappedIoCompleted(&overlapped));
  overlapped.Internal = STATUS_TIMEOUT;
  EXPECT_TRUE(HasOverlappedIoCompleted(&overlapped));
}

}  // namespace
