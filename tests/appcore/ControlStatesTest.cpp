#include <gtest/gtest.h>

#include "ControlStates.h"

namespace {

// Add, RemoveTool, RemoveList, ClearTool, ClearList, MoveUp, MoveDown, Start, Pause, Stop,
// Browse, ExistingFile.
TControlStates S(const char *AFlags) {
  bool v[12] = {};
  for (int i = 0; i < 12; ++i) v[i] = AFlags[i] == '1';
  TControlStates s;
  s.Add = v[0], s.RemoveTool = v[1], s.RemoveList = v[2], s.ClearTool = v[3];
  s.ClearList = v[4], s.MoveUp = v[5], s.MoveDown = v[6], s.Start = v[7];
  s.Pause = v[8], s.Stop = v[9], s.Browse = v[10], s.ExistingFile = v[11];
  return s;
}

}  // namespace

// Each step starts from the states the previous one left, as the window goes through
// them in a session.
TEST(ControlStates, ASessionThroughEveryRowOfTheTable) {
  const struct {
    const char *Name;
    TListSituation Situation;
    bool RowsRemain;
    const char *Expect;
  } steps[] = {
      {"start-up", TListSituation::StartUp, false, "101001100011"},
      {"add", TListSituation::AfterAdd, false, "111111110011"},
      {"remove, rows remain", TListSituation::AfterRemove, true, "100111110011"},
      {"row selected", TListSituation::RowSelected, false, "111111110011"},
      {"batch running", TListSituation::BatchRunning, false, "000000001100"},
      {"paused", TListSituation::Paused, false, "000000010100"},
      {"resumed", TListSituation::Resumed, false, "000000001100"},
      {"stop confirmed", TListSituation::StopConfirmed, false, "000000001000"},
      {"batch ended", TListSituation::BatchEnded, false, "111111110011"},
      {"remove the last row", TListSituation::AfterRemove, false, "100000000011"},
      {"add again", TListSituation::AfterAdd, false, "111111110011"},
      {"clear", TListSituation::AfterClear, false, "100000000011"},
  };
  TControlStates s;
  for (const auto &step : steps) {
    SCOPED_TRACE(step.Name);
    ApplySituation(s, step.Situation, step.RowsRemain);
    EXPECT_EQ(s, S(step.Expect));
  }
}
