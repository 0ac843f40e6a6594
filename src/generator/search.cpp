#include "generator/search.h"

#include <algorithm>
#include <bit>
#include <set>

#include "generator/random.h"

namespace tosim::generator {

namespace {

bool IsAccess(const PlanOp& op) {
  return op.kind == OpKind::Read || op.kind == OpKind::Write;
}

bool IsEnd(const PlanOp& op) {
  return op.kind == OpKind::Validate || op.kind == OpKind::Abort;
}

// Where transaction t's operations stand in a plan.
struct Span {
  int begin = -1;
  int end = -1;
  int accesses = 0;
};

void Spans(const Plan& plan, int transactions, Span (&spans)[kMostTransactions + 1]) {
  for (int t = 0; t <= transactions; ++t) {
    spans[t] = {};
  }
  for (int i = 0; i < static_cast<int>(plan.size()); ++i) {
    Span& span = spans[plan[i].t];
    if (plan[i].kind == OpKind::Begin) {
      span.begin = i;
    } else if (IsEnd(plan[i])) {
      span.end = i;
    } else {
      ++span.accesses;
    }
  }
}

int ItemsUsed(const Plan& plan) {
  std::uint32_t used = 0;
  for (const PlanOp& op : plan) {
    if (IsAccess(op)) {
      used |= 1u << (op.item - 'A');
    }
  }
  return std::popcount(used);
}

int AccessCount(const Plan& plan) {
  return static_cast<int>(std::count_if(plan.begin(), plan.end(), IsAccess));
}

// The i-th term of the Luby sequence (i from 1): 1, 1, 2, 1, 1, 2, 4, 1, 1, 2, ...
std::int64_t Luby(std::int64_t i) {
  for (int k = 1;; ++k) {
    const std::int64_t full = (std::int64_t{1} << k) - 1;
    if (i == full) {
      return std::int64_t{1} << (k - 1);
    }
    if (i < full) {
      return Luby(i - (std::int64_t{1} << (k - 1)) + 1);
    }
  }
}

class Searcher {
 public:
  Searcher(const SearchRequest& search, Random& random)
      : search_(search),
        sizes_(search.sizes),
        random_(random),
        goal_(kMet *
              (2 * std::popcount(search.request.wanted) + std::popcount(search.request.unwanted))) {
  }

  // Finds a plan that holds the request and is not in `seen`; false when the tries ran out.
  bool Find(const std::set<std::string>& seen, Plan& found) {
    long tries = 0;
    for (std::int64_t restart = 1; tries < kTriesPerPlan; ++restart) {
      // A search without aborts first; once it has needed them, every later plan starts there.
      const bool aborts = needsAborts_ || tries >= kTriesWithoutAborts;
      Plan plan = RandomPlan(aborts);
      int score = Score(plan);
      ++tries;
      std::int64_t stalled = 0;
      const std::int64_t patience = kPatience * Luby(restart);
      while (tries < kTriesPerPlan && stalled < patience) {
        if (score == goal_) {
          if (aborts) {
            needsAborts_ = true;
            CommitWherePossible(plan);
          }
          if (search_.minimal) {
            Minimize(plan);
          }
          if (seen.count(PlanText(plan, 1)) == 0) {
            found = plan;
            return true;
          }
          break;  // met before: a fresh start
        }
        Plan candidate = plan;
        Mutate(candidate, aborts);
        const int candidateScore = Score(candidate);
        ++tries;
        ++stalled;
        if (candidateScore >= score) {
          if (candidateScore > score) {
            stalled = 0;
          }
          plan = std::move(candidate);
          score = candidateScore;
        }
        if (!aborts && tries >= kTriesWithoutAborts) {
          break;
        }
      }
    }
    return false;
  }

 private:
  // Steps without a better score before the search starts afresh: this many times the Luby
  // sequence 1, 1, 2, 1, 1, 2, 4, ..., so that short walks and long ones both get their turn,
  // whichever a request needs.
  static constexpr std::int64_t kPatience = 16;
  // Tries before aborts join the search.
  static constexpr long kTriesWithoutAborts = 20000;
  // More than the amounts of all the properties together.
  static constexpr int kMet = 1 << 20;

  // Every asked property met counts more than anything else, a property asked to be there (the
  // rarer kind) twice as much as one asked to be absent; among plans that meet as many, the one
  // with less of what is asked not to be there is closer.
  int Score(const Plan& plan) {
    const Verdict& verdict = judge_.Of(plan);
    const Request& request = search_.request;
    int score = kMet * (2 * std::popcount(verdict.properties & request.wanted) +
                        std::popcount(~verdict.properties & request.unwanted));
    for (int p = 0; p < kPropertyCount; ++p) {
      if ((request.unwanted & PropertySet{1} << p) != 0) {
        score -= verdict.amount[p];
      }
    }
    return score;
  }
  bool Holds(const Plan& plan) { return search_.request.HeldBy(judge_.Of(plan).properties); }

  PlanOp RandomAccess(int t, int itemsUsed) {
    const int items = std::min(sizes_.items, itemsUsed + 1);
    return {random_.Below(2) == 0 ? OpKind::Read : OpKind::Write, static_cast<std::int8_t>(t),
            static_cast<char>('A' + random_.Below(items))};
  }

  Plan RandomPlan(bool aborts) {
    const int k = sizes_.transactions;
    const int n = random_.Between(k, sizes_.operations);
    // Each transaction's own sequence: begin, its reads and writes, its end.
    std::vector<Plan> own(static_cast<std::size_t>(k) + 1);
    int itemsUsed = 0;
    for (int i = 0; i < n; ++i) {
      const int t = i < k ? i + 1 : random_.Between(1, k);
      own[t].push_back(RandomAccess(t, itemsUsed));
      itemsUsed = std::max(itemsUsed, own[t].back().item - 'A' + 1);
    }
    for (int t = 1; t <= k; ++t) {
      own[t].insert(own[t].begin(), {OpKind::Begin, static_cast<std::int8_t>(t), ' '});
      const bool abort = aborts && random_.Below(4) == 0;
      own[t].push_back(
          {abort ? OpKind::Abort : OpKind::Validate, static_cast<std::int8_t>(t), ' '});
    }
    std::vector<std::size_t> next(own.size(), 0);
    int begun = 0;
    int ready[kMostTransactions];
    // Merged at random, each transaction begun after the one before it; half the time all are
    // begun first, as plans are often written.
    Plan plan;
    if (random_.Below(2) == 0) {
      for (int t = 1; t <= k; ++t) {
        plan.push_back(own[t][0]);
      }
      std::fill(next.begin() + 1, next.end(), 1);
      begun = k;
    }
    while (true) {
      int readyCount = 0;
      for (int t = 1; t <= k; ++t) {
        if (next[t] < own[t].size() && (next[t] > 0 || t == begun + 1)) {
          ready[readyCount++] = t;
        }
      }
      if (readyCount == 0) {
        break;
      }
      const int t = ready[random_.Below(readyCount)];
      if (next[t] == 0) {
        begun = t;
      }
      plan.push_back(own[t][next[t]++]);
    }
    RenameItems(plan);
    return plan;
  }

  void Mutate(Plan& plan, bool aborts) {
    const int k = sizes_.transactions;
    Span spans[kMostTransactions + 1];
    Spans(plan, k, spans);
    const int size = static_cast<int>(plan.size());
    switch (random_.Below(aborts ? 7 : 6)) {
      case 0: {  // another item
        PlanOp& op = plan[RandomAccessIndex(plan)];
        op.item =
            static_cast<char>('A' + random_.Below(std::min(sizes_.items, ItemsUsed(plan) + 1)));
        break;
      }
      case 1: {  // a read becomes a write, or a write a read
        PlanOp& op = plan[RandomAccessIndex(plan)];
        op.kind = op.kind == OpKind::Read ? OpKind::Write : OpKind::Read;
        break;
      }
      case 2:
      case 3:
        Move(plan, random_.Below(size));
        break;
      case 4: {  // one more read or write
        if (AccessCount(plan) >= sizes_.operations) {
          Move(plan, random_.Below(size));
          break;
        }
        const int t = random_.Between(1, k);
        const int at = random_.Between(spans[t].begin + 1, spans[t].end);
        plan.insert(plan.begin() + at, RandomAccess(t, ItemsUsed(plan)));
        break;
      }
      case 5: {  // one read or write less
        int removable[kMostOperations];
        int count = 0;
        for (int i = 0; i < size; ++i) {
          if (IsAccess(plan[i]) && spans[plan[i].t].accesses > 1) {
            removable[count++] = i;
          }
        }
        if (count == 0) {
          Move(plan, random_.Below(size));
          break;
        }
        plan.erase(plan.begin() + removable[random_.Below(count)]);
        break;
      }
      default: {  // a commit becomes an abort, or an abort a commit
        PlanOp& end = plan[spans[random_.Between(1, k)].end];
        end.kind = end.kind == OpKind::Validate ? OpKind::Abort : OpKind::Validate;
        break;
      }
    }
    RenameItems(plan);
  }

  int RandomAccessIndex(const Plan& plan) {
    int index = random_.Below(AccessCount(plan));
    for (int i = 0;; ++i) {
      if (IsAccess(plan[i]) && index-- == 0) {
        return i;
      }
    }
  }

  // Moves operation i elsewhere among the places its transaction's order allows; a begin also
  // stays between the begins of the transactions numbered next to it.
  void Move(Plan& plan, int i) {
    const PlanOp op = plan[i];
    plan.erase(plan.begin() + i);
    int low = 0;
    int high = static_cast<int>(plan.size());
    for (int j = 0; j < static_cast<int>(plan.size()); ++j) {
      const bool same = plan[j].t == op.t;
      const bool otherBegin = op.kind == OpKind::Begin && plan[j].kind == OpKind::Begin;
      if (j < i && (same || (otherBegin && plan[j].t < op.t))) {
        low = j + 1;
      }
      if (j >= i && (same || (otherBegin && plan[j].t > op.t)) && high > j) {
        high = j;
      }
    }
    plan.insert(plan.begin() + random_.Between(low, high), op);
  }

  // Ends with a commit every transaction whose abort the request does not need.
  void CommitWherePossible(Plan& plan) {
    for (PlanOp& op : plan) {
      if (op.kind == OpKind::Abort) {
        op.kind = OpKind::Validate;
        if (!Holds(plan)) {
          op.kind = OpKind::Abort;
        }
      }
    }
  }

  // Removes reads and writes, first first, while the request still holds.
  void Minimize(Plan& plan) {
    for (bool removed = true; removed;) {
      removed = false;
      Span spans[kMostTransactions + 1];
      Spans(plan, sizes_.transactions, spans);
      for (std::size_t i = 0; i < plan.size() && !removed; ++i) {
        if (!IsAccess(plan[i]) || spans[plan[i].t].accesses < 2) {
          continue;
        }
        Plan smaller = plan;
        smaller.erase(smaller.begin() + static_cast<std::ptrdiff_t>(i));
        RenameItems(smaller);
        if (Holds(smaller)) {
          plan = std::move(smaller);
          removed = true;
        }
      }
    }
  }

  const SearchRequest& search_;
  const Sizes& sizes_;
  Random& random_;
  Judge judge_;
  const int goal_;
  bool needsAborts_ = false;
};

}  // namespace

void RenameItems(Plan& plan) {
  char names[kMostItems] = {};
  char next = 'A';
  for (PlanOp& op : plan) {
    if (IsAccess(op)) {
      char& name = names[op.item - 'A'];
      if (name == 0) {
        name = next++;
      }
      op.item = name;
    }
  }
}

SearchResult Search(const SearchRequest& search) {
  SearchResult result;
  Random random(search.seed);
  Searcher searcher(search, random);
  std::set<std::string> seen;
  for (int i = 0; i < search.count; ++i) {
    Plan plan;
    if (!searcher.Find(seen, plan)) {
      break;
    }
    seen.insert(PlanText(plan, 1));
    result.plans.push_back(std::move(plan));
  }
  return result;
}

}  // namespace tosim::generator
