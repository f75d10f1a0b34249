#include "PresetConvert.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "AVProbe.h"
#include "AddSources.h"
#include "AppPaths.h"
#include "CliCommands.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegQueue/FFmpegQueue.h"
#include "IniFile.h"
#include "JsonText.h"
#include "OutputNaming.h"
#include "PresetCatalogue.h"
#include "PresetOptions.h"
#include "PresetRows.h"
#include "ProgressCells.h"
#include "Settings.h"
#include "TaskRecords.h"

namespace cli {
namespace {

// Tasks set up at once (at least twice the number run at once).
constexpr std::size_t kRoundTasks = 16;

// ------------------------------------------------------------------ arguments

bool ParseInt(const std::string &AText, int &AValue) {
  if (AText.empty() || AText.size() > 9) return false;
  for (char c : AText)
    if (c < '0' || c > '9') return false;
  AValue = std::atoi(AText.c_str());
  return true;
}

std::string Join(const std::vector<std::string> &AValues) {
  std::string s;
  for (const std::string &v : AValues) s += (s.empty() ? "" : ", ") + v;
  return s;
}

bool IsFolder(const std::string &APath) {
  struct stat sb {};
  return ::stat(APath.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode);
}

// ------------------------------------------------------------------ interruption

std::atomic<int> gSignal{0};
extern "C" void OnStopSignal(int ASignal) {
  gSignal = ASignal;
}

// SIGINT and SIGTERM ask for a clean stop; a second one ends the program at once.
class TStopSignals {
 public:
  TStopSignals() {
    gSignal = 0;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &FOldInt);
    sigaction(SIGTERM, &sa, &FOldTerm);
  }
  ~TStopSignals() {
    sigaction(SIGINT, &FOldInt, nullptr);
    sigaction(SIGTERM, &FOldTerm, nullptr);
  }

 private:
  struct sigaction FOldInt {
  }, FOldTerm{};
};

// ------------------------------------------------------------------ reporting

using TClock = std::chrono::steady_clock;

struct TRunningState {
  TProgressInfo Last;
  bool HasReport = false;
  TClock::time_point FirstAt;
  int64_t FirstUs = -1;
  double Speed = 0;  // media seconds per wall second
};

std::string FileNameOf(const std::string &APath) {
  const std::string name = ExtractFileName(APath);
  return name.empty() ? APath : name;
}

std::string Fixed(double AValue, int ADecimals) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", ADecimals, AValue);
  return buf;
}

// Prints what the batch does. Called from the queue's worker and notification threads;
// every entry takes the one lock.
class TBatchReporter {
 public:
  // AItems: every source of the batch, in order; a file's "task" is its place there.
  TBatchReporter(const TBatchConsole &AConsole, bool AJson, std::vector<TBatchItem> &AItems)
      : FConsole(AConsole), FJson(AJson), FItems(AItems) {}

  // The items of a round from AFirst on, as queued; those that never reached the queue
  // end right away.
  void BeginRound(std::size_t AFirst, std::vector<TBatchItem> ARound) {
    std::lock_guard<std::mutex> g(FLock);
    FByTask.clear();
    FRunning.clear();
    for (std::size_t i = 0; i < ARound.size(); ++i) {
      TBatchItem &item = FItems[AFirst + i];
      item = std::move(ARound[i]);
      if (item.TaskIndex >= 0)
        FByTask[item.TaskIndex] = AFirst + i;
      else
        Ended(item, nullptr);
    }
  }

  // AFinal: the report a task sends when it ends, kept for its end line only.
  void Progress(const TProgressInfo &AInfo, bool AFinal = false) {
    std::lock_guard<std::mutex> g(FLock);
    auto it = FByTask.find(AInfo.TaskIndex);
    if (it == FByTask.end()) return;
    TBatchItem &item = FItems[it->second];
    if (item.State != TItemState::Queued && item.State != TItemState::Running) return;
    item.State = TItemState::Running;
    TRunningState &run = FRunning[AInfo.TaskIndex];
    const auto now = TClock::now();
    const bool timeKnown = AInfo.CurrentDuration >= 0 && AInfo.CurrentDuration < kNoOutputTimeYetUs;
    // The first reports of an encoder with a delay may count audio alone; when the
    // time goes back the speed is measured afresh.
    if (timeKnown && run.HasReport && AInfo.CurrentDuration < run.Last.CurrentDuration)
      run.FirstUs = -1;
    if (timeKnown) {
      if (run.FirstUs < 0) {
        run.FirstUs = AInfo.CurrentDuration;
        run.FirstAt = now;
      } else {
        const double wall = std::chrono::duration<double>(now - run.FirstAt).count();
        if (wall > 0.2)
          run.Speed = std::max(0.0, (AInfo.CurrentDuration - run.FirstUs) / 1e6 / wall);
      }
    }
    run.Last = AInfo;
    run.HasReport = true;
    if (AFinal) return;
    if (FJson) {
      const TProgressCells cells =
          ProgressCells(AInfo.CurrentDuration, AInfo.TotalDuration, AInfo.CurrentSize);
      TJsonObject o;
      o.Str("event", "progress").Int("task", Ordinal(item)).Str("file", item.Source);
      o.Str("output", item.Output).Str("state", "running");
      if (cells.PercentKnown)
        o.Int("percent", cells.Percent);
      else
        o.Null("percent");
      o.Int("size", AInfo.CurrentSize)
          .Int("time_us", timeKnown ? AInfo.CurrentDuration : 0)
          .Int("total_us", AInfo.TotalDuration)
          .Num("bitrate_kbps", AInfo.BitRate)
          .Num("speed", run.Speed);
      Line(o.Text());
    } else if (FConsole.Terminal) {
      Redraw();
    }
  }

  // A task's notification (or nullptr info for a task the stopped batch never reported).
  void Terminated(const TTerminateInfo &AInfo, bool AStopRequested) {
    std::lock_guard<std::mutex> g(FLock);
    auto it = FByTask.find(AInfo.TaskIndex);
    if (it == FByTask.end()) return;
    TBatchItem &item = FItems[it->second];
    if (IsFinal(item.State)) return;  // reported once only
    if (AInfo.Finished) {
      item.State = TItemState::Finished;
    } else if (AInfo.Exception) {
      item.State = TItemState::Failed;
      item.Error = AInfo.ExceptionMsg.empty() ? "conversion failed" : AInfo.ExceptionMsg;
    } else if (AStopRequested) {
      item.State = TItemState::Stopped;
    } else {
      item.State = TItemState::Failed;
      item.Error = "the conversion ended before the end of the source";
    }
    Ended(item, &AInfo);
  }

  // After a round, or for the rounds a stop left out: every item from AFirst on that got
  // no end counts as stopped.
  void CloseUnreported(std::size_t AFirst, std::size_t ACount) {
    std::lock_guard<std::mutex> g(FLock);
    for (std::size_t i = AFirst; i < std::min(FItems.size(), AFirst + ACount); ++i)
      if (!IsFinal(FItems[i].State)) {
        FItems[i].State = TItemState::Stopped;
        Ended(FItems[i], nullptr);
      }
  }

  void Summary(bool AInterrupted) {
    std::lock_guard<std::mutex> g(FLock);
    ClearRegion();
    int counts[6] = {0};
    for (const TBatchItem &item : FItems) ++counts[static_cast<int>(item.State)];
    const int finished = counts[static_cast<int>(TItemState::Finished)];
    const int failed = counts[static_cast<int>(TItemState::Failed)];
    const int skipped = counts[static_cast<int>(TItemState::Skipped)];
    const int stopped = counts[static_cast<int>(TItemState::Stopped)];
    const double wall = std::chrono::duration<double>(TClock::now() - FStart).count();
    if (FJson) {
      TJsonObject o;
      o.Str("event", "summary")
          .Int("files", static_cast<int64_t>(FItems.size()))
          .Int("finished", finished)
          .Int("failed", failed)
          .Int("skipped", skipped)
          .Int("stopped", stopped)
          .Bool("interrupted", AInterrupted)
          .Num("seconds", wall);
      Line(o.Text());
    } else {
      std::string s =
          std::to_string(FItems.size()) + " file(s): " + std::to_string(finished) + " finished";
      if (failed) s += ", " + std::to_string(failed) + " failed";
      if (skipped) s += ", " + std::to_string(skipped) + " skipped";
      if (stopped) s += ", " + std::to_string(stopped) + " stopped";
      s += " in " + Fixed(wall, 1) + " s" + (AInterrupted ? " (interrupted)" : "");
      Line(s);
    }
    FConsole.Out.flush();
    for (const TBatchItem &item : FItems)
      if (item.State == TItemState::Failed || item.State == TItemState::Skipped)
        FConsole.Err << "quorvel-cli: " << item.Source << ": " << item.Error << "\n";
    FConsole.Err.flush();
  }

 private:
  int64_t Ordinal(const TBatchItem &AItem) const { return &AItem - FItems.data(); }

  static bool IsFinal(TItemState AState) {
    return AState != TItemState::Queued && AState != TItemState::Running;
  }

  void Ended(TBatchItem &AItem, const TTerminateInfo *AInfo) {
    const TRunningState *run = nullptr;
    if (auto it = FRunning.find(AItem.TaskIndex); AItem.TaskIndex >= 0 && it != FRunning.end())
      run = &it->second;
    int64_t size = 0;
    if (!AItem.Output.empty()) {
      struct stat sb {};
      if (::stat(AItem.Output.c_str(), &sb) == 0) size = sb.st_size;
    }
    if (FJson) {
      TJsonObject o;
      o.Str("event", "end").Int("task", Ordinal(AItem));
      o.Str("file", AItem.Source).Str("output", AItem.Output).Str("state", StateName(AItem.State));
      int percent = 0;
      if (AItem.State == TItemState::Finished) {
        percent = 100;
      } else if (run && run->HasReport) {
        const TProgressCells c = ProgressCells(run->Last.CurrentDuration, run->Last.TotalDuration,
                                               run->Last.CurrentSize);
        percent = c.PercentKnown ? c.Percent : 0;
      }
      o.Int("percent", percent).Int("size", size);
      const bool timeKnown = run && run->HasReport && run->Last.CurrentDuration >= 0 &&
                             run->Last.CurrentDuration < kNoOutputTimeYetUs;
      o.Int("time_us", timeKnown ? run->Last.CurrentDuration : 0)
          .Int("total_us", run && run->HasReport ? run->Last.TotalDuration : 0);
      if (AItem.Error.empty())
        o.Null("error");
      else
        o.Str("error", AItem.Error);
      Line(o.Text());
    } else {
      std::string s = std::string(StateName(AItem.State)) + ": " + AItem.Source;
      if (!AItem.Output.empty() && AItem.State != TItemState::Skipped)
        s += " -> " + AItem.Output + " (" + SizeText(size) + ")";
      if (!AItem.Error.empty()) s += ": " + AItem.Error;
      Line(s);
    }
    if (AItem.TaskIndex >= 0) FRunning.erase(AItem.TaskIndex);
    if (FConsole.Terminal && !FJson) Redraw();
  }

  // One finished line above the running ones.
  void Line(const std::string &AText) {
    ClearRegion();
    FConsole.Out << AText << "\n";
    FConsole.Out.flush();
  }

  void ClearRegion() {
    if (!FConsole.Terminal || FJson || FDrawn == 0) return;
    FConsole.Out << "\033[" << FDrawn << "A\r\033[J";
    FDrawn = 0;
  }

  std::string RunningLine(const TBatchItem &AItem, const TRunningState &ARun) const {
    const TProgressInfo &p = ARun.Last;
    const TProgressCells cells = ProgressCells(p.CurrentDuration, p.TotalDuration, p.CurrentSize);
    constexpr int kBar = 24;
    const int filled = cells.PercentKnown ? cells.Percent * kBar / 100 : 0;
    std::string name = FileNameOf(AItem.Source);
    if (name.size() > 32) name = name.substr(0, 29) + "...";
    std::string line = name + " [" + std::string(filled, '#') + std::string(kBar - filled, '-') +
                       "] " + (cells.PercentKnown ? std::to_string(cells.Percent) + "%" : "N/A") +
                       "  " + cells.Time + "  " + cells.Size;
    if (ARun.Speed > 0) line += "  " + Fixed(ARun.Speed, 1) + "x";
    return line;
  }

  void Redraw() {
    ClearRegion();
    for (const auto &[task, run] : FRunning) {
      if (!run.HasReport) continue;
      FConsole.Out << "\r\033[K" << RunningLine(FItems[FByTask[task]], run) << "\n";
      ++FDrawn;
    }
    FConsole.Out.flush();
  }

  const TBatchConsole &FConsole;
  const bool FJson;
  std::vector<TBatchItem> &FItems;
  std::mutex FLock;
  std::map<int, std::size_t> FByTask;
  std::map<int, TRunningState> FRunning;
  int FDrawn = 0;  // running lines on the screen below the finished ones
  const TClock::time_point FStart = TClock::now();
};

// ------------------------------------------------------------------ files

std::string ProgramDir() {
  char buf[4096] = {0};
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<std::size_t>(n));
  return ExtractFileDir(path);
}

// -o DIR, created when missing; else the output folder the window uses.
bool ResolveOutputDir(const std::string &AGiven, std::string &ADir, std::string &AError) {
  if (AGiven.empty()) {
    const TAppPaths paths = TAppPaths::FromEnvironment(ProgramDir());
    TIniFile ini(paths.SettingsFile());
    ADir = ReadOutputFolder(ini, paths.DefaultOutputFolder());
  } else {
    ADir = AGiven;
    while (ADir.size() > 1 && ADir.back() == '/') ADir.pop_back();
  }
  ForceDirectories(ADir);
  if (!DirectoryExists(ADir)) {
    AError = "cannot create the output folder " + ADir;
    return false;
  }
  return true;
}

}  // namespace

// ------------------------------------------------------------------ arguments

std::string PresetConvertUsage() {
  return "usage: quorvel-cli convert -p ID [-o DIR] [--size W*H] [--vb KBPS] [--fps R]\n"
         "         [--aspect A] [--ab KBPS] [--ar HZ] [--ac 1|2] [--overwrite] [--jobs N]\n"
         "         [--json] FILE|FOLDER ...\n"
         "  converts with preset ID (see \"quorvel-cli presets\"); each option must be one of\n"
         "  the preset's items (\"keep\" keeps the source's size, rate or aspect)\n";
}

bool ParsePresetConvertArgs(const std::vector<std::string> &AArgs, TPresetConvertArgs &AResult,
                            std::string &AError) {
  AResult = {};
  // Values are checked once the preset is known, whatever the order of the options.
  std::vector<std::pair<const TChoiceOptionInfo *, std::string>> choices;
  bool hasPreset = false;
  for (std::size_t i = 0; i < AArgs.size(); ++i) {
    const std::string &a = AArgs[i];
    const auto value = [&](std::string &AOut) {
      if (i + 1 >= AArgs.size()) {
        AError = a + " needs a value";
        return false;
      }
      AOut = AArgs[++i];
      return true;
    };
    std::string v;
    if (a == "--") {
      AResult.Sources.insert(AResult.Sources.end(), AArgs.begin() + i + 1, AArgs.end());
      break;
    } else if (a == "-p" || a == "--preset") {
      if (!value(v)) return false;
      if (!ParseInt(v, AResult.PresetId) || !FindPresetRow(AResult.PresetId)) {
        AError = "unknown preset \"" + v + "\" (\"quorvel-cli presets\" lists them)";
        return false;
      }
      hasPreset = true;
    } else if (a == "-o" || a == "--output") {
      if (!value(AResult.OutputDir)) return false;
      if (AResult.OutputDir.empty()) {
        AError = "-o needs a folder";
        return false;
      }
    } else if (a == "--overwrite") {
      AResult.Overwrite = true;
    } else if (a == "--json") {
      AResult.Json = true;
    } else if (a == "--jobs" || a == "-j") {
      if (!value(v)) return false;
      if (!ParseInt(v, AResult.Jobs) || AResult.Jobs < 1 || AResult.Jobs > 64) {
        AError = "--jobs needs a number from 1 to 64";
        return false;
      }
    } else if (const TChoiceOptionInfo *o = FindChoiceOption(a)) {
      if (!value(v)) return false;
      choices.emplace_back(o, v);
    } else if (a.size() > 1 && a[0] == '-') {
      AError = "unknown option " + a;
      return false;
    } else {
      AResult.Sources.push_back(a);
    }
  }
  if (!hasPreset) {
    AError = "-p ID is required";
    return false;
  }
  if (AResult.Sources.empty()) {
    AError = "no FILE or FOLDER to convert";
    return false;
  }
  const TPresetRow &row = *FindPresetRow(AResult.PresetId);
  for (const auto &[option, text] : choices) {
    const auto item = MatchItem(row, option->Option, text);
    if (!item) {
      const std::vector<std::string> allowed = AllowedValues(row, option->Option);
      AError = std::string(option->Flag) + " " + text + " is not offered by preset " +
               std::to_string(AResult.PresetId) + "; " +
               (allowed.empty() ? std::string("it takes no ") + option->Flag
                                : "allowed: " + Join(allowed));
      return false;
    }
    SetChosen(AResult.Choices, option->Option, *item);
  }
  return true;
}

std::vector<std::string> ExpandSources(const std::vector<std::string> &APaths) {
  std::vector<std::string> sources;
  for (const std::string &p : APaths) {
    if (!IsFolder(p)) {
      sources.push_back(p);
      continue;
    }
    const std::vector<std::string> listed = GetFilenames(p, "*.*");
    sources.insert(sources.end(), listed.rbegin(), listed.rend());
  }
  return sources;
}

const char *StateName(TItemState AState) {
  switch (AState) {
    case TItemState::Queued:
      return "queued";
    case TItemState::Skipped:
      return "skipped";
    case TItemState::Running:
      return "running";
    case TItemState::Finished:
      return "finished";
    case TItemState::Failed:
      return "failed";
    case TItemState::Stopped:
      return "stopped";
  }
  return "";
}

// ------------------------------------------------------------------ setting up

// One file given alone is added as the window adds one file; anything else as a group.
static bool IsOneFile(const TPresetConvertArgs &AArgs, const std::vector<std::string> &ASources) {
  return ASources.size() == 1 && AArgs.Sources.size() == 1 && !IsFolder(AArgs.Sources[0]);
}

bool ConfigureBatchProfile(const TPresetConvertArgs &AArgs,
                           const std::vector<std::string> &ASources, const std::string &AOutputDir,
                           TConversionProfile &AProfile, std::string &AError) {
  AProfile = TConversionProfile();
  AProfile.Reset();
  AProfile.VideoSelectType = AArgs.PresetId;
  AProfile.AFileName = IsOneFile(AArgs, ASources) ? ASources[0] : std::string();
  const TConfigureResult r = ConfigureProfile(AProfile, AOutputDir, AArgs.Choices);
  if (r) return true;
  AError = r.Error == TConfigureError::UnknownPreset
               ? "unknown preset " + std::to_string(AArgs.PresetId)
               : r.Selector + " \"" + r.Item + "\" is not offered";
  return false;
}

std::vector<TBatchItem> QueueBatch(TFFmpegQueue &AQueue, const TConversionProfile &AProfile,
                                   const std::vector<std::string> &ASources,
                                   const std::string &AOutputDir, bool AOverwrite,
                                   std::vector<std::string> *AProtected) {
  std::vector<TBatchItem> items;
  std::vector<std::string> ownList = ASources;
  std::vector<std::string> &protectedNames = AProtected ? *AProtected : ownList;
  const TExistingFileChoice choice =
      AOverwrite ? TExistingFileChoice::Overwrite : TExistingFileChoice::NewName;
  const bool oneFile = ASources.size() == 1 && AProfile.AFileName == ASources[0];
  TAVProbe probe;
  for (const std::string &source : ASources) {
    TBatchItem item;
    item.Source = source;
    if (!PathExists(source)) {
      item.State = TItemState::Skipped;
      item.Error = "No such file or directory";
      items.push_back(std::move(item));
      continue;
    }
    if (!probe.LoadFile(source, "")) {
      item.State = TItemState::Skipped;
      item.Error = "无法识别的音频或视频文件！" + probe.LastErrMsg();
      items.push_back(std::move(item));
      continue;
    }
    const TInputOptions input = BuildInputOptions(source, AProfile);
    const int task = AQueue.AddTask(source, &input);
    if (task < 0) {
      item.State = TItemState::Failed;
      item.Error = AQueue.LastErrMsg();
      items.push_back(std::move(item));
      continue;
    }
    const std::string wanted =
        oneFile ? AProfile.Video_OutPutFileName
                : GroupOutputName(AOutputDir, source, AProfile.Video_OutPutFileName);
    // Outputs of this batch are protected too: two sources of the same name never
    // share (and truncate) one output.
    item.Output = DecideOutputName(wanted, choice, protectedNames);
    const TOutputOptions output =
        BuildOutputOptions(item.Output, AProfile, oneFile ? TAddKind::OneFile : TAddKind::Group);
    if (!AQueue.SetOutputFile(task, item.Output, &output)) {
      item.State = TItemState::Failed;
      item.Error = AQueue.LastErrMsg();
      AQueue.RemoveTask(task);
      items.push_back(std::move(item));
      continue;
    }
    protectedNames.push_back(item.Output);
    item.TaskIndex = task;
    items.push_back(std::move(item));
  }
  probe.CloseFile();
  return items;
}

// ------------------------------------------------------------------ the run

int RunPresetConvert(const std::vector<std::string> &AArgs, const TBatchConsole &AConsole) {
  TPresetConvertArgs args;
  std::string error;
  if (!ParsePresetConvertArgs(AArgs, args, error)) {
    AConsole.Err << "quorvel-cli: " << error << "\n" << PresetConvertUsage();
    return kExitUsage;
  }
  if (!LoadLibrariesBesideProgram(kQueueLibraries, error)) {
    AConsole.Err << "quorvel-cli: " << error << "\n";
    return kExitFailed;
  }
  std::string outputDir;
  if (!ResolveOutputDir(args.OutputDir, outputDir, error)) {
    AConsole.Err << "quorvel-cli: " << error << "\n";
    return kExitFailed;
  }
  const std::vector<std::string> sources = ExpandSources(args.Sources);
  if (sources.empty()) {
    AConsole.Err << "quorvel-cli: 在该目录没有发现可以用的视频或音频文件！\n";
    return kExitFailed;
  }
  TConversionProfile profile;
  if (!ConfigureBatchProfile(args, sources, outputDir, profile, error)) {
    AConsole.Err << "quorvel-cli: " << error << "\n";
    return kExitUsage;
  }

  TStopSignals signals;
  std::vector<TBatchItem> items(sources.size());
  for (std::size_t i = 0; i < sources.size(); ++i) items[i].Source = sources[i];
  TBatchReporter reporter(AConsole, args.Json, items);
  int jobs = args.Jobs > 0 ? args.Jobs : static_cast<int>(std::thread::hardware_concurrency());
  jobs = std::max(jobs, 1);
  // Every queued task holds its opened input and output: a long list runs in rounds so
  // that memory and open files stay bounded.
  const std::size_t round = std::max<std::size_t>(kRoundTasks, 2 * static_cast<std::size_t>(jobs));
  std::vector<std::string> protectedNames = sources;
  int interruptedBy = 0;
  std::size_t first = 0;
  for (; first < sources.size() && interruptedBy == 0; first += round) {
    if (gSignal != 0) {
      interruptedBy = gSignal;
      break;
    }
    const std::size_t count = std::min(round, sources.size() - first);
    TFFmpegQueue queue;
    queue.TriggerEventInMainThread = false;
    reporter.BeginRound(first,
                        QueueBatch(queue, profile,
                                   {sources.begin() + static_cast<std::ptrdiff_t>(first),
                                    sources.begin() + static_cast<std::ptrdiff_t>(first + count)},
                                   outputDir, args.Overwrite, &protectedNames));
    std::mutex doneLock;
    std::condition_variable doneCond;
    bool done = false;
    std::atomic<bool> stopRequested{false};
    queue.OnProgress = [&](TCustomFFmpegQueue *, TProgressInfo *AInfo) {
      reporter.Progress(*AInfo, AInfo->FileIndex < 0);
    };
    queue.OnTerminate = [&](TCustomFFmpegQueue *, const TTerminateInfo &AInfo) {
      if (AInfo.TaskIndex >= 0) {
        reporter.Terminated(AInfo, stopRequested);
        return;
      }
      std::lock_guard<std::mutex> g(doneLock);
      done = true;
      doneCond.notify_all();
    };
    if (queue.TasksCount() > 0) {
      queue.Start(std::min(jobs, queue.TasksCount()));
      std::unique_lock<std::mutex> g(doneLock);
      while (!done) {
        doneCond.wait_for(g, std::chrono::milliseconds(50));
        if (gSignal != 0 && interruptedBy == 0) {
          interruptedBy = gSignal;
          stopRequested = true;
          g.unlock();
          queue.Stop(false);
          g.lock();
        }
      }
    }
    queue.ClearTasks();  // closes every output; unstarted ones leave no empty file
    reporter.CloseUnreported(first, count);
    // A failed conversion leaves no half-written file behind.
    for (std::size_t i = first; i < first + count; ++i)
      if (items[i].State == TItemState::Failed && items[i].TaskIndex >= 0 &&
          !items[i].Output.empty())
        ::unlink(items[i].Output.c_str());
  }
  if (interruptedBy == 0 && gSignal != 0) interruptedBy = gSignal;
  reporter.CloseUnreported(first, sources.size());  // the rounds a stop left out
  reporter.Summary(interruptedBy != 0);

  if (interruptedBy != 0) return interruptedBy == SIGINT ? kExitInterrupted : 128 + interruptedBy;
  for (const TBatchItem &item : items)
    if (item.State != TItemState::Finished) return kExitFailed;
  return kExitOk;
}

}  // namespace cli
