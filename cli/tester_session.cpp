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

bool LinkSession::SetProfile(std::uint8_t profileId, std::uint16_t voltageMv) {
  return link_.SetProfile(profileId, voltageMv).answered;
}

bool LinkSession::SetLoad(std::uint16_t loadMa) {
  return link_.SetLoad(loadMa).answered;
}

bool LinkSession::StoreDefaultVoltage(std::uint16_t voltageMv) {
  return link_.SetDefaultVoltage(voltageMv).answered;
}

bool LinkSession::StoreDefaultLoad(std::uint16_t loadMa) {
  return link_.SetDefaultLoad(loadMa).answered;
}

bool LinkSession::StoreMaxLoad(std::uint16_t maxLoadMa) {
  return link_.SetMaxLoad(maxLoadMa).answered;
}

std::uint8_t LinkSession::VersionLevel() const {
  return link_.VersionLevel();
}

}  // namespace ralvex::cli
