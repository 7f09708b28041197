#include "bridge/eeprom/program_data_legacy.h"

namespace ralvex::bridge::eeprom {

namespace {

constexpr DWORD SIGNATURE_1 = 0x00000000;
constexpr DWORD SIGNATURE_2 = 0xFFFFFFFF;

// Every field both layouts share, in order.
#define LEGACY_SHARED_FIELDS(FIELD) \
  FIELD(VendorId)                   \
  FIELD(ProductId)                  \
  FIELD(Manufacturer)               \
  FIELD(ManufacturerId)             \
  FIELD(Description)                \
  FIELD(SerialNumber)               \
  FIELD(MaxPower)                   \
  FIELD(PnP)                        \
  FIELD(SelfPowered)                \
  FIELD(RemoteWakeup)               \
  FIELD(Rev4)                       \
  FIELD(IsoIn)                      \
  FIELD(IsoOut)                     \
  FIELD(PullDownEnable)             \
  FIELD(SerNumEnable)               \
  FIELD(USBVersionEnable)           \
  FIELD(USBVersion)                 \
  FIELD(Rev5)                       \
  FIELD(IsoInA)                     \
  FIELD(IsoInB)                     \
  FIELD(IsoOutA)                    \
  FIELD(IsoOutB)                    \
  FIELD(PullDownEnable5)            \
  FIELD(SerNumEnable5)              \
  FIELD(USBVersionEnable5)          \
  FIELD(USBVersion5)                \
  FIELD(AIsHighCurrent)             \
  FIELD(BIsHighCurrent)             \
  FIELD(IFAIsFifo)                  \
  FIELD(IFAIsFifoTar)               \
  FIELD(IFAIsFastSer)               \
  FIELD(AIsVCP)                     \
  FIELD(IFBIsFifo)                  \
  FIELD(IFBIsFifoTar)               \
  FIELD(IFBIsFastSer)               \
  FIELD(BIsVCP)                     \
  FIELD(UseExtOsc)                  \
  FIELD(HighDriveIOs)               \
  FIELD(EndpointSize)               \
  FIELD(PullDownEnableR)            \
  FIELD(SerNumEnableR)              \
  FIELD(InvertTXD)                  \
  FIELD(InvertRXD)                  \
  FIELD(InvertRTS)                  \
  FIELD(InvertCTS)                  \
  FIELD(InvertDTR)                  \
  FIELD(InvertDSR)                  \
  FIELD(InvertDCD)                  \
  FIELD(InvertRI)                   \
  FIELD(Cbus0)                      \
  FIELD(Cbus1)                      \
  FIELD(Cbus2)                      \
  FIELD(Cbus3)                      \
  FIELD(Cbus4)                      \
  FIELD(RIsD2XX)                    \
  FIELD(PullDownEnable7)            \
  FIELD(SerNumEnable7)              \
  FIELD(ALSlowSlew)                 \
  FIELD(ALSchmittInput)             \
  FIELD(ALDriveCurrent)             \
  FIELD(AHSlowSlew)                 \
  FIELD(AHSchmittInput)             \
  FIELD(AHDriveCurrent)             \
  FIELD(BLSlowSlew)                 \
  FIELD(BLSchmittInput)             \
  FIELD(BLDriveCurrent)             \
  FIELD(BHSlowSlew)                 \
  FIELD(BHSchmittInput)             \
  FIELD(BHDriveCurrent)             \
  FIELD(IFAIsFifo7)                 \
  FIELD(IFAIsFifoTar7)              \
  FIELD(IFAIsFastSer7)              \
  FIELD(AIsVCP7)                    \
  FIELD(IFBIsFifo7)                 \
  FIELD(IFBIsFifoTar7)              \
  FIELD(IFBIsFastSer7)              \
  FIELD(BIsVCP7)                    \
  FIELD(PowerSaveEnable)            \
  FIELD(PullDownEnable8)            \
  FIELD(SerNumEnable8)              \
  FIELD(ASlowSlew)                  \
  FIELD(ASchmittInput)              \
  FIELD(ADriveCurrent)              \
  FIELD(BSlowSlew)                  \
  FIELD(BSchmittInput)              \
  FIELD(BDriveCurrent)              \
  FIELD(CSlowSlew)                  \
  FIELD(CSchmittInput)              \
  FIELD(CDriveCurrent)              \
  FIELD(DSlowSlew)                  \
  FIELD(DSchmittInput)              \
  FIELD(DDriveCurrent)              \
  FIELD(ARIIsTXDEN)                 \
  FIELD(BRIIsTXDEN)                 \
  FIELD(CRIIsTXDEN)                 \
  FIELD(DRIIsTXDEN)                 \
  FIELD(AIsVCP8)                    \
  FIELD(BIsVCP8)                    \
  FIELD(CIsVCP8)                    \
  FIELD(DIsVCP8)                    \
  FIELD(PullDownEnableH)            \
  FIELD(SerNumEnableH)              \
  FIELD(ACSlowSlewH)                \
  FIELD(ACSchmittInputH)            \
  FIELD(ACDriveCurrentH)            \
  FIELD(ADSlowSlewH)                \
  FIELD(ADSchmittInputH)            \
  FIELD(ADDriveCurrentH)            \
  FIELD(Cbus0H)                     \
  FIELD(Cbus1H)                     \
  FIELD(Cbus2H)                     \
  FIELD(Cbus3H)                     \
  FIELD(Cbus4H)                     \
  FIELD(Cbus5H)                     \
  FIELD(Cbus6H)                     \
  FIELD(Cbus7H)                     \
  FIELD(Cbus8H)                     \
  FIELD(Cbus9H)                     \
  FIELD(IsFifoH)                    \
  FIELD(IsFifoTarH)                 \
  FIELD(IsFastSerH)                 \
  FIELD(IsFT1248H)                  \
  FIELD(FT1248CpolH)                \
  FIELD(FT1248LsbH)                 \
  FIELD(FT1248FlowControlH)         \
  FIELD(IsVCPH)                     \
  FIELD(PowerSaveEnableH)

template <typename Field>
constexpr bool EndsWithin(size_t offset, size_t bytes) {
  return offset + sizeof(Field) <= bytes;
}

}  // namespace

bool IsLegacyRecord(const FT_PROGRAM_DATA* data) {
  return data->Signature1 != SIGNATURE_1 || data->Signature2 != SIGNATURE_2;
}

void LegacyToProgramData(const FT_PROGRAM_DATA_LEGACY* legacy, size_t bytes,
                         FT_PROGRAM_DATA* data) {
#define LEGACY_COPY_IN(name)                                                               \
  if (EndsWithin<decltype(legacy->name)>(offsetof(FT_PROGRAM_DATA_LEGACY, name), bytes)) { \
    data->name = legacy->name;                                                             \
  }
  LEGACY_SHARED_FIELDS(LEGACY_COPY_IN)
#undef LEGACY_COPY_IN
}

void ProgramDataToLegacy(const FT_PROGRAM_DATA* data, size_t bytes,
                         FT_PROGRAM_DATA_LEGACY* legacy) {
#define LEGACY_COPY_OUT(name)                                                              \
  if (EndsWithin<decltype(legacy->name)>(offsetof(FT_PROGRAM_DATA_LEGACY, name), bytes)) { \
    legacy->name = data->name;                                                             \
  }
  LEGACY_SHARED_FIELDS(LEGACY_COPY_OUT)
#undef LEGACY_COPY_OUT
}

}  // namespace ralvex::bridge::eeprom
