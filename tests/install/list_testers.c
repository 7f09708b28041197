/* An outside program built against an installed Ralvex: lists the bridge devices as
 * "index serial description" lines through the device-information list. Exits 1 when a call
 * fails or no device is there. */
#include <stdio.h>

#include <ralvex/bridge.h>

int main(void) {
  DWORD count = 0;
  FT_STATUS status = FT_CreateDeviceInfoList(&count);
  if (status != FT_OK) {
    printf("FT_CreateDeviceInfoList failed: %lu\n", (unsigned long)status);
    return 1;
  }
  for (DWORD i = 0; i < count; ++i) {
    char serial[16] = {0};
    char description[64] = {0};
    status = FT_GetDeviceInfoDetail(i, NULL, NULL, NULL, NULL, serial, description, NULL);
    if (status != FT_OK) {
      printf("FT_GetDeviceInfoDetail(%lu) failed: %lu\n", (unsigned long)i, (unsigned long)status);
      return 1;
    }
    printf("%lu %s %s\n", (unsigned long)i, serial, description);
  }
  return count > 0 ? 0 : 1;
}
