/* The public header as a 32-bit C caller sees it: the static assertions inside it pin every
 * EEPROM record to its 32-bit offsets and sizes. Compiled on its own with -m32. */
#include "ralvex/bridge.h"

_Static_assert(sizeof(void*) == 4, "compiled as 32-bit");
_Static_assert(sizeof(FT_PROGRAM_DATA) == 160, "FT_PROGRAM_DATA is 160 bytes");
_Static_assert(offsetof(FT_PROGRAM_DATA_LEGACY, MaxPower) == 20, "legacy MaxPower at 20");
_Static_assert(offsetof(FT_PROGRAM_DATA, RIsD2XX) == 86, "RIsD2XX at 86");

int ralvex_header_32bit;
