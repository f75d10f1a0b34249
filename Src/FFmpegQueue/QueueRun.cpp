// Running the queue's tasks as one batch, and delivering their events.
#include <chrono>

#include "../FFUtils/MainThread.h"
#include "FFmpegQueue.h"

namespace {
// Set in a terminate thread to the queue it serves: such a thread must never wait for
// terminate threads (the newer ones wait for it).
thread_local const TCustomFFmpegQueue *tTerminateThreadOf = nullptr;
}  // namespace

// ---------------------------------------------------------------- control

void TCustomFFmpegQueue::Start(int AThreadCount) {
  CheckNotWorking("StartTask");
  std::unique_lock<std::recursive_mutex> lock(FTerminateLock);
  FCompleted = 0;
  FCurrent = 0;
  FPending = FTasks.Count();
  FTerminated = false;
  FThreadMode = AThreadCount > 0;
  FWorking = true;
  if (FTasks.Count() == 0) {
    FinishBatch(lock);
    return;
  }
  if (FThreadMode) {
    // Launch under the lock: tasks that end early wait here before launching more.
    while (FPending > 0) {
      StartNextTask();
      if (--AThreadCount == 0) break;
    }
    return;
  }
  // Direct mode runs every conversion here; their notifications take the lock
  // themselves (and from the engine's own threads when a stop ends unstarted tasks).
  for (;;) {
    if (FPending <= 0) break;
    lock.unlock();
    StartNextTask();
    lock.lock();
  }
}

void TCustomFFmpegQueue::StartNextTask() {
  TFFmpeg *task = nullptr;
  {
    std::lock_guard<std::recursive_mutex> g(FTerminateLock);
    if (FPending <= 0) return;
    --FPending;
    task = FTasks[FCurrent++];
    task->ReportInterval = static_cast<int64_t>(FProgressInterval) * 1000;
    if (FThreadMode) {
      if (TConvertThread *thread = task->StartConvert(true)) LaunchThread(thread);
      return;
    }
  }
  task->StartConvert(false);
}

void TCustomFFmpegQueue::LaunchThread(TConvertThread *AThread) {
  const TThreadPriority priority = FThreadPriority;
  if (priority == tpNormal) {
    AThread->Resume();
    return;
  }
  // A new thread inherits its creator's scheduling, so the worker is created from a
  // helper that first takes the wanted priority; the caller's own stays as it is.
  std::thread helper([AThread, priority] {
    SetCurrentThreadPriority(priority);
    AThread->Resume();
  });
  helper.join();
}

void TCustomFFmpegQueue::Pause() {
  for (int i = 0; i < FTasks.Count(); ++i) FTasks[i]->Pause();
}

void TCustomFFmpegQueue::Resume() {
  for (int i = 0; i < FTasks.Count(); ++i) FTasks[i]->Resume();
}

void TCustomFFmpegQueue::Stop(bool AWaitFor) {
  {
    std::lock_guard<std::recursive_mutex> g(FTerminateLock);
    if (!FWorking || FTerminated) return;
    FPending = 0;
  }
  // Running tasks stop, unstarted ones get their notification from the engine; each
  // task ends exactly once and the last one ends the batch.
  for (int i = 0; i < FTasks.Count(); ++i) FTasks[i]->EndTask(AWaitFor);
}

void TCustomFFmpegQueue::ClearTasks() {
  if (FWorking && !FTerminated) throw EFFmpegQueueError("Cannot ClearTasks while working.");
  FTasks.Clear();
  JoinTerminateThreads();
  std::lock_guard<std::recursive_mutex> g(FTerminateLock);
  FLastErrMsg.clear();
  FCompleted = 0;
  FCurrent = -1;
  FPending = 0;
  FTerminated = false;
  FThreadMode = false;
  FWorking = false;
}

// ---------------------------------------------------------------- termination

void TCustomFFmpegQueue::HandleTerminate(TCustomFFmpeg *ASender) {
  std::unique_lock<std::recursive_mutex> lock(FTerminateLock);
  if (FDestroying) return;
  if (!ASender) {
    FinishBatch(lock);
    return;
  }
  if (!FWorking || FTerminated) return;  // not part of a batch
  const auto *task = static_cast<const TFFmpeg *>(ASender);
  if (OnTerminate) {
    FTerminateInfo.TaskIndex = task->TaskIndex;
    FTerminateInfo.Finished = task->Finished();
    FTerminateInfo.Exception = task->FatalException();
    FTerminateInfo.ExceptionMsg = task->FatalMessage();
    DeliverTerminate(FTerminateInfo, lock);
  }
  ++FCompleted;
  if (FPending < 1) {
    if (FCompleted >= FTasks.Count()) FinishBatch(lock);
  } else if (FThreadMode) {
    StartNextTask();
  }
}

void TCustomFFmpegQueue::FinishBatch(std::unique_lock<std::recursive_mutex> &ALock) {
  if (FTerminated) return;
  // Ended before the notification goes out, so that its handler may clear the list.
  FTerminated = true;
  if (OnTerminate) {
    FTerminateInfo.TaskIndex = -1;
    FTerminateInfo.Finished = true;
    FTerminateInfo.Exception = false;
    FTerminateInfo.ExceptionMsg.clear();
    DeliverTerminate(FTerminateInfo, ALock);
  }
}

void TCustomFFmpegQueue::DeliverTerminate(const TTerminateInfo &AInfo,
                                          std::unique_lock<std::recursive_mutex> &ALock) {
  TTerminateEvent handler = OnTerminate;
  TTerminateInfo info = AInfo;
  if (!FThreadMode) {
    // Called without the lock: the handler may stop the batch, whose unstarted tasks
    // notify from other threads.
    ALock.unlock();
    handler(this, info);
    ALock.lock();
    return;
  }
  // A thread of its own with its own copy; it first waits for the previous one so that
  // handlers see the notifications in order and the batch end last.
  std::thread previous = std::move(FTerminateThread);
  ++FLiveTerminateThreads;
  FTerminateThread = std::thread([this, handler = std::move(handler), info = std::move(info),
                                  previous = std::move(previous)]() mutable {
    tTerminateThreadOf = this;
    if (previous.joinable()) previous.join();
    try {
      handler(this, info);
    } catch (...) {
      // A handler's failure must not take the program down from this thread.
    }
    --FLiveTerminateThreads;
  });
}

void TCustomFFmpegQueue::JoinTerminateThreads() {
  if (tTerminateThreadOf == this) return;
  std::thread newest;
  {
    std::lock_guard<std::recursive_mutex> g(FTerminateLock);
    newest = std::move(FTerminateThread);
  }
  if (!newest.joinable()) return;
  // A handler may be waiting for the main thread.
  while (IsMainThread() && FLiveTerminateThreads > 0) {
    PumpMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  newest.join();
}

// ---------------------------------------------------------------- progress, preview, hook

void TCustomFFmpegQueue::HandleProgress(TCustomFFmpeg *ASender, int AFileIndex, int AFrameNumber,
                                        int AFPS, float AQuality, float ABitRate,
                                        int64_t ACurrentSize, int64_t ACurrentDuration,
                                        int64_t ATotalDuration) {
  if (!OnProgress) return;
  std::lock_guard<std::mutex> g(FProgressLock);
  FProgressInfo.TaskIndex = static_cast<const TFFmpeg *>(ASender)->TaskIndex;
  FProgressInfo.FileIndex = AFileIndex;
  FProgressInfo.FrameNumber = AFrameNumber;
  FProgressInfo.FPS = AFPS;
  FProgressInfo.Quality = AQuality;
  FProgressInfo.BitRate = ABitRate;
  FProgressInfo.CurrentSize = ACurrentSize;
  FProgressInfo.CurrentDuration = ACurrentDuration;
  FProgressInfo.TotalDuration = ATotalDuration;
  if (TriggerEventInMainThread)
    CallInMainThread([this] { OnProgress(this, &FProgressInfo); });
  else
    OnProgress(this, &FProgressInfo);
}

void TCustomFFmpegQueue::HandlePreviewBitmap(TCustomFFmpeg *ASender, const TBitmap *ABitmap,
                                             int AFrameNumber, int64_t APTS) {
  if (!OnPreviewBitmap) return;
  std::lock_guard<std::mutex> g(FPreviewLock);
  FPreviewInfo.TaskIndex = static_cast<const TFFmpeg *>(ASender)->TaskIndex;
  FPreviewInfo.Bitmap = ABitmap;
  FPreviewInfo.FrameNumber = AFrameNumber;
  FPreviewInfo.PTS = APTS;
  if (TriggerEventInMainThread)
    CallInMainThread([this] { OnPreviewBitmap(this, FPreviewInfo); });
  else
    OnPreviewBitmap(this, FPreviewInfo);
}

void TCustomFFmpegQueue::HandleCustomHook(TCustomFFmpeg *ASender, TBitmap *ABitmap,
                                          int AFrameNumber, int64_t APTS, bool &AUpdate,
                                          bool &AStopHook) {
  if (!OnCustomHook) return;
  std::lock_guard<std::mutex> g(FHookLock);
  FHookInfo.TaskIndex = static_cast<const TFFmpeg *>(ASender)->TaskIndex;
  FHookInfo.Bitmap = ABitmap;
  FHookInfo.FrameNumber = AFrameNumber;
  FHookInfo.PTS = APTS;
  FHookInfo.Update = AUpdate;
  FHookInfo.StopHook = AStopHook;
  // In the conversion thread: the handler changes the picture before it is encoded.
  OnCustomHook(this, &FHookInfo);
  AUpdate = FHookInfo.Update;
  AStopHook = FHookInfo.StopHook;
}
