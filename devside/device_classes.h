// The device classes a bridge driver's nodes belong to: the setup class of USB devices and the
// interface class the access layer enumerates, as a GUID and as the text that ends an interface
// path.
#pragma once

#include "platform/win32.h"

namespace ralvex::devside {

inline constexpr GUID USB_SETUP_CLASS_GUID = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline constexpr char USB_SETUP_CLASS_NAME[] = "USB";

inline constexpr GUID BRIDGE_INTERFACE_GUID = {
    0x219D0508, 0x57A8, 0x4FF5, {0x97, 0xA1, 0xBD, 0x86, 0x58, 0x7C, 0x6C, 0x7E}};
// BRIDGE_INTERFACE_GUID in lower case, braced: "\\?\usb#vid_0403&pid_6001#<part>#{...}".
inline constexpr char BRIDGE_INTERFACE_GUID_TEXT[] = "{219d0508-57a8-4ff5-97a1-bd86587c6c7e}";

}  // namespace ralvex::devside
