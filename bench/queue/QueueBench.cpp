// Throughput of the task queue against the engine run directly and against the ffmpeg
// tool, on one batch of identical conversions. Prints wall and CPU times and ratios.
//
//   bench_queue [tasks=4] [codec options=acodec=copy<CRLF>vcodec=copy] [extension=mkv]
//
// Until the engine encodes, the default job is a stream copy; an encoding job can be
// given as the second argument (e.g. "acodec=mp2<CRLF>vcodec=mpeg4").
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "FFUtils/FFUtils.h"
#include "FFUtils/MainThread.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegQueue/FFmpegQueue.h"
#include "MediaFixtures.h"

namespace fs = std::filesystem;

namespace {

std::string gExt = "mkv";  // extension of the outputs

struct TTimes {
  double WallSec = 0;
  double CpuSec = 0;
};

double CpuSeconds(int AWho) {
  rusage u{};
  getrusage(AWho, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

template <class F>
TTimes Measure(int AWho, F &&ARun) {
  const double cpu = CpuSeconds(AWho);
  const auto start = std::chrono::steady_clock::now();
  ARun();
  TTimes t;
  t.WallSec = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t.CpuSec = CpuSeconds(AWho) - cpu;
  return t;
}

// The engine options of a job as ffmpeg tool arguments ("acodec=copy" → "-acodec copy").
std::string ToolArguments(const std::string &AOptions) {
  std::string text = NormalizeOptionText(AOptions), args;
  while (!text.empty()) {
    std::string line = Split(text, "\n");
    const std::string name = Split(line, "=");
    args += " -" + name + (line.empty() ? "" : " " + line);
  }
  return args;
}

TTimes RunQueue(const std::string &AInput, int ATasks, int AThreads, const std::string &AOptions,
                const std::string &AOutDir) {
  TQueuedMainThreadCaller caller;
  SetMainThreadCaller(&caller);
  TFFmpegQueue queue;
  queue.Verbose = -1;
  std::atomic<bool> ended{false};
  std::atomic<int> reports{0};
  queue.OnProgress = [&](TCustomFFmpegQueue *, TProgressInfo *) { ++reports; };
  queue.OnTerminate = [&](TCustomFFmpegQueue *, const TTerminateInfo &AInfo) {
    if (AInfo.TaskIndex == -1)
      ended = true;
    else if (AInfo.Exception)
      std::fprintf(stderr, "task %d: %s\n", AInfo.TaskIndex, AInfo.ExceptionMsg.c_str());
  };
  for (int i = 0; i < ATasks; ++i) {
    if (queue.AddTask(AInput, "") != i ||
        !queue.SetOutputFile(i, AOutDir + "/q" + std::to_string(i) + "." + gExt, AOptions)) {
      std::fprintf(stderr, "set-up failed: %s\n", queue.LastErrMsg().c_str());
      std::exit(1);
    }
  }
  const TTimes t = Measure(RUSAGE_SELF, [&] {
    queue.Start(AThreads);
    while (!ended) {  // the main-thread loop that receives the progress reports
      caller.PumpMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  queue.ClearTasks();
  SetMainThreadCaller(nullptr);
  return t;
}

TTimes RunEngine(const std::string &AInput, int ATasks, const std::string &AOptions,
                 const std::string &AOutDir) {
  return Measure(RUSAGE_SELF, [&] {
    for (int i = 0; i < ATasks; ++i) {
      TCustomFFmpeg engine;
      engine.ResetForTask();
      engine.SetVerbose(-1);
      if (!engine.OpenInputFile(AInput)) std::exit(1);
      std::string text = NormalizeOptionText(AOptions);
      while (!text.empty()) {
        std::string line = Split(text, "\n");
        const std::string name = Split(line, "=");
        engine.SetOption(name, line);
      }
      if (engine.OpenOutputFile(AOutDir + "/e" + std::to_string(i) + "." + gExt) < 0) std::exit(1);
      engine.StartConvert(false);
    }
  });
}

TTimes RunTool(const std::string &AInput, int ATasks, const std::string &AOptions,
               const std::string &AOutDir) {
  return Measure(RUSAGE_CHILDREN, [&] {
    for (int i = 0; i < ATasks; ++i) {
      const std::string cmd = "ffmpeg -nostdin -loglevel error -y -i '" + AInput + "'" +
                              ToolArguments(AOptions) + " '" + AOutDir + "/t" + std::to_string(i) +
                              "." + gExt + "'";
      if (std::system(cmd.c_str()) != 0) std::exit(1);
    }
  });
}

void Print(const char *AName, const TTimes &ATimes, const TTimes &ABase) {
  std::printf("%-28s wall %7.3f s  cpu %7.3f s  cpu/wall %4.2f  wall ratio %5.3f\n", AName,
              ATimes.WallSec, ATimes.CpuSec, ATimes.CpuSec / ATimes.WallSec,
              ATimes.WallSec / ABase.WallSec);
}

}  // namespace

int main(int argc, char **argv) {
  const int tasks = argc > 1 ? std::atoi(argv[1]) : 4;
  const std::string options = argc > 2 ? argv[2] : "acodec=copy<CRLF>vcodec=copy";
  if (argc > 3) gExt = argv[3];
  if (!FFLoader().Load(kQueueLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().LastErrMsg().c_str());
    return 1;
  }
  const std::string input = qvtest::Fixture(qvtest::TFixture::Large720p);
  const fs::path out = fs::path(qvtest::FixtureDir()) / "bench_queue";
  fs::create_directories(out);
  std::printf("%d tasks of %s, job \"%s\"\n", tasks, input.c_str(), options.c_str());

  (void)RunEngine(input, tasks, options, out.string());  // warms the file cache
  const TTimes engine = RunEngine(input, tasks, options, out.string());
  const TTimes one = RunQueue(input, tasks, 1, options, out.string());
  const TTimes two = RunQueue(input, tasks, 2, options, out.string());
  const TTimes tool = RunTool(input, tasks, options, out.string());
  Print("engine, one after another", engine, engine);
  Print("queue, 1 thread", one, engine);
  Print("queue, 2 threads", two, engine);
  Print("ffmpeg tool", tool, engine);
  std::printf(
      "queue(1) / engine wall: %.3f\nqueue(2) / queue(1) wall: %.3f\n"
      "queue(2) cpu/wall: %.2f\nqueue(1) / ffmpeg tool wall: %.3f\n",
      one.WallSec / engine.WallSec, two.WallSec / one.WallSec, two.CpuSec / two.WallSec,
      one.WallSec / tool.WallSec);
  return 0;
}
