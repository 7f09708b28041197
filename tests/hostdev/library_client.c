/* What a C program on Linux does with the shared library: list the bridges, open one by serial
 * number, configure it, write and read. The far end of the line answers "ping\n" with "pong\n".
 * Prints one line per step that fails and exits 1; on success prints what it saw and exits 0. */
#include <stdio.h>
#include <string.h>

#include "ralvex/bridge.h"

static int Fail(const char* step, FT_STATUS status) {
  printf("%s failed: %lu\n", step, (unsigned long)status);
  return 1;
}

int main(void) {
  DWORD count = 0;
  FT_STATUS status = FT_ListDevices(&count, NULL, FT_LIST_NUMBER_ONLY);
  if (status != FT_OK) return Fail("FT_ListDevices", status);
  if (count != 1) return Fail("device count", count);

  char serial[16] = {0};
  status = FT_ListDevices((PVOID)(size_t)0, serial, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
  if (status != FT_OK) return Fail("FT_ListDevices by index", status);

  FT_HANDLE handle = NULL;
  status = FT_OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &handle);
  if (status != FT_OK) return Fail("FT_OpenEx", status);
  if ((status = FT_SetBaudRate(handle, 115200)) != FT_OK) return Fail("FT_SetBaudRate", status);
  status = FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE);
  if (status != FT_OK) return Fail("FT_SetDataCharacteristics", status);
  if ((status = FT_SetTimeouts(handle, 5000, 5000)) != FT_OK) return Fail("FT_SetTimeouts", status);
  if ((status = FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX)) != FT_OK)
    return Fail("FT_Purge", status);

  char ping[] = "ping\n";
  DWORD written = 0;
  status = FT_Write(handle, ping, 5, &written);
  if (status != FT_OK || written != 5) return Fail("FT_Write", status);

  char reply[8] = {0};
  DWORD got = 0;
  status = FT_Read(handle, reply, 5, &got);
  if (status != FT_OK || got != 5) return Fail("FT_Read", status);
  if ((status = FT_Close(handle)) != FT_OK) return Fail("FT_Close", status);

  printf("serial=%s read=%s", serial, reply);
  return strcmp(reply, "pong\n") == 0 ? 0 : 1;
}
