// Word map of the 232R image. Its two record kinds place two option flags on opposite bits and
// give the driver bit opposite senses.
#include <cstddef>

#include "bridge/eeprom/chip_registry.h"

namespace ralvex::bridge::eeprom {

namespace {

using PD = FT_PROGRAM_DATA;
using RR = FT_EEPROM_232R;

constexpr FieldSpec RECORD_FIELDS[] = {
    MAP_FLAG(0x00, 1, RR, HighDriveIOs),    MAP_FLAG(0x00, 2, RR, UseExtOsc),
    MAP_INVERSE_FLAG(0x00, 3, RR, RIsD2XX), MAP_FLAG(0x0B, 0, RR, InvertTXD),
    MAP_FLAG(0x0B, 1, RR, InvertRXD),       MAP_FLAG(0x0B, 2, RR, InvertRTS),
    MAP_FLAG(0x0B, 3, RR, InvertCTS),       MAP_FLAG(0x0B, 4, RR, InvertDTR),
    MAP_FLAG(0x0B, 5, RR, InvertDSR),       MAP_FLAG(0x0B, 6, RR, InvertDCD),
    MAP_FLAG(0x0B, 7, RR, InvertRI),        MAP_VALUE(0x14, 0, 4, RR, Cbus0),
    MAP_VALUE(0x14, 4, 4, RR, Cbus1),       MAP_VALUE(0x15, 0, 4, RR, Cbus2),
    MAP_VALUE(0x15, 4, 4, RR, Cbus3),       MAP_VALUE(0x16, 0, 8, RR, Cbus4),
};

constexpr FieldSpec PROGRAM_DATA_FIELDS[] = {
    MAP_FLAG(0x00, 1, PD, UseExtOsc),       MAP_FLAG(0x00, 2, PD, HighDriveIOs),
    MAP_FLAG(0x00, 3, PD, RIsD2XX),         MAP_VALUE(0x01, 0, 8, PD, EndpointSize),
    MAP_FLAG(0x0A, 2, PD, PullDownEnableR), MAP_FLAG(0x0A, 3, PD, SerNumEnableR),
    MAP_FLAG(0x0B, 0, PD, InvertTXD),       MAP_FLAG(0x0B, 1, PD, InvertRXD),
    MAP_FLAG(0x0B, 2, PD, InvertRTS),       MAP_FLAG(0x0B, 3, PD, InvertCTS),
    MAP_FLAG(0x0B, 4, PD, InvertDTR),       MAP_FLAG(0x0B, 5, PD, InvertDSR),
    MAP_FLAG(0x0B, 6, PD, InvertDCD),       MAP_FLAG(0x0B, 7, PD, InvertRI),
    MAP_VALUE(0x14, 0, 4, PD, Cbus0),       MAP_VALUE(0x14, 4, 4, PD, Cbus1),
    MAP_VALUE(0x15, 0, 4, PD, Cbus2),       MAP_VALUE(0x15, 4, 4, PD, Cbus3),
    MAP_VALUE(0x16, 0, 8, PD, Cbus4),
};

constexpr RecordRange DECODE_CLEARS[] = {MAP_RANGE(PD, Rev5, Rev5),
                                         MAP_RANGE(PD, PullDownEnable5, BIsVCP)};

}  // namespace

constexpr ChipLayout LAYOUT_232R = {
    .deviceType = FT_DEVICE_232R,
    .recordSize = sizeof(FT_EEPROM_232R),
    .raisesLatencyWhileWriting = true,
    .finishDecode = DecodeBmBlock,
    .stringBase = 0x18,
    .release = 0x0600,
    .usbVersionWord = 0x0200,
    // The endpoint size is the chip's, whatever the caller asks for.
    .fixedByte = {.imageByte = 0x01, .value = 0x40},
    .factoryWord = 0x42,
    .cbusOffset = offsetof(FT_EEPROM_232R, Cbus0),
    .cbusCount = 5,
    .cbusMax = 12,
    .recordFields = RECORD_FIELDS,
    .programDataFields = PROGRAM_DATA_FIELDS,
    .decodeClears = DECODE_CLEARS,
};

}  // namespace ralvex::bridge::eeprom
