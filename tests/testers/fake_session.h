// A tester session the programs' unit tests script: each operation is a mock.
#pragma once

#include <gmock/gmock.h>

#include <cstdint>

#include "testers/tester_session.h"

namespace ralvex::testers::test_support {

class FakeSession : public TesterSession {
 public:
  MOCK_METHOD(bool, GetConnection, (link::ConnectionReply & reply), (override));
  MOCK_METHOD(bool, GetProfiles, (link::ProfileList & list), (override));
  MOCK_METHOD(bool, GetStats, (link::StatsReply & stats), (override));
  MOCK_METHOD(link::SetResult, SetProfile, (uint8_t profileId, uint16_t voltageMv), (override));
  MOCK_METHOD(link::SetResult, SetLoad, (uint16_t loadMa), (override));
  MOCK_METHOD(link::SetResult, StoreDefaultVoltage, (uint16_t voltageMv), (override));
  MOCK_METHOD(link::SetResult, StoreDefaultLoad, (uint16_t loadMa), (override));
  MOCK_METHOD(link::SetResult, StoreMaxLoad, (uint16_t maxLoadMa), (override));
  MOCK_METHOD(uint8_t, VersionLevel, (), (const, override));
  MOCK_METHOD(bool, DeviceLost, (), (const, override));
  MOCK_METHOD(bool, Reopen, (), (override));
};

}  // namespace ralvex::testers::test_support
