#include "cli/tester_session.h"

namespace ralvex::cli {

bool LinkSession::GetConnection(link::ConnectionReply& reply) {
  return link_.GetConnection(reply);
}

bool LinkSession::GetProfiles(link::ProfileList& list) {
  return link_.GetProfiles(list);
}

bool LinkSession::GetStats(link::StatsReply& stats) {
  return link_.GetStats(stats);
}

bool LinkSession::SetProfile(uint8_t profileId, uint16_t voltageMv) {
  return link_.SetProfile(profileId, voltageMv).answered;
}

bool LinkSession::SetLoad(uint16_t loadMa) {
  return link_.SetLoad(loadMa).answered;
}

bool LinkSession::StoreDefaultVoltage(uint16_t voltageMv) {
  return link_.SetDefaultVoltage(voltageMv).answered;
}

bool LinkSession::StoreDefaultLoad(uint16_t loadMa) {
  return link_.SetDefaultLoad(loadMa).answered;
}

bool LinkSession::StoreMaxLoad(uint16_t maxLoadMa) {
  return link_.SetMaxLoad(maxLoadMa).answered;
}

uint8_t LinkSession::VersionLevel() const {
  return link_.VersionLevel();
}

}  // namespace ralvex::cli
