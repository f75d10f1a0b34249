#include "ConvertCommand.h"

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#include "FFUtils/FFUtils.h"
#include "FFmpeg/FFmpeg.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegLogger/FFmpegLogger.h"

namespace {

// Options that take no value ("-vn" alone); an explicit "0" or "1" may follow.
const std::set<std::string> &BooleanOptions() {
  static const std::set<std::string> s = {
      "dump",      "hex",    "re",       "loop_input", "shortest",    "isync",    "intra",
      "vn",        "an",     "sn",       "sameq",      "deinterlace", "psnr",     "qphist",
      "force_fps", "copyts", "xerror",   "vstats",     "newvideo",    "newaudio", "newsubtitle",
      "L",         "h",      "version",  "formats",    "codecs",      "bsfs",     "protocols",
      "filters",   "y",      "benchmark"};
  return s;
}

volatile std::sig_atomic_t gInterrupted = 0;
void OnInterrupt(int) {
  gInterrupted = 1;
}

}  // namespace

TConvertExit SetUpConvertTask(TCustomFFmpeg &AEngine, const std::vector<std::string> &AArgs,
                              std::string &AError) {
  bool join = false;
  try {
    for (size_t i = 0; i < AArgs.size(); ++i) {
      const std::string &a = AArgs[i];
      if (a == "-i") {
        if (i + 1 >= AArgs.size()) {
          AError = "-i needs a file name";
          return ceUsage;
        }
        if (!AEngine.OpenInputFile(AArgs[++i])) {
          AError = AEngine.LastErrMsg();
          return ceFailed;
        }
      } else if (a == "-join") {
        join = true;
      } else if (a.size() > 1 && a[0] == '-') {
        const std::string name = a.substr(1);
        std::string value;
        if (BooleanOptions().count(name)) {
          if (i + 1 < AArgs.size() && (AArgs[i + 1] == "0" || AArgs[i + 1] == "1"))
            value = AArgs[++i];
        } else if (i + 1 < AArgs.size()) {
          value = AArgs[++i];
        } else {
          AError = "-" + name + " needs a value";
          return ceUsage;
        }
        AEngine.SetOption(name, value);
      } else {
        if (AEngine.nb_input_files() == 0) {
          AError = "At least one input file must be specified";
          return ceUsage;
        }
        if (AEngine.OpenOutputFile(a, join) < 0) {
          AError = AEngine.LastErrMsg();
          return ceFailed;
        }
      }
    }
  } catch (const std::exception &e) {
    AError = e.what();
    return ceUsage;
  }
  if (AEngine.nb_output_files() == 0) {
    AError = "At least one output file must be specified";
    return ceUsage;
  }
  return ceFinished;
}

std::string ProgressLine(int64_t ACurrentUs, int64_t ATotalUs, int64_t ASizeBytes, float ABitRate) {
  std::string line = "time=" + TimeToStr(ACurrentUs);
  if (ATotalUs > 0) line += " / " + TimeToStr(ATotalUs);
  line += " size=" + SizeToStr(ASizeBytes);
  char buf[64];
  std::snprintf(buf, sizeof buf, " bitrate=%.1fkbits/s", ABitRate);
  line += buf;
  if (ATotalUs > 0) {
    const double pct = std::min(100.0, 100.0 * ACurrentUs / ATotalUs);
    std::snprintf(buf, sizeof buf, " %5.1f%%", pct);
    line += buf;
  }
  return line;
}

int RunConvertCommand(const std::vector<std::string> &AArgs) {
  if (AArgs.empty()) {
    std::fprintf(
        stderr,
        "usage: quorvel-cli convert [input options] -i INPUT ... [output options] OUTPUT ...\n"
        "  options are written -name value, or -name alone for a switch; -join joins all inputs\n");
    return ceUsage;
  }
  if (!FFLoader().Load(kQueueLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().LastErrMsg().c_str());
    return ceFailed;
  }
  std::mutex outLock;  // one writer of the terminal at a time
  bool progressShown = false;
  TFFLogger &log = GlobalLogger();
  log.SetTriggerEventInMainThread(false);
  log.SetLogLevel(llInfo);
  // The engine's own lines (no sender) are shown; the libraries' only when they warn.
  log.SetOnLog([&](const void *ASender, uint32_t, TLogLevel ALevel, const std::string &AMsg) {
    if (ASender != nullptr && ALevel > llWarning) return;
    std::lock_guard<std::mutex> g(outLock);
    if (progressShown) std::fputc('\n', stderr);
    progressShown = false;
    std::string msg = AMsg;
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == '\r')) msg.pop_back();
    std::fprintf(stderr, "%s\n", msg.c_str());
  });

  int code = ceFinished;
  {
    TCustomFFmpeg engine(20);
    std::string error;
    const TConvertExit setUp = SetUpConvertTask(engine, AArgs, error);
    if (setUp != ceFinished) {
      std::fprintf(stderr, "%s\n", error.c_str());
      log.SetOnLog(nullptr);
      return setUp;
    }
    engine.OnProgress = [&](TCustomFFmpeg *, int AFile, int, int, float, float ABitRate,
                            int64_t ASize, int64_t ACurrent, int64_t ATotal) {
      if (AFile < 0) return;  // the final report is logged
      std::lock_guard<std::mutex> g(outLock);
      std::fprintf(stderr, "\r%s\033[K", ProgressLine(ACurrent, ATotal, ASize, ABitRate).c_str());
      std::fflush(stderr);
      progressShown = true;
    };
    std::mutex doneLock;
    std::condition_variable doneCond;
    bool done = false;
    engine.OnTerminate = [&](TCustomFFmpeg *) {
      std::lock_guard<std::mutex> g(doneLock);
      done = true;
      doneCond.notify_all();
    };
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    bool interrupted = false;
    if (TConvertThread *t = engine.StartConvert(true)) {
      t->Resume();
      std::unique_lock<std::mutex> g(doneLock);
      while (!done) {
        doneCond.wait_for(g, std::chrono::milliseconds(100));
        if (gInterrupted && !interrupted) {
          interrupted = true;
          engine.Stop(false);
        }
      }
    }
    engine.Stop(true);
    {
      std::lock_guard<std::mutex> g(outLock);
      if (progressShown) std::fputc('\n', stderr);
      progressShown = false;
    }
    if (engine.FatalException()) {
      std::fprintf(stderr, "Conversion failed: %s\n", engine.FatalMessage().c_str());
      code = ceFailed;
    } else if (!engine.Finished()) {
      std::fprintf(stderr, "Conversion stopped; the output was closed cleanly.\n");
      code = ceFailed;
    } else {
      std::fprintf(stderr, "Conversion finished.\n");
    }
  }
  log.SetOnLog(nullptr);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  return code;
}
