// Many short tasks on several threads while the main thread pauses, resumes and stops
// at random: every task must end exactly once, the batch end must come last, and
// nothing may hang.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "FFUtils/MainThread.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegQueue/FFmpegQueue.h"
#include "QueueTestSupport.h"

using namespace queuetest;
using namespace std::chrono_literals;

namespace {

// Progress goes through a main-thread queue that only this test's loop serves.
class TQueuedMainThread {
 public:
  TQueuedMainThread() { SetMainThreadCaller(&FCaller); }
  ~TQueuedMainThread() { SetMainThreadCaller(nullptr); }

 private:
  TQueuedMainThreadCaller FCaller;
};

TEST(QueueStress, RandomPauseResumeStopLosesAndDoublesNothing) {
  ASSERT_TRUE(FFLoader().Load(kQueueLibraries)) << FFLoader().LastErrMsg();
  constexpr int kTasks = 20;
  constexpr int kThreads = 4;
  const std::string clip = ShortClip(0.4);
  const std::string dir = OutputDir("stress");
  TQueuedMainThread mainThread;

  TFFmpegQueue queue;
  std::mutex lock;  // guards terminations
  std::vector<int> terminations;
  std::atomic<int> progress{0};
  std::atomic<bool> badProgress{false};
  queue.OnTerminate = [&](TCustomFFmpegQueue *, const TTerminateInfo &AInfo) {
    std::lock_guard<std::mutex> g(lock);
    terminations.push_back(AInfo.TaskIndex);
  };
  queue.OnProgress = [&](TCustomFFmpegQueue *, TProgressInfo *AInfo) {
    if (!IsMainThread() || AInfo->TaskIndex < 0 || AInfo->TaskIndex >= kTasks) badProgress = true;
    ++progress;
  };

  std::mt19937 random(20261211);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    {
      std::lock_guard<std::mutex> g(lock);
      terminations.clear();
    }
    for (int i = 0; i < kTasks; ++i) {
      ASSERT_EQ(queue.AddTask(clip, "re=1"), i) << queue.LastErrMsg();
      ASSERT_TRUE(
          queue.SetOutputFile(i, dir + std::to_string(i) + ".mkv", "acodec=copy\nvcodec=copy"))
          << queue.LastErrMsg();
    }
    queue.Start(kThreads);

    // Round 0 runs to its end; the others stop at a random moment.
    const int actions = round == 0 ? 0 : std::uniform_int_distribution<int>(2, 30)(random);
    bool stopped = false;
    for (int a = 0; a < actions && !queue.Terminated(); ++a) {
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
      PumpMessages();
      switch (random() % 5) {
        case 0:
        case 1:
          queue.Pause();
          break;
        case 2:
        case 3:
          queue.Resume();
          break;
        default:
          queue.Stop(random() % 2 == 0);
          stopped = true;
      }
      if (stopped) break;
    }
    if (!stopped) queue.Resume();

    const auto deadline = std::chrono::steady_clock::now() + 30s;
    for (;;) {
      PumpMessages();
      {
        std::lock_guard<std::mutex> g(lock);
        if (!terminations.empty() && terminations.back() == -1) break;
      }
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "batch did not end";
      std::this_thread::sleep_for(2ms);
    }
    queue.ClearTasks();  // waits for the terminate threads

    std::map<int, int> counts;
    {
      std::lock_guard<std::mutex> g(lock);
      for (int i : terminations) ++counts[i];
      EXPECT_EQ(terminations.size(), size_t(kTasks + 1));
      EXPECT_EQ(terminations.back(), -1);
    }
    for (int i = -1; i < kTasks; ++i) EXPECT_EQ(counts[i], 1) << "task " << i;
  }
  EXPECT_FALSE(badProgress);
  EXPECT_GT(progress.load(), 0);
}

}  // namespace
