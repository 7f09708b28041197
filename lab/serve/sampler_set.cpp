#include "lab/serve/sampler_set.h"

#include <algorithm>

namespace ralvex::lab {

std::size_t SamplerSet::Add(const testers::TesterList& list, std::size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t added = 0;
  for (std::size_t i = 0; i < count && i < testers::TESTER_LIST_CAPACITY; ++i) {
    const std::string serial = list.serials[i];
    if (std::find(serials_.begin(), serials_.end(), serial) != serials_.end()) continue;
    auto sampler =
        std::make_unique<TesterSampler>(makePort_(serial), serial, serials_.size(), timing_, err_);
    sampler->Start();
    samplers_.push_back(std::move(sampler));
    serials_.push_back(serial);
    ++added;
  }
  return added;
}

void SamplerSet::StopAll() {
  std::vector<std::thread> stopping;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& sampler : samplers_) {
      TesterSampler* s = sampler.get();
      stopping.emplace_back([s] { s->Stop(); });
    }
  }
  for (std::thread& t : stopping) t.join();
}

std::vector<TesterView> SamplerSet::Testers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<TesterView> views;
  views.reserve(samplers_.size());
  for (const auto& sampler : samplers_) views.push_back(sampler->View());
  return views;
}

TesterSampler* SamplerSet::Find(const std::string& serial) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto at = std::find(serials_.begin(), serials_.end(), serial);
  return at == serials_.end() ? nullptr
                              : samplers_[static_cast<std::size_t>(at - serials_.begin())].get();
}

std::optional<std::vector<LogRow>> SamplerSet::Samples(const std::string& serial,
                                                       std::optional<WallTime> since) const {
  const TesterSampler* sampler = Find(serial);
  if (sampler == nullptr) return std::nullopt;
  return sampler->Samples(since);
}

std::optional<ControlOutcome> SamplerSet::Control(const std::string& serial,
                                                  const ControlAction& action) {
  TesterSampler* sampler = Find(serial);
  if (sampler == nullptr) return std::nullopt;
  std::future<ControlOutcome> answer = sampler->Post(action);
  if (answer.wait_for(CONTROL_REPLY_TIMEOUT) != std::future_status::ready) {
    return ControlOutcome{true, true, {}};
  }
  return answer.get();
}

}  // namespace ralvex::lab
