// Throughput of the task queue against the engine run directly and against the ffmpeg
// tool, on one batch of identical conversions. Prints wall and CPU times and ratios.
//
//   bench_queue [tasks=8] [job=vcodec=mpeg4<CRLF>acodec=mp2] [extension=mkv] [rounds=2]
//
// The input is a short clip (1280x720, 25 fps, 6 s, mpeg4 + aac); a stream copy job is
// "acodec=copy<CRLF>vcodec=copy". Each configuration runs once per round, rounds
// interleaved, and the best wall time counts. Run it on a quiet machine: the load
// average is printed before and after.
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

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
  std::printf("%-32s wall %7.3f s  cpu %7.3f s  cpu/wall %4.2f  wall ratio %5.3f\n", AName,
              ATimes.WallSec, ATimes.CpuSec, ATimes.CpuSec / ATimes.WallSec,
              ATimes.WallSec / ABase.WallSec);
}

void PrintLoad(const char *AWhen) {
  double load[3] = {};
  if (getloadavg(load, 3) == 3)
    std::printf("load average %s: %.2f %.2f %.2f\n", AWhen, load[0], load[1], load[2]);
}

// The round with the least wall time.
TTimes Best(const std::vector<TTimes> &ARounds) {
  return *std::min_element(ARounds.begin(), ARounds.end(),
                           [](const TTimes &a, const TTimes &b) { return a.WallSec < b.WallSec; });
}

const char *Verdict(bool AOk) {
  return AOk ? "ok" : "MISSED";
}

}  // namespace

int main(int argc, char **argv) {
  const int tasks = argc > 1 ? std::atoi(argv[1]) : 8;
  const std::string options = argc > 2 ? argv[2] : "vcodec=mpeg4<CRLF>acodec=mp2";
  if (argc > 3) gExt = argv[3];
  const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 2;
  if (!FFLoader().Load(kQueueLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().LastErrMsg().c_str());
    return 1;
  }
  qvtest::TClipParams params;
  params.Width = 1280;
  params.Height = 720;
  params.DurationSec = 6;
  params.VideoBitRate = 2000000;
  const std::string input = qvtest::MakeClip(params);
  const fs::path out = fs::path(qvtest::FixtureDir()) / "bench_queue";
  fs::create_directories(out);
  std::printf("%d tasks of %s, job \"%s\", %d rounds, %u cores\n", tasks, input.c_str(),
              options.c_str(), rounds, std::thread::hardware_concurrency());
  PrintLoad("before");

  (void)RunEngine(input, 1, options, out.string());  // warms the file cache
  std::vector<TTimes> engineR, oneR, twoR, toolR;
  for (int r = 0; r < rounds; ++r) {
    engineR.push_back(RunEngine(input, tasks, options, out.string()));
    oneR.push_back(RunQueue(input, tasks, 1, options, out.string()));
    twoR.push_back(RunQueue(input, tasks, 2, options, out.string()));
    toolR.push_back(RunTool(input, tasks, options, out.string()));
  }
  const TTimes engine = Best(engineR), one = Best(oneR), two = Best(twoR), tool = Best(toolR);
  PrintLoad("after");
  Print("engine, one after another", engine, engine);
  Print("queue, Start(1)", one, engine);
  Print("queue, Start(2)", two, engine);
  Print("ffmpeg tool, one after another", tool, engine);
  const double overhead = one.WallSec / engine.WallSec;
  const double twoVsOne = two.WallSec / one.WallSec;
  const double busy = two.CpuSec / two.WallSec;
  std::printf("queue Start(1) / engine wall: %.3f  (target <= 1.03: %s)\n", overhead,
              Verdict(overhead <= 1.03));
  std::printf("queue Start(2) / Start(1) wall: %.3f  (target <= 1.00: %s)\n", twoVsOne,
              Verdict(twoVsOne <= 1.0));
  std::printf("queue Start(2) cpu/wall: %.2f  (target >= 1.8: %s)\n", busy, Verdict(busy >= 1.8));
  std::printf("queue Start(1) / ffmpeg tool wall: %.3f\n", one.WallSec / tool.WallSec);
  return 0;
}
