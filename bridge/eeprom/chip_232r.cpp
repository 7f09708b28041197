#include "bridge/eeprom/chip_232r.h"

#include <cstddef>

#include "bridge/eeprom/chip_232b.h"
#include "bridge/eeprom/latency_guard.h"

namespace ralvex::bridge::eeprom {

namespace {

using PD = FT_PROGRAM_DATA;
using RR = FT_EEPROM_232R;

constexpr uint32_t FACTORY_WORD = 0x42;
constexpr uint8_t ENDPOINT_SIZE = 0x40;  // byte 0x01

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

constexpr ChipLayout LAYOUT_232R = {
    .deviceType = FT_DEVICE_232R,
    .programDataVersion = 0,
    .legacyBytes = 0,
    .recordSize = sizeof(FT_EEPROM_232R),
    .wordCount = 64,
    .checksumOffset = SMALL_CHECKSUM_OFFSET,
    .stringBase = 0x18,
    .stringEnd = STRING_AREA_END,
    .emptyDescriptor = true,
    .programRelease = 0x0600,
    .encodeRelease = 0x0600,
    .encodeVendorId = 0x0403,
    .encodeProductId = 0x6001,
    .encodeAttributes = 0xA0,
    .encodePower = 0x2D,
    .usbVersionWord = 0x0200,
    .typeWordByte = 0,
    .typeWhenUnknown = EEPROM_TYPE_NONE,
    .cbusOffset = offsetof(FT_EEPROM_232R, Cbus0),
    .cbusCount = 5,
    .cbusMax = 12,
    .recordFields = RECORD_FIELDS,
    .programDataFields = PROGRAM_DATA_FIELDS,
    .decodeClears = DECODE_CLEARS,
};

}  // namespace

TFtEE232R::TFtEE232R(const FtHandleRecord* record) : TFtE2Data(record, LAYOUT_232R) {}

uint8_t TFtEE232R::FactoryBit() {
  uint16_t word = 0;
  return ReadWord(FACTORY_WORD, &word) && word != 0xFFFF && (word & 1) != 0 ? 1 : 0;
}

void TFtEE232R::EncodeOptions(const ChipSettings& settings) {
  ChipSettings fixed = settings;
  // The endpoint size is the chip's, whatever the caller asks for.
  fixed.options.EndpointSize = ENDPOINT_SIZE;
  TFtE2Data::EncodeOptions(fixed);
  image[0] |= FactoryBit();
}

void TFtEE232R::DecodeOptions(FT_PROGRAM_DATA* data) {
  TFtE2Data::DecodeOptions(data);
  TFtEE232::FillBmBlock(*this, data);
}

void TFtEE232R::PutChipWords(const void* record) {
  TFtE2Data::PutChipWords(record);
  image[1] = ENDPOINT_SIZE;
  image[0] |= FactoryBit();
}

FT_STATUS TFtEE232R::WriteImage() {
  LatencyGuard latency(HandleOf(record_));
  const FT_STATUS status = TFtE2Data::WriteImage();
  const FT_STATUS restored = latency.Restore();
  return status != FT_OK ? status : restored;
}

}  // namespace ralvex::bridge::eeprom
