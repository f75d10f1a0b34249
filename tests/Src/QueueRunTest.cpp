// Running a batch: direct and thread mode, the launch of further tasks, stopping, and
// the terminate notifications.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "FFUtils/MainThread.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegQueue/FFmpegQueue.h"
#include "QueueTestSupport.h"

using namespace queuetest;
using namespace std::chrono_literals;

namespace {

// Collects terminate notifications from whatever thread delivers them.
class TTerminateLog {
 public:
  void Attach(TCustomFFmpegQueue &AQueue) {
    AQueue.OnTerminate = [this](TCustomFFmpegQueue *, const TTerminateInfo &AInfo) {
      std::lock_guard<std::mutex> g(FLock);
      FItems.push_back(AInfo);
      FChanged.notify_all();
    };
  }
  // Waits for the batch end, serving calls for the main thread meanwhile.
  [[nodiscard]] bool WaitForBatchEnd(std::chrono::milliseconds ATimeout = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + ATimeout;
    std::unique_lock<std::mutex> g(FLock);
    while (!Ended()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      g.unlock();
      PumpMessages();
      g.lock();
      FChanged.wait_for(g, 5ms);
    }
    return true;
  }
  [[nodiscard]] std::vector<TTerminateInfo> Items() {
    std::lock_guard<std::mutex> g(FLock);
    return FItems;
  }
  [[nodiscard]] std::vector<int> Indexes() {
    std::vector<int> r;
    for (const auto &i : Items()) r.push_back(i.TaskIndex);
    return r;
  }

 private:
  bool Ended() const {
    for (const auto &i : FItems)
      if (i.TaskIndex == -1) return true;
    return false;
  }
  std::mutex FLock;  // guards FItems
  std::condition_variable FChanged;
  std::vector<TTerminateInfo> FItems;
};

class QueueRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FFLoader().Load(kQueueLibraries)) << FFLoader().LastErrMsg();
    Dir = OutputDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    Log.Attach(Queue);
  }
  // Stream-copy tasks; AInput may slow them to real time ("re=1").
  void AddCopyTasks(int ACount, const std::string &AInput = "", double ASeconds = 1.0) {
    const std::string clip = ShortClip(ASeconds);
    for (int i = 0; i < ACount; ++i) {
      const int t = Queue.AddTask(clip, AInput);
      ASSERT_EQ(t, i) << Queue.LastErrMsg();
      ASSERT_TRUE(Queue.SetOutputFile(t, Output(i), "acodec=copy\nvcodec=copy"))
          << Queue.LastErrMsg();
    }
  }
  std::string Output(int AIndex) const { return Dir + std::to_string(AIndex) + ".mkv"; }

  std::string Dir;
  TFFmpegQueue Queue;
  TTerminateLog Log;
};

TEST_F(QueueRun, DirectModeRunsEverythingInsideStart) {
  AddCopyTasks(3);
  std::vector<int> progressTasks;
  Queue.SetProgressInterval(50);
  EXPECT_EQ(Queue.ProgressInterval(), 100);
  Queue.OnProgress = [&](TCustomFFmpegQueue *, TProgressInfo *AInfo) {
    progressTasks.push_back(AInfo->TaskIndex);
  };
  Queue.Start(0);
  EXPECT_EQ(Log.Indexes(), (std::vector<int>{0, 1, 2, -1}));
  for (const TTerminateInfo &i : Log.Items()) {
    EXPECT_TRUE(i.Finished) << i.TaskIndex;
    EXPECT_FALSE(i.Exception) << i.ExceptionMsg;
  }
  EXPECT_EQ(Queue.Task(0)->ReportInterval, 100000);
  EXPECT_TRUE(Queue.Terminated());
  EXPECT_TRUE(Queue.Working());
  // The final report of each task at least.
  EXPECT_EQ(progressTasks.front(), 0);
  EXPECT_EQ(progressTasks.back(), 2);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(StreamCodecs(Output(i)), (std::vector<std::string>{"mpeg4", "aac"}));

  // Ended: set-up and start still refused until the list is cleared.
  try {
    (void)Queue.AddTask(ShortClip(), "");
    ADD_FAILURE() << "AddTask accepted after the batch";
  } catch (const EFFmpegQueueError &e) {
    EXPECT_STREQ(e.what(), "Cannot AddTask while working.");
  }
  EXPECT_THROW(Queue.Start(0), EFFmpegQueueError);
  EXPECT_THROW(Queue.Exchange(0, 1), EFFmpegQueueError);
  Queue.ClearTasks();
  EXPECT_FALSE(Queue.Working());
  EXPECT_FALSE(Queue.Terminated());
  EXPECT_EQ(Queue.AddTask(ShortClip(), ""), 0);
}

// Records, at the first termination, whether the third task had been launched.
class TWatchedQueue : public TFFmpegQueue {
 public:
  void HandleTerminate(TCustomFFmpeg *ASender) override {
    if (ASender && !FirstSeen.exchange(true)) {
      ThirdStartedBeforeFirstEnd = Task(2)->Converting() || Task(2)->Finished();
      ThirdStartedOnFirstEnd = false;
      TFFmpegQueue::HandleTerminate(ASender);
      ThirdStartedOnFirstEnd = Task(2)->Converting() || Task(2)->Finished();
      return;
    }
    TFFmpegQueue::HandleTerminate(ASender);
  }
  std::atomic<bool> FirstSeen{false};
  std::atomic<bool> ThirdStartedBeforeFirstEnd{false};
  std::atomic<bool> ThirdStartedOnFirstEnd{false};
};

TEST_F(QueueRun, ThreadModeRunsAtMostNAtOnce) {
  TWatchedQueue queue;
  TTerminateLog log;
  log.Attach(queue);
  const std::string clip = ShortClip();
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(queue.AddTask(clip, ""), i);
    ASSERT_TRUE(queue.SetOutputFile(i, Output(i), "acodec=copy\nvcodec=copy"));
  }
  queue.Start(2);
  // Both first tasks are launched before Start returns.
  EXPECT_TRUE(queue.Task(0)->Converting() || queue.Task(0)->Finished());
  EXPECT_TRUE(queue.Task(1)->Converting() || queue.Task(1)->Finished());
  ASSERT_TRUE(log.WaitForBatchEnd());
  EXPECT_FALSE(queue.ThirdStartedBeforeFirstEnd);
  EXPECT_TRUE(queue.ThirdStartedOnFirstEnd);
  const auto items = log.Items();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items.back().TaskIndex, -1);
  EXPECT_TRUE(items.back().Finished);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(items[i].Finished) << items[i].TaskIndex;
  queue.ClearTasks();
  EXPECT_FALSE(queue.Working());
}

TEST_F(QueueRun, ClearTasksRefusedWhileRunning) {
  AddCopyTasks(1, "re=1", 0.5);
  Queue.Start(1);
  try {
    Queue.ClearTasks();
    ADD_FAILURE() << "ClearTasks accepted during the run";
  } catch (const EFFmpegQueueError &e) {
    EXPECT_STREQ(e.what(), "Cannot ClearTasks while working.");
  }
  ASSERT_TRUE(Log.WaitForBatchEnd());
  Queue.ClearTasks();
  EXPECT_FALSE(Queue.Working());
  EXPECT_EQ(Queue.TasksCount(), 0);
}

TEST_F(QueueRun, StopEndsRunningAndUnstartedTasks) {
  for (const int threads : {1, 0}) {
    SCOPED_TRACE(threads);
    TFFmpegQueue queue;
    TTerminateLog log;
    log.Attach(queue);
    const std::string clip = ShortClip(2.0);
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(queue.AddTask(clip, "re=1"), i);
      ASSERT_TRUE(queue.SetOutputFile(i, Output(i + 10 * threads), "acodec=copy\nvcodec=copy"));
    }
    // In direct mode the stop comes from a progress handler, the only place the caller
    // gets control during the run.
    if (threads == 0)
      queue.OnProgress = [](TCustomFFmpegQueue *AQueue, TProgressInfo *) { AQueue->Stop(true); };
    queue.Start(threads);
    if (threads > 0) {
      std::this_thread::sleep_for(200ms);
      queue.Stop(true);
    }
    ASSERT_TRUE(log.WaitForBatchEnd());
    const auto items = log.Items();
    ASSERT_EQ(items.size(), 4u);
    std::vector<int> seen;
    for (size_t i = 0; i < 3; ++i) {
      EXPECT_FALSE(items[i].Finished) << items[i].TaskIndex;
      EXPECT_FALSE(items[i].Exception) << items[i].ExceptionMsg;
      seen.push_back(items[i].TaskIndex);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(items.back().TaskIndex, -1);
    EXPECT_TRUE(queue.Terminated());
  }
}

TEST_F(QueueRun, FailedTaskReportsAndTheBatchGoesOn) {
  const std::string clip = ShortClip();
  ASSERT_EQ(Queue.AddTask(clip, ""), 0);
  // A video stream copied into a sound-only container cannot be written.
  ASSERT_TRUE(Queue.SetOutputFile(0, Dir + "bad.wav", "acodec=copy\nvcodec=copy"))
      << Queue.LastErrMsg();
  ASSERT_EQ(Queue.AddTask(clip, ""), 1);
  ASSERT_TRUE(Queue.SetOutputFile(1, Output(1), "acodec=copy\nvcodec=copy"));
  Queue.Start(1);
  ASSERT_TRUE(Log.WaitForBatchEnd());
  const auto items = Log.Items();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].TaskIndex, 0);
  EXPECT_TRUE(items[0].Exception);
  EXPECT_FALSE(items[0].ExceptionMsg.empty());
  EXPECT_FALSE(items[0].Finished);
  EXPECT_EQ(items[1].TaskIndex, 1);
  EXPECT_TRUE(items[1].Finished);
}

TEST_F(QueueRun, DestroyingARunningQueueWaitsForItsTasks) {
  std::atomic<int> notified{0};
  {
    TFFmpegQueue queue;
    const std::string clip = ShortClip(2.0);
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(queue.AddTask(clip, "re=1"), i);
      ASSERT_TRUE(queue.SetOutputFile(i, Output(i), "acodec=copy\nvcodec=copy"));
    }
    queue.OnTerminate = [&](TCustomFFmpegQueue *, const TTerminateInfo &) { ++notified; };
    queue.Start(2);
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(notified.load(), 0);  // handlers are not called from a queue being destroyed
}

TEST_F(QueueRun, WorkersRunAtTheQueuesPriority) {
  const int callerNice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
  const struct {
    TThreadPriority priority;
    int policy;
    int nice;
  } cases[] = {{tpLowest, SCHED_OTHER, 10}, {tpIdle, SCHED_IDLE, 19}, {tpNormal, SCHED_OTHER, 0}};
  const std::string clip = ShortClip(0.5);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.priority);
    TFFmpegQueue queue;
    TTerminateLog log;
    log.Attach(queue);
    ASSERT_EQ(queue.AddTask(clip, ""), 0);
    ASSERT_TRUE(queue.SetOutputFile(0, Output(c.priority), "acodec=copy\nvcodec=copy"));
    queue.SetThreadPriority(c.priority);
    queue.TriggerEventInMainThread = false;  // the handler runs in the worker
    std::atomic<int> policy{-1}, nice{-100};
    queue.OnProgress = [&](TCustomFFmpegQueue *, TProgressInfo *) {
      policy = sched_getscheduler(0);
      nice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    };
    queue.Start(1);
    ASSERT_TRUE(log.WaitForBatchEnd());
    EXPECT_EQ(policy.load(), c.policy);
    EXPECT_EQ(nice.load(), c.nice);
  }
  EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))), callerNice);
}

// Frames of a running task reach the queue's handlers: preview bitmaps through the main
// thread, custom-hook bitmaps in the conversion thread until the handler stops them.
TEST_F(QueueRun, PreviewAndHookFramesReachTheHandlers) {
  TQueuedMainThreadCaller mainThread;
  SetMainThreadCaller(&mainThread);
  struct TRestore {
    ~TRestore() { SetMainThreadCaller(nullptr); }
  } restore;

  ASSERT_EQ(Queue.AddTask(ShortClip(), ""), 0) << Queue.LastErrMsg();
  ASSERT_TRUE(Queue.SetOutputFile(0, Output(0), "Hook=1\nvcodec=mpeg4\nacodec=copy"))
      << Queue.LastErrMsg();
  Queue.SetPreviewBitmap(true);  // switched on after the task was queued

  std::mutex lock;  // guards the vectors
  std::vector<int> previewFrames, hookFrames;
  std::atomic<bool> previewOutsideMain{false}, hookInMain{false}, badBitmap{false};
  Queue.OnPreviewBitmap = [&](TCustomFFmpegQueue *, const TPreviewInfo &AInfo) {
    if (!IsMainThread()) previewOutsideMain = true;
    if (AInfo.TaskIndex != 0 || !AInfo.Bitmap || AInfo.Bitmap->Width != 160 ||
        AInfo.Bitmap->Height != 120)
      badBitmap = true;
    std::lock_guard<std::mutex> g(lock);
    previewFrames.push_back(AInfo.FrameNumber);
  };
  Queue.OnCustomHook = [&](TCustomFFmpegQueue *, THookInfo *AInfo) {
    if (IsMainThread()) hookInMain = true;
    if (AInfo->TaskIndex != 0 || !AInfo->Bitmap || AInfo->Bitmap->Width != 160 || !AInfo->Update ||
        AInfo->StopHook)
      badBitmap = true;
    std::lock_guard<std::mutex> g(lock);
    hookFrames.push_back(AInfo->FrameNumber);
    AInfo->StopHook = hookFrames.size() == 3;
  };
  Queue.Start(1);
  ASSERT_TRUE(Log.WaitForBatchEnd());
  ASSERT_TRUE(Log.Items().front().Finished) << Log.Items().front().ExceptionMsg;

  std::lock_guard<std::mutex> g(lock);
  EXPECT_FALSE(badBitmap);
  EXPECT_FALSE(previewOutsideMain);
  EXPECT_FALSE(hookInMain);
  EXPECT_FALSE(previewFrames.empty());
  EXPECT_EQ(hookFrames, (std::vector<int>{1, 2, 3}));
}

TEST_F(QueueRun, EmptyListEndsTheBatchAtOnce) {
  for (const int threads : {0, 3}) {
    TFFmpegQueue queue;
    TTerminateLog log;
    log.Attach(queue);
    queue.Start(threads);
    ASSERT_TRUE(log.WaitForBatchEnd());
    EXPECT_EQ(log.Indexes(), std::vector<int>{-1});
    EXPECT_TRUE(queue.Terminated());
    queue.ClearTasks();
  }
}

}  // namespace
