// The readings' variation: a counter-based generator, so the n-th draw of a seed is the same on
// every machine and the sequence resumes where the stored count left it.
#pragma once

#include <algorithm>
#include <cstdint>

namespace ralvex::sim {

// The index-th 64-bit word of the sequence `seed` names (a SplitMix64 step).
inline uint64_t NoiseWord(uint64_t seed, uint64_t index) {
  uint64_t z = seed + (index + 1) * 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// `value` moved by a whole number drawn uniformly from -span..span, kept within 0..65535. The
// bias of the modulo is below 2^-50 for the spans a bench allows.
inline uint16_t Jitter(uint16_t value, uint16_t span, uint64_t seed, uint64_t index) {
  const int64_t offset = static_cast<int64_t>(NoiseWord(seed, index) % (2u * span + 1u)) - span;
  return static_cast<uint16_t>(std::clamp<int64_t>(value + offset, 0, 0xFFFF));
}

}  // namespace ralvex::sim
