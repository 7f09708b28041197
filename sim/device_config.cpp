#include "sim/device_config.h"

namespace ralvex::sim {
namespace {

// Printable ASCII other than the characters an instance ID or interface path cannot carry.
bool SerialCharactersUsable(std::string_view serial) {
  for (char c : serial) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '\\' || c == '/' || c == '#' || c == ',') {
      return false;
    }
  }
  return true;
}

bool PrintableText(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

}  // namespace

bool ValidateBridgeDeviceConfig(const BridgeDeviceConfig& config, std::string* error,
                                std::string_view* key) {
  auto fail = [&](std::string_view field, std::string text) {
    if (error != nullptr) *error = std::move(text);
    if (key != nullptr) *key = field;
    return false;
  };
  if (config.serial.size() > MAX_SERIAL_LENGTH) {
    return fail("serial", "serial '" + config.serial + "' is longer than " +
                              std::to_string(MAX_SERIAL_LENGTH) + " characters");
  }
  if (!SerialCharactersUsable(config.serial)) {
    return fail("serial", "serial '" + config.serial +
                              "' may hold only printable characters other than space, "
                              "'\\', '/', '#' and ','");
  }
  if (config.description && config.description->size() > MAX_DESCRIPTION_LENGTH) {
    return fail("description", "'description' is longer than " +
                                   std::to_string(MAX_DESCRIPTION_LENGTH) + " characters");
  }
  if (config.description && !PrintableText(*config.description)) {
    return fail("description", "'description' holds a control character");
  }
  const uint32_t words = config.eepromWords.value_or(DefaultEepromWords(config.chip));
  if (!IsValidEepromWords(words)) {
    return fail("eeprom_words",
                "'eeprom_words' must be 0, 64, 128, 256 or 1024, not " + std::to_string(words));
  }
  if (config.eeprom.size() > words) {
    return fail("eeprom", "'eeprom' holds " + std::to_string(config.eeprom.size()) +
                              " words, more than the EEPROM's " + std::to_string(words));
  }
  for (uint32_t slot : config.refuse) {
    if (!IsValidRequestSlot(slot)) {
      return fail("refuse", "'refuse': slot " + std::to_string(slot) + " is not a request slot");
    }
  }
  if (config.factoryWord != 0 && config.chip != CHIP_232R) {
    return fail("factory_word", "'factory_word' belongs to a 232R, not a " +
                                    std::string(ChipFamilyName(config.chip)));
  }
  return true;
}

BridgeDeviceConfig ResolveBridgeDeviceConfig(BridgeDeviceConfig config) {
  if (config.serial.size() > MAX_SERIAL_LENGTH) config.serial.resize(MAX_SERIAL_LENGTH);
  if (!config.description) config.description = std::string(DefaultDescription(config.chip));
  if (config.description->size() > MAX_DESCRIPTION_LENGTH) {
    config.description->resize(MAX_DESCRIPTION_LENGTH);
  }
  if (!config.pid) config.pid = DefaultProductId(config.chip);
  if (!config.highSpeed) config.highSpeed = DefaultHighSpeed(config.chip);
  if (!config.eepromWords || !IsValidEepromWords(*config.eepromWords)) {
    config.eepromWords = DefaultEepromWords(config.chip);
  }
  return config;
}

}  // namespace ralvex::sim
