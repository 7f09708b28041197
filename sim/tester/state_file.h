// The bench's state file, one for every process on the bench: whole reads under a shared lock,
// read-modify-writes under an exclusive one (flock on the file), and a hold per device (an open
// file description lock on one byte of the file, far past its text) that the kernel drops when
// the holder closes it or dies. The file is rewritten in place, never replaced, so the locks
// always concern the one file every process opened.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/bridge_device.h"

namespace ralvex::sim {

// The file's text, read under a shared lock. False when there is no readable regular file.
bool ReadStateText(const std::string& path, std::string* text);

// Under an exclusive lock: reads the text (empty for a new file), hands it to `change` and writes
// back what that returns. False when the file cannot be opened or written.
bool ChangeStateText(const std::string& path,
                     const std::function<std::string(const std::string&)>& change);

// What keeps a bench device open for one process at a time: `serial`'s hold on the state file.
// Where the file cannot be opened for writing (a bench installed read-only) nothing is
// coordinated and every open is agreed to, as nothing is kept either.
std::shared_ptr<OpenGuard> MakeDeviceHold(const std::string& statePath, const std::string& serial);

}  // namespace ralvex::sim
