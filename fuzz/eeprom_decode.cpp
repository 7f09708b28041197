// EEPROM decoding of arbitrary images on a simulated device of every chip family. The first input
// byte picks the family, the second the EEPROM size (low four bits) and how the image is made:
//  - bit 7 clear: the rest of the input is the image (little-endian words from word 0; the words
//    after it read blank);
//  - bit 7 set: the device is programmed first, from a record whose fields, texts and user area
//    the input gives, so that images with valid checksums and descriptors get decoded too.
// The image is then read through every decoding call:
// FT_EE_Read, FT_EE_ReadEx, FT_EEPROM_Read with the record of the device's type, FT_EE_UASize and
// FT_EE_UARead. Texts must come back terminated within their 64-byte buffers.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "bridge/eeprom/chip_select.h"
#include "ralvex/bridge.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/chip_family.h"
#include "sim/device_config.h"

namespace {

constexpr std::size_t TEXT_SIZE = 64;

struct Texts {
  char manufacturer[TEXT_SIZE + 1];
  char manufacturerId[TEXT_SIZE + 1];
  char description[TEXT_SIZE + 1];
  char serial[TEXT_SIZE + 1];

  // A canary byte after each 64-byte buffer: the call must stay inside and terminate the text.
  Texts() {
    for (char* text : {manufacturer, manufacturerId, description, serial}) {
      std::memset(text, 0x5A, TEXT_SIZE + 1);
    }
  }
  void Check(bool filled) const {
    for (const char* text : {manufacturer, manufacturerId, description, serial}) {
      if (text[TEXT_SIZE] != 0x5A) std::abort();
      if (filled && std::memchr(text, 0, TEXT_SIZE) == nullptr) std::abort();
    }
  }
};

// The chip record FT_EEPROM_Read takes for each device type; the header alone for the rest.
DWORD RecordSize(FT_DEVICE type) {
  const uint32_t size = ralvex::bridge::eeprom::EepromRecordSize(type);
  return size != 0 ? size : sizeof(FT_EEPROM_HEADER);
}

void ReadEverything(FT_HANDLE handle) {
  FT_DEVICE type = FT_DEVICE_UNKNOWN;
  DWORD id = 0;
  if (FT_GetDeviceInfo(handle, &type, &id, nullptr, nullptr, nullptr) != FT_OK) std::abort();

  {
    Texts texts;
    FT_PROGRAM_DATA data{};
    data.Signature1 = 0;
    data.Signature2 = 0xFFFFFFFF;
    data.Manufacturer = texts.manufacturer;
    data.ManufacturerId = texts.manufacturerId;
    data.Description = texts.description;
    data.SerialNumber = texts.serial;
    texts.Check(FT_EE_Read(handle, &data) == FT_OK);
  }
  {
    Texts texts;
    FT_PROGRAM_DATA data{};
    data.Signature2 = 0xFFFFFFFF;
    texts.Check(FT_EE_ReadEx(handle, &data, texts.manufacturer, texts.manufacturerId,
                             texts.description, texts.serial) == FT_OK);
  }
  {
    Texts texts;
    alignas(8) uint8_t record[256] = {};
    std::memcpy(record, &type, sizeof type);
    texts.Check(FT_EEPROM_Read(handle, record, RecordSize(type), texts.manufacturer,
                               texts.manufacturerId, texts.description, texts.serial) == FT_OK);
  }
  DWORD userArea = 0;
  if (FT_EE_UASize(handle, &userArea) == FT_OK) {
    // Exactly the size reported, and more than it: the read must stay within the buffer given.
    static uint8_t area[4096];
    for (const DWORD length : {userArea, userArea + 7}) {
      if (length > sizeof area) std::abort();
      DWORD count = 0;
      if (FT_EE_UARead(handle, area, length, &count) == FT_OK && count > length) std::abort();
    }
  }
}

// Fills a record from the input: everything after its first `skip` bytes, as raw bytes.
void Fill(void* record, std::size_t recordSize, std::size_t skip, const uint8_t*& data,
          const uint8_t* end) {
  const std::size_t length = std::min<std::size_t>(recordSize - skip, end - data);
  std::memcpy(static_cast<uint8_t*>(record) + skip, data, length);
  data += length;
}

// One text of at most 63 characters, terminated.
void Text(char* text, const uint8_t*& data, const uint8_t* end) {
  std::size_t length = data < end ? *data++ % 40 : 0;
  length = std::min<std::size_t>(length, end - data);
  std::memcpy(text, data, length);
  text[length] = '\0';
  data += length;
}

void Program(FT_HANDLE handle, const uint8_t* data, const uint8_t* end) {
  FT_DEVICE type = FT_DEVICE_UNKNOWN;
  DWORD id = 0;
  if (FT_GetDeviceInfo(handle, &type, &id, nullptr, nullptr, nullptr) != FT_OK) std::abort();
  char manufacturer[64], manufacturerId[64], description[64], serial[64];
  Text(manufacturer, data, end);
  Text(manufacturerId, data, end);
  Text(description, data, end);
  Text(serial, data, end);
  if (type == FT_DEVICE_X_SERIES) {
    alignas(8) uint8_t record[sizeof(FT_EEPROM_X_SERIES)] = {};
    Fill(record, sizeof record, sizeof type, data, end);
    std::memcpy(record, &type, sizeof type);
    FT_EEPROM_Program(handle, record, sizeof record, manufacturer, manufacturerId, description,
                      serial);
  } else {
    // The identity fields and the pointers stay valid; every flag and number after them is
    // the input's.
    FT_PROGRAM_DATA record{};
    Fill(&record, sizeof record, offsetof(FT_PROGRAM_DATA, MaxPower), data, end);
    record.Signature1 = 0;
    record.Signature2 = 0xFFFFFFFF;
    record.VendorId = 0x0403;
    record.ProductId = 0x6001;
    record.Manufacturer = manufacturer;
    record.ManufacturerId = manufacturerId;
    record.Description = description;
    record.SerialNumber = serial;
    FT_EE_Program(handle, &record);
  }
  DWORD userArea = 0;
  if (FT_EE_UASize(handle, &userArea) == FT_OK && userArea > 0) {
    uint8_t area[4096] = {};
    const DWORD length = static_cast<DWORD>(std::min<std::size_t>(
        {static_cast<std::size_t>(userArea), sizeof area, static_cast<std::size_t>(end - data)}));
    std::memcpy(area, data, length);
    if (length > 0) FT_EE_UAWrite(handle, area, length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace ralvex::sim;
  if (size < 2) return 0;
  BridgeDeviceConfig config;
  config.serial = "EE0001";
  config.chip = static_cast<ChipFamily>(data[0] % CHIP_FAMILY_COUNT);
  constexpr uint32_t SIZES[] = {0, 64, 128, 256, 1024};
  if ((data[1] & 0x0F) < 5) config.eepromWords = SIZES[data[1] & 0x0F];
  const bool programmed = (data[1] & 0x80) != 0;
  for (std::size_t i = 2; !programmed && i + 1 < size && config.eeprom.size() < 1024; i += 2) {
    config.eeprom.push_back(static_cast<uint16_t>(data[i] | (data[i + 1] << 8)));
  }

  Bench bench;
  bench.AddDevice(config);
  FT_HANDLE handle = nullptr;
  if (FT_Open(0, &handle) != FT_OK) return 0;
  if (programmed) Program(handle, data + 2, data + size);
  ReadEverything(handle);
  FT_Close(handle);
  return 0;
}
