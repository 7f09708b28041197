// The emulated tester as a serial peer of a simulated bridge device.
#pragma once

#include <memory>
#include <string>

#include <toml++/toml.h>

#include "sim/peer.h"

namespace ralvex::sim {

// Builds the emulated tester from its bench table ([device.tester]; null for a default tester).
// `state_path` names the state file shared by the bench's testers (empty: nothing persists).
// On a bad table returns null and sets *error to one line naming the key and what is wrong.
std::unique_ptr<SerialPeer> MakeTesterPeer(const toml::table* config, const std::string& serial,
                                           const std::string& state_path, std::string* error);

}  // namespace ralvex::sim
