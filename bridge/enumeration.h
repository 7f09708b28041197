// Finding the bus driver's device interfaces: counting them and resolving an index to the
// interface's device path and device instance.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace ralvex::bridge {

// The device interface class the bus driver registers.
inline constexpr GUID BRIDGE_INTERFACE_CLASS = {
    0x219D0508, 0x57A8, 0x4FF5, {0x97, 0xA1, 0xBD, 0x86, 0x58, 0x7C, 0x6C, 0x7E}};
inline constexpr DWORD BRIDGE_ENUMERATION_FLAGS = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

// A fresh set of the present interfaces of the class; null when it cannot be created (a set
// reported as the invalid handle value counts as not created).
HDEVINFO OpenInterfaceSet();
// Number of interfaces in a set.
uint32_t CountInterfacesInSet(HDEVINFO set);
// Number of present interfaces; false when the set cannot be created.
bool CountInterfaces(uint32_t* count);

// The interface at `index` of a fresh enumeration.
struct ResolvedInterface {
  SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail = nullptr;  // std::malloc'd; caller frees
  DWORD devInst = 0;                                    // 0 when it could not be read
};
// False when there is no interface at the index, the set cannot be created, or its detail
// cannot be read or allocated. The set is destroyed before returning.
bool ResolveInterface(uint32_t index, ResolvedInterface* resolved);

}  // namespace ralvex::bridge
