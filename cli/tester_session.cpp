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
  return link_.SetProfile(profileId, voltageMv);
}

bool LinkSession::SetLoad(uint16_t loadMa) {
  return link_.SetLoad(loadMa);
}

bool LinkSession::StoreDefaultVoltage(uint16_t voltageMv) {
  return link_.SetDefaultVoltage(voltageMv);
}

bool LinkSession::StoreDefaultLoad(uint16_t loadMa) {
  return link_.SetDefaultLoad(loadMa);
}

bool LinkSession::StoreMaxLoad(uint16_t maxLoadMa) {
  return link_.SetMaxLoad(maxLoadMa);
}

uint8_t LinkSession::VersionLevel() const {
  return link_.VersionLevel();
}

}  // namespace ralvex::cli
