// Which buttons of the main window are enabled in which situation. The window keeps
// one TControlStates, applies a situation to it and shows the result.
#pragma once

struct TControlStates {
  bool Add = true;
  bool RemoveTool = false;  // "删除" of the tool bar
  bool RemoveList = true;   // "删除" under the list
  bool ClearTool = false;   // "清空" of the tool bar
  bool ClearList = false;   // "清空" under the list
  bool MoveUp = true;
  bool MoveDown = true;
  bool Start = false;
  bool Pause = false;
  bool Stop = false;
  bool Browse = true;        // "浏览..."
  bool ExistingFile = true;  // the existing-file list

  bool operator==(const TControlStates &) const = default;
};

enum class TListSituation {
  StartUp,      // empty list
  AfterAdd,     // a row was added
  AfterRemove,  // a row was removed (ARowsRemain tells whether any is left)
  AfterClear,
  RowSelected,  // a row was selected while the queue is not working
  BatchRunning,
  Paused,
  Resumed,
  StopConfirmed,
  BatchEnded,
};

// Applies the situation; what the situation leaves unchanged keeps its state.
void ApplySituation(TControlStates &AStates, TListSituation ASituation, bool ARowsRemain = false);
