// The tester operations ralvex-lab uses. A run carries them out on its open TesterLink through
// LinkTester; the tests put a fake in its place.
#pragma once

#include <cstdint>
#include <string>

#include "link/commands.h"
#include "link/tester_link.h"

namespace ralvex::lab {

class LabTester {
 public:
  virtual ~LabTester() = default;

  // True when the reply arrived in time and repeated the command byte; the record is filled only
  // then.
  virtual bool GetConnection(link::ConnectionReply& reply) = 0;
  virtual bool GetProfiles(link::ProfileList& list) = 0;
  virtual bool GetStats(link::StatsReply& stats) = 0;
  // True when a reply frame arrived in time.
  virtual bool SetLoad(uint16_t loadMa) = 0;
  virtual uint8_t VersionLevel() const = 0;
  // The device has gone (unplugged, its port closed): no exchange can succeed before Reopen.
  virtual bool DeviceLost() const = 0;
  // One attempt to open the same tester (by serial number) again.
  virtual bool Reopen() = 0;
};

// The tester on an open link, which it does not own.
class LinkTester final : public LabTester {
 public:
  LinkTester(link::TesterLink& link, std::string serial)
      : link_(link), serial_(std::move(serial)) {}

  bool GetConnection(link::ConnectionReply& reply) override { return link_.GetConnection(reply); }
  bool GetProfiles(link::ProfileList& list) override { return link_.GetProfiles(list); }
  bool GetStats(link::StatsReply& stats) override { return link_.GetStats(stats); }
  bool SetLoad(uint16_t loadMa) override { return link_.SetLoad(loadMa).answered; }
  uint8_t VersionLevel() const override { return link_.VersionLevel(); }
  bool DeviceLost() const override { return link_.DeviceLost(); }
  bool Reopen() override;

 private:
  link::TesterLink& link_;
  std::string serial_;
};

}  // namespace ralvex::lab
