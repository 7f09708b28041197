// The tester operations both programs use. A run carries them out on its open TesterLink through
// LinkSession; the programs' tests put a fake in its place (tests/testers/fake_session.h).
#pragma once

#include <cstdint>
#include <string>

#include "link/commands.h"
#include "link/tester_link.h"

namespace ralvex::testers {

class TesterSession {
 public:
  virtual ~TesterSession() = default;

  // True when the tester's reply arrived in time and repeated the command byte; the record is
  // filled only then.
  virtual bool GetConnection(link::ConnectionReply& reply) = 0;
  virtual bool GetProfiles(link::ProfileList& list) = 0;
  virtual bool GetStats(link::StatsReply& stats) = 0;
  // The set operations: `answered` once a reply frame arrived in time (for SetProfile one
  // repeating its command byte), and the tester's verdict when the reply carried one, so a caller
  // can tell an accepted request from a refused one.
  virtual link::SetResult SetProfile(uint8_t profileId, uint16_t voltageMv) = 0;
  virtual link::SetResult SetLoad(uint16_t loadMa) = 0;
  virtual link::SetResult StoreDefaultVoltage(uint16_t voltageMv) = 0;
  virtual link::SetResult StoreDefaultLoad(uint16_t loadMa) = 0;
  virtual link::SetResult StoreMaxLoad(uint16_t maxLoadMa) = 0;
  // The version the tester greeted with; it decides how ranged profiles are reported.
  virtual uint8_t VersionLevel() const = 0;
  // The device has gone (unplugged, its port closed): no exchange can succeed before Reopen.
  virtual bool DeviceLost() const = 0;
  // One attempt to open the same tester (by serial number) again.
  virtual bool Reopen() = 0;
};

// The session on an open link, which it does not own; `serial` is the tester it was opened on,
// which Reopen opens again.
class LinkSession final : public TesterSession {
 public:
  LinkSession(link::TesterLink& link, std::string serial)
      : link_(link), serial_(std::move(serial)) {}

  bool GetConnection(link::ConnectionReply& reply) override;
  bool GetProfiles(link::ProfileList& list) override;
  bool GetStats(link::StatsReply& stats) override;
  link::SetResult SetProfile(uint8_t profileId, uint16_t voltageMv) override;
  link::SetResult SetLoad(uint16_t loadMa) override;
  link::SetResult StoreDefaultVoltage(uint16_t voltageMv) override;
  link::SetResult StoreDefaultLoad(uint16_t loadMa) override;
  link::SetResult StoreMaxLoad(uint16_t maxLoadMa) override;
  uint8_t VersionLevel() const override;
  bool DeviceLost() const override;
  bool Reopen() override;

 private:
  link::TesterLink& link_;
  std::string serial_;
};

}  // namespace ralvex::testers
