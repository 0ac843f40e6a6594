// The protocol lab on one plan of 10 transactions and 200 operations: how long all eight
// protocols take to replay it. A benchmark, not a test: it prints figures and fails on nothing.
//
//   cmake --build --preset default --target tosim_protocols_bench
//   build/default/tosim_protocols_bench [PLANS] [REPEAT]
//
// PLANS different plans (default 50) are generated with a fixed seed: 10 begins, 180 reads and
// writes of random transactions on 6 items (one in three a write), then the 10 commits in random
// order. Each plan is replayed REPEAT times (default 2000); the figure per plan is the median over
// its repetitions' mean, and the slowest and median plan are reported.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "protocols/protocols.h"

namespace {

using tosim::Operation;
using tosim::OpKind;

// A small deterministic generator (SplitMix64), so that the plans are the same everywhere.
struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
};

std::vector<Operation> MakePlan(Random& random) {
  std::vector<Operation> plan;
  for (int t = 1; t <= 10; ++t) {
    plan.push_back({OpKind::Begin, t, ' '});
  }
  for (int i = 0; i < 180; ++i) {
    const OpKind kind = random.Below(3) == 0 ? OpKind::Write : OpKind::Read;
    plan.push_back({kind, 1 + random.Below(10), static_cast<char>('A' + random.Below(6))});
  }
  int order[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  for (int i = 9; i > 0; --i) {
    std::swap(order[i], order[random.Below(i + 1)]);
  }
  for (const int t : order) {
    plan.push_back({OpKind::Validate, t, ' '});
  }
  return plan;
}

}  // namespace

int main(int argc, char** argv) {
  const int plans = argc > 1 ? std::atoi(argv[1]) : 50;
  const int repeat = argc > 2 ? std::atoi(argv[2]) : 2000;
  Random random{1};
  std::vector<std::pair<std::int32_t, std::int32_t>> timestamps;
  for (int t = 1; t <= 10; ++t) {
    timestamps.emplace_back(t, t);
  }
  tosim::protocols::ProtocolLab lab;
  std::vector<double> perPlan;
  std::size_t checksum = 0;
  for (int p = 0; p < plans; ++p) {
    const std::vector<Operation> plan = MakePlan(random);
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < repeat; ++r) {
      lab.Start();
      for (const Operation& operation : plan) {
        lab.Add(operation);
      }
      const tosim::protocols::PlanProtocols& result = lab.Finish(timestamps);
      checksum += result.runs[4].history.size() + result.runs[7].history.size();
    }
    const std::chrono::duration<double, std::micro> elapsed =
        std::chrono::steady_clock::now() - start;
    perPlan.push_back(elapsed.count() / repeat);
  }
  std::sort(perPlan.begin(), perPlan.end());
  std::printf(
      "%d plans of 10 transactions and 200 operations, all eight protocols, %d times each\n", plans,
      repeat);
  std::printf("per plan: median %.1f us, slowest %.1f us, fastest %.1f us (checksum %zu)\n",
              perPlan[perPlan.size() / 2], perPlan.back(), perPlan.front(), checksum);
  return 0;
}
