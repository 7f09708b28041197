// FT_EE_Read and FT_EE_Program: the device's EEPROM as an FT_PROGRAM_DATA record (or its older
// layout), and their Ex forms that take the four text buffers separately.
#include <cstring>

#include "bridge/eeprom/chip_select.h"
#include "bridge/eeprom/program_data_legacy.h"
#include "bridge/eeprom/string_descriptor.h"
#include "bridge/handle_record.h"

using namespace ralvex::bridge;
using namespace ralvex::bridge::eeprom;

namespace {

// A record in the current layout to work on: the caller's own, or a converted copy of an older
// one (written back field by field on success).
class WorkingRecord {
 public:
  WorkingRecord(FT_PROGRAM_DATA* caller, const TFtE2Data& chip)
      : caller_(caller), legacyBytes_(chip.Layout().legacyBytes), copy_{} {
    legacy_ = IsLegacyRecord(caller);
    if (legacy_ && legacyBytes_ != 0) {
      copy_.Signature1 = 0;
      copy_.Signature2 = 0xFFFFFFFF;
      copy_.Version = chip.Layout().programDataVersion;
      LegacyToProgramData(reinterpret_cast<const FT_PROGRAM_DATA_LEGACY*>(caller), legacyBytes_,
                          &copy_);
    }
  }

  // An older record the chip cannot take.
  bool Refused() const { return legacy_ && legacyBytes_ == 0; }
  FT_PROGRAM_DATA* Data() { return legacy_ ? &copy_ : caller_; }
  void WriteBack() {
    if (legacy_) {
      ProgramDataToLegacy(&copy_, legacyBytes_, reinterpret_cast<FT_PROGRAM_DATA_LEGACY*>(caller_));
    }
  }

 private:
  FT_PROGRAM_DATA* caller_;
  uint32_t legacyBytes_;
  bool legacy_;
  FT_PROGRAM_DATA copy_;
};

uint8_t Attributes(const FT_PROGRAM_DATA& data) {
  return static_cast<uint8_t>(ATTRIBUTE_BASE |
                              (data.SelfPowered != 0 ? ATTRIBUTE_SELF_POWERED : 0) |
                              (data.RemoteWakeup != 0 ? ATTRIBUTE_REMOTE_WAKEUP : 0));
}

// Builds the image of `data` on `chip` and writes it; the device is only touched once every
// check has passed.
FT_STATUS Program(TFtE2Data& chip, const FT_PROGRAM_DATA& data) {
  if (data.Manufacturer == nullptr || data.ManufacturerId == nullptr ||
      data.Description == nullptr) {
    return FT_INVALID_PARAMETER;
  }
  char generated[16];
  const char* serial =
      TFtE2Data::SerialText(data.SerialNumber, data.ManufacturerId, data.ProductId, generated);
  if (!chip.StringsFit(data.Manufacturer, data.Description, serial)) return FT_OTHER_ERROR;
  if (data.VendorId == 0 || data.ProductId == 0) return FT_INVALID_PARAMETER;

  // The chips with a type word find their EEPROM size first; the probe erases the device.
  if (chip.Layout().typeWordByte != 0) chip.ProbeEepromType();
  chip.Encode(ChipSettings{data.Manufacturer, data.Description, "", data});
  uint8_t descriptor[DESCRIPTOR_MAX_BYTES];
  BuildDescriptor(serial, descriptor);
  chip.PutSerialDescriptor(descriptor);
  if (!chip.AppendAfterSerial(EMPTY_DESCRIPTOR)) return FT_OTHER_ERROR;
  chip.SetPnpWord(data.PnP == 0 ? 1 : 0);
  chip.SetVendorId(data.VendorId);
  chip.SetProductId(data.ProductId);
  chip.SetAttributes(Attributes(data));
  chip.SetMaxPower(data.MaxPower);
  chip.RelocateStrings();

  const LatencyGuard latency = chip.ProgrammingLatency();
  return chip.EraseAndWrite();
}

// The checks FT_EE_Read and FT_EE_Program share before `step` runs on the chip of the handle's
// device and the record in the current layout.
template <typename Step>
FT_STATUS OnProgramData(FT_HANDLE handle, FT_PROGRAM_DATA* data, Step step) {
  const FtHandleRecord* record = LookupHandle(handle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  if (data == nullptr) return FT_INVALID_PARAMETER;
  if (!ChipRowFor(CHIP_FOR_IMAGE, record->deviceType)->layout.takesProgramData) {
    return FT_NOT_SUPPORTED;
  }
  const std::unique_ptr<TFtE2Data> chip = CreateChip(CHIP_FOR_IMAGE, record);
  if (!chip) return FT_INSUFFICIENT_RESOURCES;
  WorkingRecord working(data, *chip);
  if (working.Refused()) return FT_INVALID_PARAMETER;
  return step(*chip, working);
}

// The Ex forms: the four text buffers go into the record, then the plain call runs.
FT_STATUS WithTexts(FT_HANDLE handle, FT_PROGRAM_DATA* data, const TextBuffers& texts,
                    FT_STATUS(FT_CALL* call)(FT_HANDLE, PFT_PROGRAM_DATA)) {
  if (LookupHandle(handle) == nullptr) return FT_INVALID_HANDLE;
  if (data == nullptr) return FT_INVALID_ARGS;
  data->Manufacturer = texts.manufacturer;
  data->ManufacturerId = texts.manufacturerId;
  data->Description = texts.description;
  data->SerialNumber = texts.serialNumber;
  return call(handle, data);
}

}  // namespace

FT_STATUS FT_CALL FT_EE_Read(FT_HANDLE ftHandle, PFT_PROGRAM_DATA pData) {
  return OnProgramData(ftHandle, pData, [](TFtE2Data& chip, WorkingRecord& working) {
    const FT_STATUS status = chip.Decode(working.Data());
    if (status == FT_OK) working.WriteBack();
    return status;
  });
}

FT_STATUS FT_CALL FT_EE_ReadEx(FT_HANDLE ftHandle, PFT_PROGRAM_DATA pData, char* Manufacturer,
                               char* ManufacturerId, char* Description, char* SerialNumber) {
  return WithTexts(ftHandle, pData,
                   TextBuffers{Manufacturer, ManufacturerId, Description, SerialNumber},
                   FT_EE_Read);
}

FT_STATUS FT_CALL FT_EE_Program(FT_HANDLE ftHandle, PFT_PROGRAM_DATA pData) {
  return OnProgramData(ftHandle, pData, [](TFtE2Data& chip, WorkingRecord& working) {
    return Program(chip, *working.Data());
  });
}

FT_STATUS FT_CALL FT_EE_ProgramEx(FT_HANDLE ftHandle, PFT_PROGRAM_DATA pData, char* Manufacturer,
                                  char* ManufacturerId, char* Description, char* SerialNumber) {
  return WithTexts(ftHandle, pData,
                   TextBuffers{Manufacturer, ManufacturerId, Description, SerialNumber},
                   FT_EE_Program);
}
