#include "sim/tester/source_model.h"

#include <algorithm>
#include <cmath>

namespace ralvex::sim {

namespace {

// While the output moves, the power changes: it is taken as constant over steps this long.
constexpr uint64_t MOVE_STEP_MS = 10;

// One milliwatt-hour in microjoules.
constexpr uint64_t MICROJOULE_PER_MWH = 3600000;

// The heat sink follows the power with the bench's time constant; constant power over `ms`.
void Heat(const TesterConfig& config, uint32_t milliwatt, uint64_t ms, TesterState* state) {
  if (config.thermalSeconds == 0) {
    state->source.heatMc.reset();
    return;
  }
  const double steady = SteadyHeatMc(config, milliwatt);
  const double now = state->source.heatMc.value_or(config.ambient * 1000);
  const double decay = std::exp(-static_cast<double>(ms) / (config.thermalSeconds * 1000.0));
  state->source.heatMc = static_cast<int32_t>(std::lround(steady + (now - steady) * decay));
}

void DropContract(TesterState* state) {
  state->profile = 0;
  state->voltage = 0;
  state->source.moveMs = 0;
  state->source.movedMs = 0;
}

// The source comes back from a trip: profile 1 again, from 0 V.
void ComeBack(const TesterConfig& config, TesterState* state) {
  TesterState fresh = *state;
  ContractOnProfileOne(config, &fresh);
  MoveContract(config, fresh.profile, fresh.voltage, state);
  CheckTrip(config, state);
}

// Time with the contract down after a trip. A load that trips the source again the moment it is
// back repeats the same cycle: whole cycles are skipped at once.
uint64_t Recover(const TesterConfig& config, uint64_t ms, TesterState* state) {
  const uint64_t step = std::min<uint64_t>(ms, state->source.recoverLeftMs);
  Heat(config, 0, step, state);
  state->source.recoverLeftMs = static_cast<uint16_t>(state->source.recoverLeftMs - step);
  ms -= step;
  if (state->source.recoverLeftMs > 0) return ms;
  ComeBack(config, state);
  const uint64_t cycle = state->source.recoverLeftMs;
  if (cycle == 0) return ms;
  const uint64_t skipped = ms / cycle * cycle;
  Heat(config, 0, skipped, state);
  return ms - skipped;
}

// Time with the contract up: a step of steady power (shorter while the output moves or when the
// battery runs out within it).
uint64_t Run(const TesterConfig& config, uint64_t ms, TesterState* state) {
  SourceState& s = state->source;
  const OperatingPoint op = Operate(config, *state);
  uint64_t step = ms;
  if (s.moveMs > 0) step = std::min<uint64_t>({step, MOVE_STEP_MS, uint64_t{s.moveMs} - s.movedMs});
  const bool draining = config.batteryMwh && op.milliwatt > 0;
  if (draining) step = std::min(step, (*s.batteryUj + op.milliwatt - 1) / op.milliwatt);
  Heat(config, op.milliwatt, step, state);
  if (s.moveMs > 0) {
    s.movedMs = static_cast<uint16_t>(s.movedMs + step);
    if (s.movedMs >= s.moveMs) s.moveMs = s.movedMs = 0;
  }
  if (draining) {
    *s.batteryUj -= std::min(*s.batteryUj, uint64_t{op.milliwatt} * step);
    if (*s.batteryUj == 0) DropContract(state);
  }
  return ms - step;
}

}  // namespace

void PrepareSource(const TesterConfig& config, TesterState* state) {
  if (!config.batteryMwh) return;
  const uint64_t full = uint64_t{*config.batteryMwh} * MICROJOULE_PER_MWH;
  state->source.batteryUj = std::min(state->source.batteryUj.value_or(full), full);
}

void MoveContract(const TesterConfig& config, uint8_t profile, uint16_t voltage,
                  TesterState* state) {
  SourceState& s = state->source;
  s.moveFrom = OutputVoltage(config, *state);
  s.moveMs = config.profiles[profile - 1].settleMs;
  s.movedMs = 0;
  state->profile = profile;
  state->voltage = voltage;
}

bool CheckTrip(const TesterConfig& config, TesterState* state) {
  const TesterProfile* p = ContractProfile(config, *state);
  if (p == nullptr || !p->tripCurrent || Operate(config, *state).drawnCurrent <= *p->tripCurrent) {
    return false;
  }
  // Never shorter than a millisecond, so that a load that trips it again cannot hold time still.
  state->source.recoverLeftMs = std::max<uint16_t>(p->recoverMs, 1);
  DropContract(state);
  return true;
}

void AdvanceSource(const TesterConfig& config, uint64_t ms, TesterState* state) {
  while (ms > 0) {
    if (state->source.recoverLeftMs > 0 && config.source) {
      ms = Recover(config, ms, state);
    } else if (ContractProfile(config, *state) != nullptr) {
      ms = Run(config, ms, state);
    } else {
      Heat(config, 0, ms, state);
      return;
    }
  }
}

}  // namespace ralvex::sim
