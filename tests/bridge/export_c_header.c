/* The public header as an outside C11 program sees it: built with nothing but the public include
 * directory on the include path, it must compile as C and agree with C++ on the record layout. */
#include <stddef.h>
#include <string.h>

#include "ralvex/bridge.h"

size_t CHeaderNodeSize(void) {
  return sizeof(FT_DEVICE_LIST_INFO_NODE);
}

size_t CHeaderHandleOffset(void) {
  return offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle);
}

/* Calls through the header from C: the library version and a refused open. */
int CHeaderCallsWork(void) {
  DWORD version = 0;
  FT_HANDLE handle = NULL;
  if (FT_GetLibraryVersion(&version) != FT_OK || version != 0x00030214u) return 0;
  if (FT_OpenEx(NULL, 0, &handle) != FT_INVALID_PARAMETER) return 0;
  return FT_Close(INVALID_HANDLE_VALUE) == FT_INVALID_HANDLE;
}
