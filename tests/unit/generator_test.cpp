// tosim-gen's pure rules: the seed of a text, the random numbers, the request and the rules that
// refuse it, the form of its plans, and its command line. Whether the plans have what was asked
// is checked against tosim-report by tests/e2e/gen_properties.py.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generator/options.h"
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

// How many rule sentences a refusal gives; 0: allowed.
std::size_t Reasons(const std::string& list) {
  return Contradiction(Parsed(list)).size();
}

// Every pair is checked against tosim-gen itself by gen_properties.py; here, the requests of three
// and more properties, and how few rules a refusal names.
TEST(Contradiction, RefusesWhatTheRulesRuleOutNamingTheFewestRules) {
  EXPECT_EQ(Reasons("no-thomas,no-to-rejects,no-vsr"), 2u);  // csr, and csr implies vsr
  EXPECT_EQ(Reasons("no-thomas,no-to-rejects,vsr-not-csr,deadlock"), 2u);
  EXPECT_EQ(Reasons("strict,strict-to-waits,thomas,csr"), 1u);
  EXPECT_EQ(Reasons("aca-not-strict,no-recoverable,to-rejects"), 2u);
  EXPECT_EQ(Reasons("no-cascadeless,no-rc-not-aca,recoverable"), 1u);
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

TEST(Plans, ItemsAreRenamedInTheOrderTheyFirstOccur) {
  Plan plan = PlanOf("T1 T2 W2C R1A W1C C2 R1B C1");
  RenameItems(plan);
  EXPECT_EQ(plan, PlanOf("T1 T2 W2A R1B W1A C2 R1C C1"));
  EXPECT_EQ(PlanText(plan, 7), "P7; T1; T2; W2(A); R1(B); W1(A); C2; R1(C); C1");
}

}  // namespace
}  // namespace tosim::generator

namespace tosim::generator {
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
  EXPECT_EQ(given.search.request.wanted, Bit(Property::Csr));
  EXPECT_EQ(given.search.request.unwanted, Bit(Property::Thomas));
}

}  // namespace
}  // namespace tosim::generator
