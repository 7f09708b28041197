// The emulated tester as a serial peer of a simulated bridge device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <toml++/toml.h>

#include "sim/peer.h"
#include "sim/tester/tester_clock.h"

namespace ralvex::sim {

// Builds the emulated tester from its bench table ([device.tester]; null for a default tester).
// `statePath` names the state file shared by the bench's testers (empty: nothing persists).
// On a bad table returns null and sets *error to one line naming the key and what is wrong, and
// *line (when given) to the table's line it concerns (0: unknown). Time passes for the tester on
// `clock` (null: the system's), and the time since its state was stored passes as it is loaded.
std::unique_ptr<SerialPeer> MakeTesterPeer(const toml::table* config, const std::string& serial,
                                           const std::string& statePath, std::string* error,
                                           uint32_t* line = nullptr,
                                           std::shared_ptr<TesterClock> clock = nullptr);

}  // namespace ralvex::sim
