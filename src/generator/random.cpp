#include "generator/random.h"

namespace tosim::generator {

namespace {

std::uint64_t SplitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

std::uint64_t RotateLeft(std::uint64_t x, int k) {
  return (x << k) | (x >> (64 - k));
}

}  // namespace

std::uint64_t SeedOf(std::string_view text) {
  std::uint64_t hash = 14695981039346656037u;
  for (const char ch : text) {
    hash ^= static_cast<unsigned char>(ch);
    hash *= 1099511628211u;
  }
  return hash;
}

Random::Random(std::uint64_t seed) {
  for (std::uint64_t& word : state_) {
    word = SplitMix64(seed);
  }
}

std::uint64_t Random::Next() {
  const std::uint64_t result = RotateLeft(state_[1] * 5, 7) * 9;
  const std::uint64_t t = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= t;
  state_[3] = RotateLeft(state_[3], 45);
  return result;
}

int Random::Below(int bound) {
  const auto n = static_cast<std::uint64_t>(bound);
  // 2^64 mod n: the draws below it would make the small results likelier.
  const std::uint64_t skip = (0 - n) % n;
  std::uint64_t draw = Next();
  while (draw < skip) {
    draw = Next();
  }
  return static_cast<int>(draw % n);
}

}  // namespace tosim::generator
