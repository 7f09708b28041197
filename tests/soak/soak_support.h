// What both soak runs share: the seed (printed, so that a failing run can be replayed) and the
// scale that shrinks the counts for slow builds.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace ralvex::soak {

// RALVEX_SOAK_SEED replays a run; otherwise a fresh seed is drawn. Printed either way.
inline uint64_t SoakSeed(const char* what) {
  uint64_t seed = 0;
  const char* given = std::getenv("RALVEX_SOAK_SEED");
  if (given != nullptr && *given != '\0') {
    seed = std::strtoull(given, nullptr, 0);
  } else {
    seed = (static_cast<uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}();
  }
  std::printf("%s: seed %llu (replay with RALVEX_SOAK_SEED=%llu)\n", what,
              static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));
  std::fflush(stdout);
  return seed;
}

// RALVEX_SOAK_SCALE (a factor in 0.01..10, default 1) multiplies the call and exchange counts.
inline double SoakScale() {
  const char* given = std::getenv("RALVEX_SOAK_SCALE");
  if (given == nullptr || *given == '\0') return 1.0;
  const double scale = std::strtod(given, nullptr);
  return scale < 0.01 ? 0.01 : (scale > 10.0 ? 10.0 : scale);
}

inline uint64_t Scaled(uint64_t count) {
  const auto scaled = static_cast<uint64_t>(static_cast<double>(count) * SoakScale());
  return scaled > 0 ? scaled : 1;
}

using SoakClock = std::chrono::steady_clock;

inline double MillisecondsSince(SoakClock::time_point start) {
  return std::chrono::duration<double, std::milli>(SoakClock::now() - start).count();
}

}  // namespace ralvex::soak
