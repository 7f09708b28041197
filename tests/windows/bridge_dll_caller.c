/* An outside program of the access interface: C, linked against ralvex-bridge.dll. With no
 * bridge device present the list is empty and opening the first device fails. */
#include <stdio.h>

#include "ralvex/bridge.h"

int main(void) {
  DWORD count = 99;
  FT_STATUS status = FT_CreateDeviceInfoList(&count);
  if (status != FT_OK || count != 0) {
    fprintf(stderr, "FT_CreateDeviceInfoList: status %lu, count %lu\n", (unsigned long)status,
            (unsigned long)count);
    return 1;
  }
  FT_HANDLE handle = NULL;
  status = FT_Open(0, &handle);
  if (status != FT_DEVICE_NOT_FOUND) {
    fprintf(stderr, "FT_Open(0): status %lu\n", (unsigned long)status);
    return 1;
  }
  DWORD version = 0;
  if (FT_GetLibraryVersion(&version) != FT_OK || version != 0x00030214u) {
    fprintf(stderr, "FT_GetLibraryVersion: %08lx\n", (unsigned long)version);
    return 1;
  }
  printf("FT_CreateDeviceInfoList: FT_OK, 0 devices; FT_Open(0): FT_DEVICE_NOT_FOUND\n");
  return 0;
}
