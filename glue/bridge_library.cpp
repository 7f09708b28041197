// The shared bridge library's own translation unit. The library's content is the bridge layer
// (and, on POSIX, the bench it runs against), linked in whole; the bench glue is linked last so
// that its load-time constructor runs after every static initialiser of those layers.
#include "ralvex/bridge.h"

static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 96 + sizeof(void*));
