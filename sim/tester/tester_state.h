// Keeps the testers' stored settings and live state in the bench's state file between runs.
#pragma once

#include <string>

#include "sim/tester/tester_model.h"

namespace ralvex::sim {

// Reads what is stored for `serial`. False when nothing is (no file, no entry) or when the file or
// the entry cannot be read: the tester then starts fresh. *live tells whether the contract and the
// load were stored too (a tester that stayed powered) or only the settings.
bool LoadTesterState(const std::string& path, const std::string& serial, TesterState* state,
                     bool* live);

// Stores `state` for `serial`, keeping the other testers' entries. The file is replaced whole
// (written to a temporary file, then renamed), so a reader never sees half of it. False when the
// file could not be written.
bool SaveTesterState(const std::string& path, const std::string& serial, const TesterState& state);

}  // namespace ralvex::sim
