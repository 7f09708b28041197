// The tester operations an action uses. A run carries them out on its open TesterLink through
// LinkSession; the actions' tests put a fake in its place.
#pragma once

#include <cstdint>

#include "link/commands.h"
#include "link/tester_link.h"

namespace ralvex::cli {

class TesterSession {
 public:
  virtual ~TesterSession() = default;

  // True when the tester's reply arrived in time and repeated the command byte; the record is
  // filled only then.
  virtual bool GetConnection(link::ConnectionReply& reply) = 0;
  virtual bool GetProfiles(link::ProfileList& list) = 0;
  virtual bool GetStats(link::StatsReply& stats) = 0;
  virtual bool SetProfile(uint8_t profileId, uint16_t voltageMv) = 0;
  // True when a reply frame arrived in time, whatever it holds: the tester's verdict is not looked
  // at.
  virtual bool SetLoad(uint16_t loadMa) = 0;
  virtual bool StoreDefaultVoltage(uint16_t voltageMv) = 0;
  virtual bool StoreDefaultLoad(uint16_t loadMa) = 0;
  virtual bool StoreMaxLoad(uint16_t maxLoadMa) = 0;
  // The version the tester greeted with; it decides how ranged profiles are reported.
  virtual uint8_t VersionLevel() const = 0;
};

// The session on an open link, which it does not own.
class LinkSession final : public TesterSession {
 public:
  explicit LinkSession(link::TesterLink& link) : link_(link) {}

  bool GetConnection(link::ConnectionReply& reply) override;
  bool GetProfiles(link::ProfileList& list) override;
  bool GetStats(link::StatsReply& stats) override;
  bool SetProfile(uint8_t profileId, uint16_t voltageMv) override;
  bool SetLoad(uint16_t loadMa) override;
  bool StoreDefaultVoltage(uint16_t voltageMv) override;
  bool StoreDefaultLoad(uint16_t loadMa) override;
  bool StoreMaxLoad(uint16_t maxLoadMa) override;
  uint8_t VersionLevel() const override;

 private:
  link::TesterLink& link_;
};

}  // namespace ralvex::cli
