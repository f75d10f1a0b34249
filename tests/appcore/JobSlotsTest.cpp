#include <gtest/gtest.h>

#include "JobSlots.h"

namespace {

// Three rows A, B, C in slots 0..2.
TJobSlots ThreeRows() {
  TJobSlots s;
  for (const char *name : {"A", "B", "C"}) {
    TInputOptions in;
    in.FileName = name;
    TOutputOptions out;
    out.FileName = std::string(name) + ".mp4";
    EXPECT_GE(s.Store(in, out), 0);
  }
  return s;
}

std::string Names(const TJobSlots &s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s.IO1[static_cast<std::size_t>(i)].FileName;
  return r;
}

}  // namespace

TEST(JobSlots, StoreMarksFullAndKeepsRecords) {
  TJobSlots s = ThreeRows();
  EXPECT_EQ(Names(s, 3), "ABC");
  EXPECT_EQ(s.OO1[2].FileName, "C.mp4");
  EXPECT_EQ(s.Marker(2), kSlotFull);
  EXPECT_EQ(s.Marker(3), kSlotFree);
  EXPECT_TRUE(s.InvariantHolds(3));
}

TEST(JobSlots, RemoveMiddleRowMovesLaterSlotsDown) {
  TJobSlots s = ThreeRows();
  s.Remove(1);
  EXPECT_EQ(Names(s, 2), "AC");
  EXPECT_EQ(s.OO1[1].FileName, "C.mp4");
  EXPECT_EQ(s.Marker(kSlotCount - 1), kSlotDeleted);
  EXPECT_TRUE(s.InvariantHolds(2));
  // A second remove: both freed slots sit at the end, the rest stays ordered.
  s.Remove(0);
  EXPECT_EQ(Names(s, 1), "C");
  EXPECT_EQ(s.Count(kSlotDeleted), 2);
  EXPECT_TRUE(s.InvariantHolds(1));
  // The next add takes the first free slot, right after the rows.
  TInputOptions d;
  d.FileName = "D";
  EXPECT_EQ(s.Store(d, TOutputOptions{}), 1);
  EXPECT_TRUE(s.InvariantHolds(2));
}

TEST(JobSlots, ExchangeFollowsMoves) {
  TJobSlots s = ThreeRows();
  s.Exchange(2, 1);  // C up
  s.Exchange(1, 0);  // C up again
  EXPECT_EQ(Names(s, 3), "CAB");
  EXPECT_TRUE(s.InvariantHolds(3));
  s.Exchange(-1, 0);
  s.Exchange(0, kSlotCount);
  EXPECT_EQ(Names(s, 3), "CAB");
}

TEST(JobSlots, ExhaustedSlotsRefuseAndResetFreesAll) {
  TJobSlots s;
  TInputOptions in;
  TOutputOptions out;
  // Every remove spends a slot until the list is cleared.
  for (int i = 0; i < kSlotCount; ++i) {
    ASSERT_EQ(s.Store(in, out), 0);
    s.Remove(0);
  }
  EXPECT_EQ(s.Count(kSlotDeleted), kSlotCount);
  EXPECT_EQ(s.FindFree(), -1);
  in.FileName = "late";
  EXPECT_EQ(s.Store(in, out), -1);
  for (const TInputOptions &r : s.IO1) EXPECT_NE(r.FileName, "late");
  s.Reset();
  EXPECT_EQ(s.Count(kSlotFree), kSlotCount);

  for (int i = 0; i < kSlotCount; ++i) ASSERT_EQ(s.Store(in, out), i);
  EXPECT_EQ(s.Store(in, out), -1);
  EXPECT_TRUE(s.InvariantHolds(kSlotCount));
  s.Remove(kSlotCount);  // outside the arrays: nothing happens
  s.Remove(-1);
  EXPECT_TRUE(s.InvariantHolds(kSlotCount));
}
