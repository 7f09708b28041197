// The source over time: moves between voltages, over-current trips and their recovery, a
// battery's drain and the load's heat sink. Each step is a pure function of the state, the bench
// and the time that passed, so a run and the gap between two runs advance it the same way.
#pragma once

#include <cstdint>

#include "sim/tester/tester_config.h"
#include "sim/tester/tester_model.h"

namespace ralvex::sim {

// Fills in what a fresh state lacks for this bench: a full battery.
void PrepareSource(const TesterConfig& config, TesterState* state);

// Moves the contract to `profile` (1-based) at `voltage`: the output leaves from where it stands
// now (0 with no contract) and takes the new profile's settle time to get there.
void MoveContract(const TesterConfig& config, uint8_t profile, uint16_t voltage,
                  TesterState* state);

// Trips the over-current protection when the current drawn exceeds the contract's trip current:
// the contract drops for the profile's recovery time. True when it tripped.
bool CheckTrip(const TesterConfig& config, TesterState* state);

// Lets `ms` milliseconds pass.
void AdvanceSource(const TesterConfig& config, uint64_t ms, TesterState* state);

}  // namespace ralvex::sim
