// Every tester `serve` samples, one sampler each, kept in the order discovery found them. A scan
// adds a sampler for each serial number not yet known; a tester that went away keeps its sampler,
// which marks it down and reopens it when it is back.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lab/serve/serve_model.h"
#include "lab/serve/tester_sampler.h"
#include "testers/discovery.h"

namespace ralvex::lab {

// How long an HTTP thread waits for a tester's answer to a control request.
inline constexpr std::chrono::seconds CONTROL_REPLY_TIMEOUT{5};

using PortFactory = std::function<std::unique_ptr<TesterPort>(const std::string& serial)>;

class SamplerSet final : public ServeModel {
 public:
  SamplerSet(PortFactory makePort, SamplerTiming timing, std::FILE* err)
      : makePort_(std::move(makePort)), timing_(timing), err_(err) {}
  ~SamplerSet() override { StopAll(); }

  // Starts a sampler for every tester of `list` (its first `count` entries) not yet sampled;
  // returns how many were added.
  std::size_t Add(const testers::TesterList& list, std::size_t count);
  // Every sampler stopped (loads back to 0 mA, ports closed), in parallel.
  void StopAll();

  std::vector<TesterView> Testers() const override;
  std::optional<std::vector<LogRow>> Samples(const std::string& serial,
                                             std::optional<WallTime> since) const override;
  std::optional<ControlOutcome> Control(const std::string& serial,
                                        const ControlAction& action) override;

 private:
  // Null for a serial number no sampler has. The sampler lives as long as the set.
  TesterSampler* Find(const std::string& serial) const;

  PortFactory makePort_;
  SamplerTiming timing_;
  std::FILE* err_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<TesterSampler>> samplers_;
  std::vector<std::string> serials_;
};

}  // namespace ralvex::lab
