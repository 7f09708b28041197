// The user area: the EEPROM space a chip's configuration leaves free, in one or two regions.
#include <algorithm>
#include <cstring>

#include "bridge/eeprom/e2_data.h"

namespace ralvex::bridge::eeprom {

UserAreaRegions TFtE2Data::GenericUserArea() {
  // After the serial descriptor, the descriptor that follows it and the PnP word.
  const int64_t end = PnpPosition() + 2;
  if (end < 0 || end >= static_cast<int64_t>(checksumOffset_) || end / 2 == 0) {
    return UserAreaRegions{0, 0, 0, 0};
  }
  const uint32_t start = static_cast<uint32_t>(end / 2);
  const uint32_t bytes = (checksumOffset_ / 2 - start) * 2;
  return UserAreaRegions{start * 2, bytes, start * 2, bytes};
}

UserAreaRegions TFtE2Data::UserArea() {
  const uint32_t moved = layout_.movedStringsUserBytes;
  if (moved == 0 || !IsLargeEeprom()) return GenericUserArea();
  const UserAreaRegions generic = GenericUserArea();
  return UserAreaRegions{layout_.stringBase, moved, generic.firstByte, generic.totalBytes + moved};
}

uint32_t TFtE2Data::UserAreaStart() {
  return UserArea().firstByte / 2;
}

uint32_t TFtE2Data::UserAreaSize() {
  return UserArea().totalBytes / 2;
}

namespace {
// Whether [at, at + length) lies inside the image.
bool InImage(uint32_t at, uint32_t length) {
  return at <= IMAGE_BYTES && length <= IMAGE_BYTES - at;
}
}  // namespace

bool TFtE2Data::UserAreaWrite(const uint8_t* source, uint32_t length) {
  const UserAreaRegions area = UserArea();
  if (area.totalBytes == 0 || length > area.totalBytes) return false;
  const uint32_t first = std::min(length, area.firstBytes);
  const uint32_t rest = length - first;
  if (!InImage(area.firstByte, first) || !InImage(area.secondByte, rest)) return false;
  std::memcpy(image_ + area.firstByte, source, first);
  std::memcpy(image_ + area.secondByte, source + first, rest);
  UpdateChecksum();
  return true;
}

void TFtE2Data::UserAreaRead(uint8_t* destination, uint32_t length, uint32_t* count) {
  const UserAreaRegions area = UserArea();
  const uint32_t wanted = std::min(length, area.totalBytes);
  const uint32_t first = std::min(wanted, area.firstBytes);
  const uint32_t rest = wanted - first;
  if (!InImage(area.firstByte, first) || !InImage(area.secondByte, rest)) {
    *count = 0;
    return;
  }
  std::memcpy(destination, image_ + area.firstByte, first);
  std::memcpy(destination + first, image_ + area.secondByte, rest);
  *count = wanted;
}

}  // namespace ralvex::bridge::eeprom
