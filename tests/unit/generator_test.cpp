// tosim-gen's pure rules: the seed of a text, the random numbers, the request and the rules that
// refuse it, the form of its plans, and its command line. Whether the plans have what was asked
// is checked against tosim-report by tests/e2e/gen_properties.py.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gen_cli/options.h"
#include "generator/properties.h"
#include "generator/random.h"
#include "generator/search.h"

namespace tosim::generator {
namespace {

TEST(Seed, IsTheFnv1aHashOfTheText) {
  // The published FNV-1a 64-bit test vectors.
  EXPECT_EQ(SeedOf(""), 0xcbf29ce484222325u);
  EXPECT_EQ(SeedOf("a"), 0xaf63dc4c8601ec8cu);
  EXPECT_EQ(SeedOf("foobar"), 0x85944171f73967e8u);
  // The bytes as given: a name in UTF-8.
  EXPECT_EQ(SeedOf("ana.garc\xC3\xAD"
                   "a"),
            0xd3e973a9fcd552a5u);
}

TEST(Random, IsXoshiro256StarStarSeededBySplitMix64) {
  // From the reference algorithms, worked out apart from this code.
  Random zero(0);
  EXPECT_EQ(zero.Next(), 0x99ec5f36cb75f2b4u);
  EXPECT_EQ(zero.Next(), 0xbf6e1f784956452au);
  EXPECT_EQ(zero.Next(), 0x1a5f849d4933e6e0u);
  Random ana(SeedOf("ana.garcia"));
  EXPECT_EQ(ana.Next(), 0xfef757e7484c3d3fu);
}

TEST(Random, BelowStaysInItsRangeAndReachesAllOfIt) {
  Random random(7);
  int seen[5] = {};
  for (int i = 0; i < 1000; ++i) {
    const int value = random.Below(5);
    ASSERT_GE(value, 0);
    ASSERT_LT(value, 5);
    ++seen[value];
  }
  for (const int count : seen) {
    EXPECT_GT(count, 150);
  }
  for (int i = 0; i < 100; ++i) {
    const int value = random.Between(2, 4);
    EXPECT_TRUE(value >= 2 && value <= 4) << value;
  }
}

Request Parsed(const std::string& list) {
  Request request;
  EXPECT_EQ(ParseRequest(list, request), "") << list;
  return request;
}

TEST(Request, ReadsNamesAndNegationsSeparatedByCommas) {
  const Request request = Parsed("thomas,no-csr,vsr-not-csr");
  EXPECT_EQ(request.wanted, Bit(Property::Thomas) | Bit(Property::VsrNotCsr));
  EXPECT_EQ(request.unwanted, Bit(Property::Csr));
  EXPECT_EQ(RequestText(request), "thomas, no-csr, vsr-not-csr");
  EXPECT_EQ(RequestText(Parsed("mvto-saves,no-mvto-saves")), "mvto-saves, no-mvto-saves");
  Request wrong;
  EXPECT_NE(ParseRequest("thomas,Thomas", wrong), "");
  EXPECT_NE(ParseRequest("no-", wrong), "");
  EXPECT_NE(ParseRequest("csr ", wrong), "");
}

TEST(Request, MetCountsWhatIsAskedAndHeld) {
  const Request request = Parsed("thomas,no-csr");
  EXPECT_EQ(request.Met(Bit(Property::Thomas)), 2);
  EXPECT_EQ(request.Met(Bit(Property::Thomas) | Bit(Property::Csr)), 1);
  EXPECT_EQ(request.Met(Bit(Property::Csr)), 0);
  EXPECT_TRUE(request.HeldBy(Bit(Property::Thomas) | Bit(Property::Strict)));
  EXPECT_FALSE(request.HeldBy(Bit(Property::Thomas) | Bit(Property::Csr)));
}

// How many rule sentences a refusal gives; 0: allowed.
std::size_t Reasons(const std::string& list) {
  return Contradiction(Parsed(list)).size();
}

TEST(Contradiction, RefusesWhatTheRulesRuleOut) {
  EXPECT_EQ(Reasons("strict,no-cascadeless"), 1u);
  EXPECT_EQ(Reasons("strict,no-recoverable"), 2u);  // through cascadeless
  EXPECT_EQ(Reasons("cascadeless,no-recoverable"), 1u);
  EXPECT_EQ(Reasons("csr,no-vsr"), 1u);
  EXPECT_EQ(Reasons("csr,vsr-not-csr"), 1u);
  EXPECT_EQ(Reasons("vsr-not-csr,no-vsr"), 1u);
  EXPECT_EQ(Reasons("rc-not-aca,cascadeless"), 1u);
  EXPECT_EQ(Reasons("rc-not-aca,no-recoverable"), 1u);
  EXPECT_EQ(Reasons("aca-not-strict,strict"), 1u);
  EXPECT_EQ(Reasons("rc-not-aca,aca-not-strict"), 2u);
  EXPECT_EQ(Reasons("mvto-saves,no-to-rejects"), 1u);
  EXPECT_EQ(Reasons("no-thomas,no-to-rejects,no-csr"), 1u);
  EXPECT_EQ(Reasons("no-thomas,no-to-rejects,no-vsr"), 2u);  // csr, and csr implies vsr
  EXPECT_EQ(Reasons("strict-to-waits,strict"), 1u);
  EXPECT_EQ(Reasons("csr,no-csr"), 1u);
}

TEST(Contradiction, AllowsWhatSomePlanMayHave) {
  EXPECT_TRUE(Contradiction(Request{}).empty());
  for (const char* list :
       {"thomas", "no-thomas,no-to-rejects", "no-csr,no-to-rejects", "no-csr,no-thomas",
        "vsr-not-csr,thomas", "rc-not-aca,no-strict", "no-rc-not-aca,no-aca-not-strict,no-strict",
        "mvto-saves,thomas", "strict-to-waits,cascadeless", "deadlock,no-dies", "cascade,strict"}) {
    EXPECT_EQ(Reasons(list), 0u) << list;
  }
}

Plan PlanOf(const std::string& text) {
  // "T1 R1A C1": a letter, a transaction digit, an item letter for reads and writes.
  Plan plan;
  for (std::size_t i = 0; i < text.size(); i += 1 + (text[i] == 'R' || text[i] == 'W' ? 3 : 2)) {
    const OpKind kind = text[i] == 'T'   ? OpKind::Begin
                        : text[i] == 'R' ? OpKind::Read
                        : text[i] == 'W' ? OpKind::Write
                        : text[i] == 'C' ? OpKind::Validate
                                         : OpKind::Abort;
    const bool access = kind == OpKind::Read || kind == OpKind::Write;
    plan.push_back({kind, static_cast<std::int8_t>(text[i + 1] - '0'), access ? text[i + 2] : ' '});
  }
  return plan;
}

TEST(Plans, AreWellFormedAsTosimGenMakesThem) {
  const Sizes sizes{2, 2, 4};
  EXPECT_TRUE(IsWellFormed(PlanOf("T1 T2 R1A W2A C1 W2B C2"), sizes));
  EXPECT_TRUE(IsWellFormed(PlanOf("T1 R1A C1 T2 W2B A2"), sizes));
  // Begun out of number order; an access before its begin; a transaction without a read or a
  // write; two ends; no end; an item named before A; more items or accesses than allowed; a
  // transaction too many or missing.
  for (const char* wrong :
       {"T2 T1 R1A W2A C1 C2", "T1 R2A T2 R1A C1 C2", "T1 T2 R1A C1 C2", "T1 T2 R1A W2A C1 C2 C2",
        "T1 T2 R1A W2A C1", "T1 T2 R1B W2A C1 C2", "T1 T2 R1A W2C C1 C2",
        "T1 T2 R1A R1A R1A W2A W2A C1 C2", "T1 T2 T3 R1A W2A R3A C1 C2 C3", "T1 R1A C1"}) {
    EXPECT_FALSE(IsWellFormed(PlanOf(wrong), sizes)) << wrong;
  }
}

TEST(Plans, ItemsAreRenamedInTheOrderTheyFirstOccur) {
  Plan plan = PlanOf("T1 T2 W2C R1A W1C C2 R1B C1");
  RenameItems(plan);
  EXPECT_EQ(plan, PlanOf("T1 T2 W2A R1B W1A C2 R1C C1"));
  EXPECT_EQ(PlanText(plan, 7), "P7; T1; T2; W2(A); R1(B); W1(A); C2; R1(C); C1");
}

TEST(Search, GivesTheSamePlansForTheSameSeedAndOthersForAnother) {
  SearchRequest search;
  search.request = Parsed("thomas");
  search.count = 5;
  search.seed = SeedOf("x");
  const SearchResult first = Search(search);
  ASSERT_EQ(first.plans.size(), 5u);
  EXPECT_EQ(Search(search).plans, first.plans);
  search.seed = SeedOf("y");
  EXPECT_NE(Search(search).plans, first.plans);
  for (const Plan& plan : first.plans) {
    EXPECT_TRUE(IsWellFormed(plan, search.sizes)) << PlanText(plan, 1);
  }
}

}  // namespace
}  // namespace tosim::generator

namespace tosim::gen {
namespace {

TEST(GenOptions, DefaultsAndSizes) {
  const Options none = ParseOptions({});
  EXPECT_EQ(none.problem, "");
  EXPECT_EQ(none.search.sizes.transactions, 3);
  EXPECT_EQ(none.search.sizes.items, 2);
  EXPECT_EQ(none.search.sizes.operations, 9);  // three per transaction
  EXPECT_EQ(none.search.count, 1);
  EXPECT_FALSE(none.seedGiven);
  EXPECT_FALSE(none.search.minimal);
  const Options five = ParseOptions({"--transactions", "5", "--minimal", "--seed", "--count"});
  EXPECT_EQ(five.search.sizes.operations, 15);
  EXPECT_TRUE(five.search.minimal);
  EXPECT_TRUE(five.seedGiven);
  EXPECT_EQ(five.seed, "--count");  // any text, even one that looks like an option
  const Options given =
      ParseOptions({"--operations", "4", "--transactions", "4", "--items", "26", "--count", "1000",
                    "--property", "csr", "--property", "no-thomas"});
  EXPECT_EQ(given.problem, "");
  EXPECT_EQ(given.search.sizes.operations, 4);
  EXPECT_EQ(given.search.request.wanted, generator::Bit(generator::Property::Csr));
  EXPECT_EQ(given.search.request.unwanted, generator::Bit(generator::Property::Thomas));
}

TEST(GenOptions, RefusesNumbersOutsideTheirRanges) {
  for (const std::vector<std::string>& wrong :
       std::vector<std::vector<std::string>>{{"--transactions", "1"},
                                             {"--transactions", "+3"},
                                             {"--items", "27"},
                                             {"--operations", "101"},
                                             {"--count", "0"},
                                             {"--count", "01000x"},
                                             {"--operations", "2"},
                                             {"--property"},
                                             {"extra"}}) {
    EXPECT_NE(ParseOptions(wrong).problem, "") << wrong[0];
  }
  EXPECT_TRUE(ParseOptions({"--count", "0", "--help"}).help);
}

}  // namespace
}  // namespace tosim::gen
