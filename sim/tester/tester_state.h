// Keeps the testers' stored settings and live state in the bench's state file between runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sim/tester/tester_model.h"

namespace ralvex::sim {

// Reads what is stored for `serial`. False when nothing is (no file, no entry) or when the file or
// the entry cannot be read: the tester then starts fresh. *live tells whether the contract and the
// load were stored too (a tester that stayed powered) or only the settings; *writtenMs (when
// given) when they were stored, in wall-clock milliseconds since 1970 (none: not recorded).
bool LoadTesterState(const std::string& path, const std::string& serial, TesterState* state,
                     bool* live, std::optional<int64_t>* writtenMs = nullptr);

// Stores `state` for `serial`, keeping the other testers' entries: a read-modify-write under the
// file's exclusive lock, so no process's change is lost to another's and a reader (under the
// shared lock) never sees half of it. False when the file could not be written. `writtenMs` is
// recorded as the moment the state held.
bool SaveTesterState(const std::string& path, const std::string& serial, const TesterState& state,
                     std::optional<int64_t> writtenMs = std::nullopt);

}  // namespace ralvex::sim
