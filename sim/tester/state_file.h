// The bench's state file, one for every process on the bench: whole reads under a shared lock,
// read-modify-writes under an exclusive one, and a hold per device (an open file description lock
// on one byte) that the kernel drops when the holder closes it or dies. The locks live on a lock
// file beside the state (`<state>.lock`, empty, never replaced), so the state itself can be
// replaced whole: a change is written to a temporary file and renamed over the state, and a
// process killed while writing leaves the previous state intact, never half a file.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/bridge_device.h"

namespace ralvex::sim {

// The file's text, read under a shared lock. False when there is no readable regular file.
bool ReadStateText(const std::string& path, std::string* text);

// Under an exclusive lock: reads the text (empty for a new file), hands it to `change` and puts
// what that returns in the file's place. False when the lock file or the new text cannot be
// written; the state is then as it was.
bool ChangeStateText(const std::string& path,
                     const std::function<std::string(const std::string&)>& change);

// The lock file of the state file at `statePath`.
std::string StateLockPath(const std::string& statePath);

// What keeps a bench device open for one process at a time: `serial`'s hold on the lock file.
// Where the lock file cannot be opened for writing (a bench installed read-only) nothing is
// coordinated and every open is agreed to, as nothing is kept either.
std::shared_ptr<OpenGuard> MakeDeviceHold(const std::string& statePath, const std::string& serial);

}  // namespace ralvex::sim
