#include <gtest/gtest.h>

#include "ProgressCells.h"

namespace {

TEST(ProgressCellsTest, TimeTextWrapsHoursAtADay) {
  EXPECT_EQ(TimeText(0), "00:00:00");
  EXPECT_EQ(TimeText(59), "00:00:59");
  EXPECT_EQ(TimeText(3600 + 60 + 1), "01:01:01");
  EXPECT_EQ(TimeText(90061000000LL / 1000000), "01:01:01");  // 25 h 1 min 1 s
}

TEST(ProgressCellsTest, SizeTextRoundsHalvesToEvenAndDropsTrailingZeros) {
  struct Case {
    int64_t bytes;
    const char *text;
  } cases[] = {
      {1234567, "1.18MB"}, {1048576, "1MB"},   {0, "0MB"},
      {131072, "0.12MB"},  // 12.5 hundredths: to the even 12
      {393216, "0.38MB"},  // 37.5 hundredths: to the even 38
      {1572864, "1.5MB"},  {10485760, "10MB"}, {1059062, "1.01MB"},
  };
  for (const Case &c : cases) EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
}

TEST(ProgressCellsTest, PercentageUnknownDurationAndFirstReports) {
  TProgressCells half = ProgressCells(5000000, 10000000, 1048576);
  EXPECT_TRUE(half.PercentKnown);
  EXPECT_EQ(half.Percent, 50);
  EXPECT_EQ(half.Time, "00:00:05");
  EXPECT_EQ(half.Size, "1MB");

  TProgressCells unknown = ProgressCells(7000000, 0, 0);
  EXPECT_FALSE(unknown.PercentKnown);
  EXPECT_EQ(unknown.Time, "00:00:07");

  TProgressCells overshoot = ProgressCells(10040000, 10000000, 5);
  EXPECT_EQ(overshoot.Percent, 100);
  EXPECT_EQ(overshoot.Time, "00:00:10");

  // No output time yet: no 100 % of a made-up hour.
  TProgressCells first = ProgressCells(kNoOutputTimeYetUs, 10000000, 4096);
  EXPECT_EQ(first.Percent, 100);
  EXPECT_EQ(first.Time, "00:00:00");
}

}  // namespace
