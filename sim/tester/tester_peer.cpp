#include "sim/tester/tester_peer.h"

namespace ralvex::sim {

// Placeholder until the emulated tester lands.
std::unique_ptr<SerialPeer> MakeTesterPeer(const toml::table*, const std::string&,
                                           const std::string&, std::string* error) {
  if (error) *error = "the emulated tester is not available in this build";
  return nullptr;
}

}  // namespace ralvex::sim
