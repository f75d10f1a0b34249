// Event records of the task queue and the thread priorities of its workers.
#pragma once

#include <cstdint>
#include <string>

#include "../FFmpeg/FrameBitmap.h"

// The frame's 24-bit picture handed to preview and hook handlers.
using TBitmap = TFrameBitmap;

struct TProgressInfo {
  int32_t TaskIndex = 0;
  int32_t FileIndex = 0;
  int32_t FrameNumber = 0;  // frames encoded so far
  int32_t FPS = 0;
  float Quality = 0;
  float BitRate = 0;            // kbit/s
  int64_t CurrentSize = 0;      // bytes written
  int64_t CurrentDuration = 0;  // µs of output produced
  int64_t TotalDuration = 0;    // µs expected
};

struct TTerminateInfo {
  int32_t TaskIndex = 0;  // -1: the whole batch has ended
  bool Finished = false;  // the task ran to its end
  bool Exception = false;
  std::string ExceptionMsg;
};

struct TPreviewInfo {
  int32_t TaskIndex = 0;
  const TBitmap *Bitmap = nullptr;  // valid only during the handler
  int32_t FrameNumber = 0;
  int64_t PTS = 0;  // µs
};

struct THookInfo {
  int32_t TaskIndex = 0;
  TBitmap *Bitmap = nullptr;  // valid only during the handler
  int32_t FrameNumber = 0;
  int64_t PTS = 0;        // µs
  bool Update = true;     // copy the bitmap back into the frame after the call
  bool StopHook = false;  // no further hook calls for this task
};

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Sets the calling thread's scheduling to APriority: idle is the idle scheduling class,
// lowest and lower are positive nice values. Raising above normal needs privileges an
// ordinary user lacks; such a request keeps the thread as it is. Returns whether the
// thread now runs at the requested level.
bool SetCurrentThreadPriority(TThreadPriority APriority);
