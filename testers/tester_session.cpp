#include "testers/tester_session.h"

namespace ralvex::testers {

bool LinkSession::GetConnection(link::ConnectionReply& reply) {
  return link_.GetConnection(reply);
}

bool LinkSession::GetProfiles(link::ProfileList& list) {
  return link_.GetProfiles(list);
}

bool LinkSession::GetStats(link::StatsReply& stats) {
  return link_.GetStats(stats);
}

link::SetResult LinkSession::SetProfile(uint8_t profileId, uint16_t voltageMv) {
  return link_.SetProfile(profileId, voltageMv);
}

link::SetResult LinkSession::SetLoad(uint16_t loadMa) {
  return link_.SetLoad(loadMa);
}

link::SetResult LinkSession::StoreDefaultVoltage(uint16_t voltageMv) {
  return link_.SetDefaultVoltage(voltageMv);
}

link::SetResult LinkSession::StoreDefaultLoad(uint16_t loadMa) {
  return link_.SetDefaultLoad(loadMa);
}

link::SetResult LinkSession::StoreMaxLoad(uint16_t maxLoadMa) {
  return link_.SetMaxLoad(maxLoadMa);
}

uint8_t LinkSession::VersionLevel() const {
  return link_.VersionLevel();
}

bool LinkSession::DeviceLost() const {
  return link_.DeviceLost();
}

bool LinkSession::Reopen() {
  if (link_.Open(serial_.c_str())) return true;
  // A failed open keeps no thread or device for the next attempt.
  link_.Close();
  return false;
}

}  // namespace ralvex::testers
