#include "ControlStates.h"

namespace {

void ListEditing(TControlStates &s, bool on) {
  s.ClearTool = s.ClearList = s.MoveUp = s.MoveDown = on;
}

void RunControls(TControlStates &s, bool idle) {
  s.Add = s.RemoveTool = s.RemoveList = idle;
  ListEditing(s, idle);
  s.Browse = s.ExistingFile = idle;
}

}  // namespace

void ApplySituation(TControlStates &s, TListSituation ASituation, bool ARowsRemain) {
  switch (ASituation) {
    case TListSituation::StartUp:
      s = TControlStates{};
      break;
    case TListSituation::AfterAdd:
      s.Add = s.RemoveTool = s.RemoveList = true;
      ListEditing(s, true);
      s.Start = true;
      s.Browse = s.ExistingFile = true;
      break;
    case TListSituation::AfterRemove:
      s.Add = true;
      s.RemoveTool = s.RemoveList = false;  // the selection went with the row
      ListEditing(s, ARowsRemain);
      s.Start = ARowsRemain;
      break;
    case TListSituation::AfterClear:
      s.Add = true;
      s.RemoveTool = s.RemoveList = false;
      ListEditing(s, false);
      s.Start = false;
      break;
    case TListSituation::RowSelected:
      s.RemoveTool = s.RemoveList = true;
      break;
    case TListSituation::BatchRunning:
    case TListSituation::Resumed:
      RunControls(s, false);
      s.Start = false;
      s.Pause = s.Stop = true;
      break;
    case TListSituation::Paused:
      RunControls(s, false);
      s.Start = true;  // now resumes
      s.Pause = false;
      s.Stop = true;
      break;
    case TListSituation::StopConfirmed:
      s.Stop = false;
      break;
    case TListSituation::BatchEnded:
      RunControls(s, true);
      s.Start = true;
      s.Pause = s.Stop = false;
      break;
  }
}
