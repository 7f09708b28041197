// Process-wide state of the access layer: the locks, created on first use, and the
// server-edition flag read with them.
#pragma once

#include "platform/win32.h"

namespace ralvex::bridge {

// Creates the locks and reads the system version once. False when a lock cannot be created.
bool LazyInitialise();
// Closes the locks; the next LazyInitialise creates them again.
void Finalise();

// Set when the system is a server edition of version 10: device paths are then opened
// session-aware.
bool ServerEdition();

// Scoped holders of the three locks. Lock order: match section, then device-information list
// lock, then open lock.
// The locks must have been initialised (LazyInitialise) before one is taken.
// Serialises opening by index and closing (the handle list's insertions and removals).
class OpenLock {
 public:
  OpenLock();
  ~OpenLock();
  OpenLock(const OpenLock&) = delete;
  OpenLock& operator=(const OpenLock&) = delete;

 private:
  HANDLE mutex_;
};

// Serialises the device-information list: its rebuild and its readers.
class DeviceInfoListLock {
 public:
  DeviceInfoListLock();
  ~DeviceInfoListLock();
  DeviceInfoListLock(const DeviceInfoListLock&) = delete;
  DeviceInfoListLock& operator=(const DeviceInfoListLock&) = delete;

 private:
  HANDLE mutex_;
};

// Held by FT_OpenEx around each candidate, so two matching opens never interleave.
class MatchSection {
 public:
  MatchSection();
  ~MatchSection();
  MatchSection(const MatchSection&) = delete;
  MatchSection& operator=(const MatchSection&) = delete;
};

}  // namespace ralvex::bridge
