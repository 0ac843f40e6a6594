// The search for plans with the asked properties: a guided local search over well-formed plans,
// each candidate judged by the same analysis and protocol lab as tosim-report. Pure and
// deterministic: the same request, sizes and seed give the same plans on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "generator/judge.h"
#include "generator/properties.h"

namespace tosim::generator {

// The plans tosim-gen makes: `transactions` transactions T1, T2, ..., begun in number order, each
// with its begin, then at least one read or write, then its commit (or its abort, where a request
// needs one); at most `operations` reads and writes in all, on the first `items` items, named in
// the order they first occur (A first).
struct Sizes {
  int transactions = 3;
  int items = 2;
  int operations = 9;
};

inline constexpr int kMostTransactions = 10;
inline constexpr int kMostItems = 26;
inline constexpr int kMostOperations = 100;
inline constexpr int kMostCount = 1000;
// How many candidates the search judges for one plan before it gives up.
inline constexpr long kTriesPerPlan = 500000;

struct SearchRequest {
  Request request;
  Sizes sizes;
  int count = 1;
  std::uint64_t seed = 0;
  bool minimal = false;  // no read or write can be removed without losing an asked property
};

struct SearchResult {
  // `count` plans, no two equal after renaming transactions and items; fewer when the search ran
  // out of tries for the next one.
  std::vector<Plan> plans;
};

[[nodiscard]] SearchResult Search(const SearchRequest& search);

// `plan` with its items renamed in the order they first occur: A, B, ... Two plans of tosim-gen
// are equal after renaming transactions and items exactly when these are equal, since both begin
// their transactions in number order.
void RenameItems(Plan& plan);

}  // namespace tosim::generator
