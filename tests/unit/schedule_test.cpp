// The rules that the analysis, the protocol lab and the report share where the plans the programs
// read do not pin them down: which serial order or cycle is the one reported, and the operation
// label written in place.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "schedule/op_label.h"
#include "schedule/smallest_order.h"

namespace tosim {
namespace {

using Numbers = std::vector<std::int32_t>;

// A graph from its edges: {{1, 2}} is T1 -> T2.
TransactionGraph Graph(const std::vector<std::pair<std::int32_t, std::int32_t>>& edges) {
  TransactionGraph graph;
  for (const auto& [from, to] : edges) {
    graph.Add(from, to);
  }
  return graph;
}

TEST(SmallestOrder, EdgesToTransactionsOutsideTheNodesDoNotCount) {
  Numbers order;
  Numbers cycle;
  EXPECT_TRUE(SmallestOrderOrCycle(Graph({{2, 1}, {1, 10}, {10, 2}}), {1, 2, 9}, order, cycle));
  EXPECT_EQ(order, (Numbers{2, 1, 9}));
  EXPECT_TRUE(SmallestOrder(Graph({{2, 1}}), {}, order));
  EXPECT_EQ(order, Numbers{});
}

TEST(SmallestOrder, CycleFollowsTheSmallestEdgeFirst) {
  Numbers order{7};
  Numbers cycle;
  // From T1 both T2 and T3 lead back; T2 is tried first.
  EXPECT_FALSE(
      SmallestOrderOrCycle(Graph({{1, 3}, {3, 1}, {1, 2}, {2, 1}}), {1, 2, 3}, order, cycle));
  EXPECT_EQ(order, Numbers{});
  EXPECT_EQ(cycle, (Numbers{1, 2, 1}));
}

TEST(SmallestOrder, CycleStartsWhereTheSearchCameBack) {
  Numbers order;
  Numbers cycle;
  // T1 follows the cycle T3 <-> T4 and is left over; the search goes T1, T9, T10 and comes
  // back to T9, not to T1.
  EXPECT_FALSE(SmallestOrderOrCycle(Graph({{3, 4}, {4, 3}, {3, 1}, {1, 9}, {9, 10}, {10, 9}}),
                                    {1, 3, 4, 9, 10}, order, cycle));
  EXPECT_EQ(cycle, (Numbers{9, 10, 9}));
}

TEST(SmallestOrder, SearchStartsAtTheSmallestTransactionLeftOver) {
  Numbers order;
  Numbers cycle;
  // T2 follows the cycle T4 <-> T5 and is left over by the sort, but lies on no cycle; T1 is
  // placed, and the search does not start from it although it leads to the cycle as well.
  EXPECT_FALSE(
      SmallestOrderOrCycle(Graph({{4, 5}, {5, 4}, {5, 2}, {1, 4}}), {1, 2, 4, 5}, order, cycle));
  EXPECT_EQ(cycle, (Numbers{4, 5, 4}));
  // Two cycles: T1 leads to T6 <-> T7 and is placed first; the search starts at T3.
  EXPECT_FALSE(SmallestOrderOrCycle(Graph({{1, 6}, {6, 7}, {7, 6}, {3, 4}, {4, 3}}),
                                    {1, 3, 4, 6, 7}, order, cycle));
  EXPECT_EQ(cycle, (Numbers{3, 4, 3}));
}

TEST(OpLabel, PutOpLabelWritesTheLabelInPlace) {
  char buffer[kOpLabelSize + 1];
  buffer[kOpLabelSize] = '#';
  char* end = PutOpLabel(buffer, OpKind::Read, 10, 'Q');
  EXPECT_EQ(std::string(buffer, end), "R10(Q)");
  EXPECT_EQ(end, buffer + kOpLabelSize);  // the longest label fills the room exactly
  EXPECT_EQ(buffer[kOpLabelSize], '#');
  end = PutOpLabel(buffer, OpKind::Validate, 7, 'Q');
  EXPECT_EQ(std::string(buffer, end), "C7");
}

}  // namespace
}  // namespace tosim
