// The generator's random numbers: the same sequence on every platform and in the page, from
// integer arithmetic alone (no standard distribution, whose results differ between libraries).
#pragma once

#include <cstdint>
#include <string_view>

namespace tosim::generator {

// The seed of a text: the 64-bit FNV-1a hash of its bytes (offset basis 14695981039346656037,
// prime 1099511628211), so that any text, a student's name too, names a run.
[[nodiscard]] std::uint64_t SeedOf(std::string_view text);

// xoshiro256** (Blackman and Vigna), its state filled from the seed by SplitMix64.
class Random {
 public:
  explicit Random(std::uint64_t seed);
  std::uint64_t Next();
  // Uniform in [0, bound), bound > 0: multiples of bound only, the rest drawn again.
  int Below(int bound);
  // Uniform in [low, high].
  int Between(int low, int high) { return low + Below(high - low + 1); }

 private:
  std::uint64_t state_[4];
};

}  // namespace tosim::generator
