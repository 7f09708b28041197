// The four paths every chip shares: encode and decode of FT_PROGRAM_DATA, program and read of the
// chip's FT_EEPROM_* record. Each step reads the chip's layout; chip classes override the few a
// layout cannot say.
#include <cstring>

#include "bridge/eeprom/e2_data.h"
#include "bridge/eeprom/string_descriptor.h"

namespace ralvex::bridge::eeprom {

namespace {

void CopyText(const char* text, char* destination) {
  if (destination != nullptr) {
    std::memcpy(destination, text, strnlen(text, TEXT_BUFFER_BYTES - 1) + 1);
  }
}

}  // namespace

uint8_t TFtE2Data::FactoryBit() {
  uint16_t word = 0;
  return ReadWord(layout_.factoryWord, &word) && word != 0xFFFF && (word & 1) != 0 ? 1 : 0;
}

void TFtE2Data::PutTypeWord() {
  if (layout_.typeWordByte != 0) {
    SetWord(layout_.typeWordByte / 2,
            eepromType_ != EEPROM_TYPE_NONE ? eepromType_ : layout_.typeWhenUnknown);
  }
}

void TFtE2Data::PutFixedBits() {
  if (layout_.fixedByte.imageByte != 0)
    image_[layout_.fixedByte.imageByte] = layout_.fixedByte.value;
  if (layout_.factoryWord != 0) image_[0] |= FactoryBit();
}

void TFtE2Data::EncodeOptions(const ChipSettings& settings) {
  EncodeFields(layout_.programDataFields, &settings.options, image_, IMAGE_BYTES);
  if (layout_.releaseWithoutRev4 != 0 && settings.options.Rev4 == 0) {
    SetWord(IMAGE_RELEASE / 2, layout_.releaseWithoutRev4);
  }
  PutFixedBits();
}

void TFtE2Data::DecodeOptions(FT_PROGRAM_DATA* data) {
  ClearRanges(layout_.decodeClears, data, sizeof *data);
  DecodeFields(layout_.programDataFields, image_, IMAGE_BYTES, data);
  if (layout_.finishDecode != nullptr) layout_.finishDecode(image_, data);
}

void TFtE2Data::Encode(const ChipSettings& settings) {
  std::memset(image_, 0, sizeof image_);
  SetWord(IMAGE_VENDOR_ID / 2, layout_.encodeVendorId);
  SetWord(IMAGE_PRODUCT_ID / 2, layout_.encodeProductId);
  SetWord(IMAGE_RELEASE / 2, layout_.release);
  image_[IMAGE_ATTRIBUTES] = layout_.encodeAttributes;
  image_[IMAGE_MAX_POWER] = layout_.encodePower;
  if (layout_.usbVersionWord != 0) SetWord(IMAGE_USB_VERSION / 2, layout_.usbVersionWord);
  EncodeOptions(settings);
  PutStrings(settings.manufacturer, settings.description, settings.serialNumber);
  PutTypeWord();
  AppendAfterSerial(EMPTY_DESCRIPTOR);
  SetPnpWord(0);
  UpdateChecksum();
  blank_ = false;
}

FT_STATUS TFtE2Data::Decode(FT_PROGRAM_DATA* data) {
  if (!Load()) return FT_EEPROM_READ_FAILED;
  const uint16_t vendorId = GetVendorId();
  if (vendorId == 0x0000) return FT_EEPROM_NOT_PRESENT;
  if (vendorId == 0xFFFF) return FT_EEPROM_NOT_PROGRAMMED;
  data->VendorId = vendorId;
  data->ProductId = GetProductId();
  char text[TEXT_BUFFER_BYTES];
  GetManufacturer(text);
  CopyText(text, data->Manufacturer);
  GetManufacturerId(text);
  CopyText(text, data->ManufacturerId);
  GetDescription(text);
  CopyText(text, data->Description);
  GetSerial(text);
  CopyText(text, data->SerialNumber);
  data->MaxPower = static_cast<WORD>(GetMaxPower());
  data->PnP = GetPnpWord() == 0 ? 1 : 0;
  data->SelfPowered = (GetAttributes() & ATTRIBUTE_SELF_POWERED) != 0 ? 1 : 0;
  data->RemoteWakeup = (GetAttributes() & ATTRIBUTE_REMOTE_WAKEUP) != 0 ? 1 : 0;
  DecodeOptions(data);
  return FT_OK;
}

FT_STATUS TFtE2Data::CheckRecord(const void* record) const {
  const auto* bytes = static_cast<const uint8_t*>(record);
  for (uint32_t i = 0; i < layout_.cbusCount; ++i) {
    if (bytes[layout_.cbusOffset + i] > layout_.cbusMax) return FT_INVALID_PARAMETER;
  }
  return FT_OK;
}

bool TFtE2Data::PrepareImage() {
  std::memset(image_, 0, sizeof image_);
  ProbeEepromType();
  return true;
}

void TFtE2Data::PutChipWords(const void* record) {
  EncodeFields(layout_.recordFields, record, image_, IMAGE_BYTES);
  PutTypeWord();
  PutFixedBits();
}

LatencyGuard TFtE2Data::ProgrammingLatency() const {
  return LatencyGuard(HandleOf(record_), layout_.raisesLatencyWhileWriting);
}

FT_STATUS TFtE2Data::WriteAndVerify() {
  return WriteAll() && Verify() ? FT_OK : FT_EEPROM_WRITE_FAILED;
}

FT_STATUS TFtE2Data::EraseAndWrite() {
  return Erase() ? WriteAndVerify() : FT_EEPROM_ERASE_FAILED;
}

FT_STATUS TFtE2Data::WriteImage() {
  LatencyGuard latency = ProgrammingLatency();
  FT_STATUS status = FT_OK;
  if (layout_.typeWordByte != 0) {
    // The probe erases.
    ProbeEepromType();
    status = WriteAndVerify();
  } else {
    status = EraseAndWrite();
  }
  const FT_STATUS restored = latency.Restore();
  return status != FT_OK ? status : restored;
}

void TFtE2Data::ReadChipFields(void* record) {
  DecodeFields(layout_.recordFields, image_, IMAGE_BYTES, record);
}

FT_STATUS TFtE2Data::ProgramRecord(const void* record, const EepromTexts& texts) {
  const auto* header = static_cast<const FT_EEPROM_HEADER*>(record);
  if (texts.manufacturer == nullptr || texts.manufacturerId == nullptr ||
      texts.description == nullptr || header->VendorId == 0 || header->ProductId == 0) {
    return FT_INVALID_PARAMETER;
  }
  if (const FT_STATUS status = CheckRecord(record); status != FT_OK) return status;
  char generated[16];
  const char* serial =
      SerialText(texts.serialNumber, texts.manufacturerId, header->ProductId, generated);
  // Refused before the probe erases anything.
  if (!StringsFit(texts.manufacturer, texts.description, serial)) return FT_INVALID_PARAMETER;

  PrepareImage();
  SetWord(IMAGE_RELEASE / 2, layout_.release);
  if (layout_.usbVersionWord != 0) SetWord(IMAGE_USB_VERSION / 2, layout_.usbVersionWord);
  SetVendorId(header->VendorId);
  SetProductId(header->ProductId);
  if (header->SerNumEnable != 0) image_[IMAGE_OPTIONS] |= OPTION_SERIAL_NUMBER;
  SetMaxPower(header->MaxPower);
  SetAttributes(static_cast<uint8_t>(ATTRIBUTE_BASE |
                                     (header->SelfPowered != 0 ? ATTRIBUTE_SELF_POWERED : 0) |
                                     (header->RemoteWakeup != 0 ? ATTRIBUTE_REMOTE_WAKEUP : 0)));
  if (header->PullDownEnable != 0) image_[IMAGE_OPTIONS] |= OPTION_PULL_DOWN;
  PutStrings(texts.manufacturer, texts.description, serial);
  RelocateStrings();
  PutChipWords(record);
  if (layout_.emptyDescriptor) {
    AppendAfterSerial(EMPTY_DESCRIPTOR);
    SetPnpWord(0);
  }
  UpdateChecksum();
  blank_ = false;
  return WriteImage();
}

FT_STATUS TFtE2Data::ReadRecord(void* record, const TextBuffers& buffers) {
  if (record == nullptr || buffers.manufacturer == nullptr || buffers.manufacturerId == nullptr ||
      buffers.description == nullptr || buffers.serialNumber == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  if (!Load()) return FT_EEPROM_READ_FAILED;
  const uint16_t vendorId = GetVendorId();
  if (vendorId == 0x0000) return FT_EEPROM_NOT_PRESENT;
  if (vendorId == 0xFFFF) return FT_EEPROM_NOT_PROGRAMMED;
  auto* header = static_cast<FT_EEPROM_HEADER*>(record);
  header->VendorId = vendorId;
  header->ProductId = GetProductId();
  header->SerNumEnable = (image_[IMAGE_OPTIONS] & OPTION_SERIAL_NUMBER) != 0 ? 1 : 0;
  header->PullDownEnable = (image_[IMAGE_OPTIONS] & OPTION_PULL_DOWN) != 0 ? 1 : 0;
  header->MaxPower = static_cast<WORD>(GetMaxPower());
  header->SelfPowered = (GetAttributes() & ATTRIBUTE_SELF_POWERED) != 0 ? 1 : 0;
  header->RemoteWakeup = (GetAttributes() & ATTRIBUTE_REMOTE_WAKEUP) != 0 ? 1 : 0;
  GetManufacturer(buffers.manufacturer);
  GetManufacturerId(buffers.manufacturerId);
  GetDescription(buffers.description);
  GetSerial(buffers.serialNumber);
  ReadChipFields(record);
  return FT_OK;
}

}  // namespace ralvex::bridge::eeprom
