// What the HTTP side asks of the testers: their latest views, their history, and the control
// requests it hands on. The program's model is the SamplerSet; the API's tests script one.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lab/serve/tester_sampler.h"

namespace ralvex::lab {

class ServeModel {
 public:
  virtual ~ServeModel() = default;
  virtual std::vector<TesterView> Testers() const = 0;
  // Nullopt for a serial number no tester has.
  virtual std::optional<std::vector<LogRow>> Samples(const std::string& serial,
                                                     std::optional<WallTime> since) const = 0;
  // Carried out by the tester's own sampler; nullopt for an unknown serial number. A tester that
  // did not answer in time gives an outcome that is up but not answered.
  virtual std::optional<ControlOutcome> Control(const std::string& serial,
                                                const ControlAction& action) = 0;
};

}  // namespace ralvex::lab
