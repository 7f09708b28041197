#include "sim/tester/tester_firmware.h"

#include <utility>

#include "sim/tester/reading_noise.h"
#include "sim/tester/source_model.h"

namespace ralvex::sim {

namespace {

void PutU16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v & 0xFF));
  out->push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<uint8_t>(v >> shift));
}

uint16_t GetU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The profiles a host sees: none without a source, or while it is down.
size_t OfferedProfiles(const TesterConfig& config, const TesterState& state) {
  return SourceUp(config, state) ? config.profiles.size() : 0;
}

// A reading with its variation: the next draw of the bench's sequence, when it has any.
uint16_t Vary(const TesterConfig& config, uint16_t reading, uint16_t span, uint64_t* draws) {
  return span == 0 ? reading : Jitter(reading, span, config.seed, (*draws)++);
}

std::vector<uint8_t> ContractNotice(uint8_t code, uint8_t profile, uint16_t voltage) {
  std::vector<uint8_t> n = {code, profile};
  PutU16(&n, voltage);
  return n;
}

}  // namespace

TesterFirmware::TesterFirmware(TesterConfig config, TesterState state, bool live)
    : config_(std::move(config)), state_(state) {
  PrepareSource(config_, &state_);
  SettleContract(config_, !live, &state_);
  CheckTrip(config_, &state_);
}

void TesterFirmware::Advance(uint64_t ms) {
  AdvanceSource(config_, ms, &state_);
}

TesterResponse TesterFirmware::Handle(const uint8_t* payload, size_t length) {
  TesterResponse r;
  if (payload == nullptr || length == 0) return r;  // nothing to answer to
  const uint8_t command = payload[0];
  uint8_t ack = TESTER_ACK_OK;
  switch (command) {
    case TESTER_CMD_HELLO:
      Hello(&r);
      return r;
    case TESTER_CMD_GET_CONNECTION:
      Connection(&r);
      return r;
    case TESTER_CMD_GET_PROFILES:
      Profiles(&r);
      return r;
    case TESTER_CMD_GET_STATS:
      Stats(&r);
      return r;
    case TESTER_CMD_GET_SETTING:
      GetSetting(payload, length, &r);
      return r;
    case TESTER_CMD_SET_PROFILE:
      ack = SetProfile(payload, length, &r);
      break;
    case TESTER_CMD_SET_DEFVOLT:
    case TESTER_CMD_SET_DEFLOAD:
    case TESTER_CMD_SET_LOAD:
      if (length < 3) {
        ack = TESTER_ACK_MALFORMED;
        break;
      }
      if (command == TESTER_CMD_SET_DEFVOLT) state_.defaultVoltage = GetU16(payload + 1);
      if (command == TESTER_CMD_SET_DEFLOAD) state_.defaultLoad = GetU16(payload + 1);
      if (command == TESTER_CMD_SET_LOAD) state_.load = GetU16(payload + 1);
      r.stateChanged = true;
      break;
    case TESTER_CMD_SET_SETTING:
      ack = SetSetting(payload, length, &r);
      break;
    default:
      r.reply = {TESTER_NAK, command};
      return r;
  }
  r.reply = {command, ack};
  if (r.stateChanged) AfterChange(&r);
  return r;
}

// A new load or contract may draw more than the protection allows.
void TesterFirmware::AfterChange(TesterResponse* r) {
  if (!CheckTrip(config_, &state_) || !config_.notify) return;
  TesterState back = state_;
  ContractOnProfileOne(config_, &back);
  r->comeback = ContractNotice(TESTER_NOTIFY_PROFILE, back.profile, back.voltage);
  r->comebackAfterMs = state_.source.recoverLeftMs;
}

void TesterFirmware::Hello(TesterResponse* r) const {
  r->reply = {TESTER_CMD_HELLO, config_.versionLevel, config_.versionByte2};
}

void TesterFirmware::Connection(TesterResponse* r) const {
  std::vector<uint8_t>& out = r->reply;
  out.push_back(TESTER_CMD_GET_CONNECTION);
  const TesterProfile* contract = ContractProfile(config_, state_);
  if (contract == nullptr) {
    out.resize(13, 0);
    return;
  }
  const TesterProfile& p = *contract;
  out.push_back(1);
  out.push_back(state_.profile);
  out.push_back(p.profileClass);
  out.push_back(p.subtype);
  PutU16(&out, state_.voltage);
  PutU16(&out, p.current);
  PutU32(&out, static_cast<uint32_t>(uint64_t{state_.voltage} * p.current / 1000));
}

void TesterFirmware::Profiles(TesterResponse* r) const {
  std::vector<uint8_t>& out = r->reply;
  const size_t count = OfferedProfiles(config_, state_);
  out.push_back(TESTER_CMD_GET_PROFILES);
  out.push_back(static_cast<uint8_t>(count));
  out.push_back(0);  // spare
  for (size_t i = 0; i < 7; ++i) {
    if (i >= count) {
      out.insert(out.end(), 8, 0);
      continue;
    }
    const TesterProfile& p = config_.profiles[i];
    PutU16(&out, static_cast<uint16_t>((i + 1) | ((p.profileClass & 0x0F) << 4) |
                                       ((p.subtype & 0x07) << 8)));
    PutU16(&out, IsRanged(p) ? p.minVoltage : 0);
    PutU16(&out, p.voltage);
    PutU16(&out, p.current);
  }
}

void TesterFirmware::Stats(TesterResponse* r) {
  TesterReadings m = Measure(config_, state_);
  if (ContractProfile(config_, state_) != nullptr) {
    const uint64_t drawn = state_.source.noiseDraws;
    m.voltage = Vary(config_, m.voltage, config_.noiseVoltage, &state_.source.noiseDraws);
    m.measuredCurrent =
        Vary(config_, m.measuredCurrent, config_.noiseCurrent, &state_.source.noiseDraws);
    r->stateChanged = state_.source.noiseDraws != drawn;  // the sequence resumes from here
  }
  std::vector<uint8_t>& out = r->reply;
  out.push_back(TESTER_CMD_GET_STATS);
  out.push_back(0);
  out.push_back(m.temperature);
  PutU16(&out, m.voltage);
  PutU16(&out, m.setCurrent);
  PutU16(&out, m.measuredCurrent);
  PutU16(&out, m.loopbackCurrent);
}

uint8_t TesterFirmware::SetProfile(const uint8_t* payload, size_t length, TesterResponse* r) {
  if (length < 4) return TESTER_ACK_MALFORMED;
  const uint8_t id = payload[1];
  if (id < 1 || id > OfferedProfiles(config_, state_)) return TESTER_ACK_REFUSED;
  const auto voltage = ContractVoltage(config_.profiles[id - 1], GetU16(payload + 2));
  if (!voltage) return TESTER_ACK_REFUSED;
  if (id == state_.profile && *voltage == state_.voltage) return TESTER_ACK_OK;
  const uint8_t notice = id == state_.profile ? TESTER_NOTIFY_VOLTAGE : TESTER_NOTIFY_PROFILE;
  MoveContract(config_, id, *voltage, &state_);
  r->stateChanged = true;
  if (config_.notify) r->notifications.push_back(ContractNotice(notice, id, *voltage));
  return TESTER_ACK_OK;
}

uint8_t TesterFirmware::SetSetting(const uint8_t* payload, size_t length, TesterResponse* r) {
  if (length < 3) return TESTER_ACK_MALFORMED;
  const uint8_t id = payload[1];
  const uint8_t kind = payload[2];  // the number of value bytes that follow
  if (kind > 2 || length < 3u + kind) return TESTER_ACK_MALFORMED;
  if (id != TESTER_SETTING_MAXLOAD) return TESTER_ACK_REFUSED;
  if (kind == 0) {
    state_.maxLoad.reset();  // back to the automatic limits
  } else {
    state_.maxLoad = kind == 2 ? GetU16(payload + 3) : payload[3];
  }
  r->stateChanged = true;
  return TESTER_ACK_OK;
}

void TesterFirmware::GetSetting(const uint8_t* payload, size_t length, TesterResponse* r) const {
  std::vector<uint8_t>& out = r->reply;
  out.push_back(TESTER_CMD_GET_SETTING);
  if (length < 2) return;
  switch (payload[1]) {
    case 0:
      out.push_back(config_.flagSetting0);
      break;
    case TESTER_SETTING_MAXLOAD:
      PutU16(&out, state_.maxLoad.value_or(0));
      break;
    case 2:
      PutU16(&out, config_.wordSetting2);
      break;
    case 3:
      out.push_back(config_.flagSetting3);
      break;
    case 4:
      PutU16(&out, config_.wordSetting4);
      break;
    default:
      break;
  }
}

}  // namespace ralvex::sim
