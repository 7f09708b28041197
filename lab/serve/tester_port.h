// What a sampler holds open: one tester's session, which the sampler opens (one attempt at a time,
// by serial number) and closes. The program's port is a TesterLink; the tests put a scripted
// session in its place.
#pragma once

#include <string>

#include "link/tester_link.h"
#include "testers/tester_session.h"

namespace ralvex::lab {

class TesterPort {
 public:
  virtual ~TesterPort() = default;
  // The session to talk through; its Reopen() is one attempt to open the tester.
  virtual testers::TesterSession& Session() = 0;
  // Lets the device go, so that another program (or a later open) can have it.
  virtual void Close() = 0;
};

class LinkPort final : public TesterPort {
 public:
  explicit LinkPort(const std::string& serial) : session_(link_, serial) {}
  ~LinkPort() override { link_.Close(); }

  testers::TesterSession& Session() override { return session_; }
  void Close() override { link_.Close(); }

 private:
  link::TesterLink link_;
  testers::LinkSession session_;
};

}  // namespace ralvex::lab
