// The task queue's component state and the set-up of tasks from option records.
#include "FFmpegQueue.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <utility>

#include "../FFUtils/FFUtils.h"
#include "../FFmpegLoader/FFmpegLoader.h"
#include "StreamIO.h"

namespace {

struct TOptionLine {
  std::string Name;  // as written
  std::string Value;
};

std::string Lower(std::string AText) {
  std::transform(AText.begin(), AText.end(), AText.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return AText;
}

// ExtOptions text as lines name=value; lines without a name are skipped.
std::vector<TOptionLine> ReadOptionLines(const std::string &AText) {
  std::vector<TOptionLine> lines;
  const std::string text = NormalizeOptionText(AText);
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    const size_t eq = line.find('=');
    TOptionLine l;
    l.Name = eq == std::string::npos ? line : line.substr(0, eq);
    l.Value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    if (!l.Name.empty()) lines.push_back(std::move(l));
  }
  return lines;
}

bool OneOf(const std::string &AName, std::initializer_list<const char *> ANames) {
  for (const char *n : ANames)
    if (AName == n) return true;
  return false;
}

int64_t ReadTime(const std::string &AValue) {
  try {
    size_t used = 0;
    const std::string v = Trim(AValue);
    const long long t = std::stoll(v, &used, 10);
    return used == v.size() ? static_cast<int64_t>(t) : NOPTS;
  } catch (const std::exception &) {
    return NOPTS;
  }
}

// The name=value list of SetOutputFile: defaults ("def_acodec" …) and queued lines.
class TDefaults {
 public:
  [[nodiscard]] std::string Value(const std::string &AName) const {
    for (const auto &e : FEntries)
      if (e.first == AName) return e.second;
    return {};
  }
  [[nodiscard]] bool Has(const std::string &AName) const {
    return std::any_of(FEntries.begin(), FEntries.end(),
                       [&](const auto &e) { return e.first == AName; });
  }
  void Add(const std::string &AName, const std::string &AValue) {
    FEntries.emplace_back(AName, AValue);
  }
  void AddDefault(const std::string &AName, const std::string &AValue) {
    if (!AValue.empty()) Add(AName, AValue);
  }
  // Hands the engine the first queued line of AName (using it up), or the default.
  void Hand(TCustomFFmpeg &AEngine, const std::string &AName) {
    for (auto it = FEntries.begin(); it != FEntries.end(); ++it)
      if (it->first == AName) {
        const std::string value = it->second;
        FEntries.erase(it);
        AEngine.SetOption(AName, value);
        return;
      }
    // An empty default means "not set": giving the engine an empty frame size or codec
    // would fail an output that is already open.
    const std::string def = Value("def_" + AName);
    if (!def.empty()) AEngine.SetOption(AName, def);
  }

 private:
  std::vector<std::pair<std::string, std::string>> FEntries;
};

}  // namespace

// ---------------------------------------------------------------- TFFmpeg

TFFmpeg::TFFmpeg(int AMaxFiles)
    : TCustomFFmpeg(AMaxFiles),
      FAVProbes(AMaxFiles),
      FInputOptions(AMaxFiles),
      FOutputOptions(AMaxFiles) {
  CustomIOOpener = [this](const std::string &AFileName, bool AWrite) -> std::shared_ptr<TCustomIO> {
    for (const auto &s : FStreams)
      if (s.first == AFileName) return OpenStreamIO(*s.second, AWrite);
    return nullptr;
  };
}

void TFFmpeg::AddStream(const std::string &AFileName, TStream *AStream) {
  RemoveStream(AFileName);
  FStreams.emplace_back(AFileName, AStream);
}

void TFFmpeg::RemoveStream(const std::string &AFileName) {
  FStreams.erase(std::remove_if(FStreams.begin(), FStreams.end(),
                                [&](const auto &s) { return s.first == AFileName; }),
                 FStreams.end());
}

TFFmpeg::~TFFmpeg() {
  // The run must be over before the probes that borrow its containers go.
  Stop(true);
  for (auto &p : FAVProbes)
    if (p) p->SetFileHandle(nullptr);
  FAVProbes.clear();
  FInputOptions.clear();
  FOutputOptions.clear();
}

const TInputOptions *TFFmpeg::InputOptions(int AIndex) const {
  return AIndex >= 0 && AIndex < FMaxFiles ? FInputOptions[AIndex].get() : nullptr;
}

const TOutputOptions *TFFmpeg::OutputOptions(int AIndex) const {
  return AIndex >= 0 && AIndex < FMaxFiles ? FOutputOptions[AIndex].get() : nullptr;
}

void TFFmpeg::StoreInputOptions(int AIndex, const TInputOptions *AOptions) {
  FInputOptions.at(AIndex) = AOptions ? std::make_unique<TInputOptions>(*AOptions) : nullptr;
}

void TFFmpeg::StoreOutputOptions(int AIndex, const TOutputOptions *AOptions) {
  FOutputOptions.at(AIndex) = AOptions ? std::make_unique<TOutputOptions>(*AOptions) : nullptr;
}

TQueueProbe &TFFmpeg::AVProbe(int AIndex, const TQueueProbeFactory &AFactory) {
  auto &slot = FAVProbes.at(AIndex);
  if (!slot) slot = AFactory ? AFactory() : std::make_unique<TBorrowedContextProbe>();
  return *slot;
}

TQueueProbe *TFFmpeg::ExistingAVProbe(int AIndex) const {
  return AIndex >= 0 && AIndex < FMaxFiles ? FAVProbes[AIndex].get() : nullptr;
}

void TFFmpeg::SetPostHook(TPostHook AHook, bool AOn) {
  const TPostHooks hooks = AOn ? (PostHooks() | AHook) : (PostHooks() & ~AHook);
  SetPostHooks(hooks);
  // Read by the set-up of the next run only (a copied video stream cannot have them).
  if (!Converting()) FHasPostHooks = hooks != 0;
}

// ---------------------------------------------------------------- TFFmpegList

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> ATask) {
  FItems.push_back(std::move(ATask));
  Renumber();
  return Count() - 1;
}

void TFFmpegList::Delete(int AIndex) {
  std::unique_ptr<TFFmpeg> task = std::move(FItems[AIndex]);
  FItems.erase(FItems.begin() + AIndex);
  Renumber();
  task.reset();
}

void TFFmpegList::Exchange(int AIndex1, int AIndex2) {
  std::swap(FItems[AIndex1], FItems[AIndex2]);
  Renumber();
}

void TFFmpegList::Clear() {
  // Free in list order, one task at a time (each stops and waits for its run).
  for (auto &t : FItems) t.reset();
  FItems.clear();
}

void TFFmpegList::Renumber() {
  for (int i = 0; i < Count(); ++i) FItems[i]->TaskIndex = i;
}

// ---------------------------------------------------------------- component

TCustomFFmpegQueue::TCustomFFmpegQueue(TQueueProbeFactory AProbeFactory)
    : FProbeFactory(std::move(AProbeFactory)) {
  FAVProbe = FProbeFactory ? FProbeFactory() : std::make_unique<TBorrowedContextProbe>();
}

TCustomFFmpegQueue::~TCustomFFmpegQueue() {
  {
    // No task launches another and no handler runs from here on.
    std::lock_guard<std::recursive_mutex> g(FTerminateLock);
    FPending = 0;
    FDestroying = true;
  }
  for (int i = 0; i < FTasks.Count(); ++i) FTasks[i]->Stop(true);
  FTasks.Clear();
  JoinTerminateThreads();
  // Wait for anyone still inside a handler before the locks go.
  { std::lock_guard<std::mutex> g(FHookLock); }
  { std::lock_guard<std::mutex> g(FPreviewLock); }
  { std::lock_guard<std::mutex> g(FProgressLock); }
  { std::lock_guard<std::recursive_mutex> g(FTerminateLock); }
  FAVProbe.reset();
}

bool TCustomFFmpegQueue::AVLibLoaded() const {
  return ::AVLibLoaded(kQueueLibraries);
}

bool TCustomFFmpegQueue::LoadAVLib(const std::string &APath) {
  return ::LoadAVLib(kQueueLibraries, APath, FLastErrMsg);
}

void TCustomFFmpegQueue::UnloadAVLib() {
  ::UnloadAVLib(kQueueLibraries);
}

void TCustomFFmpegQueue::CheckNotWorking(const std::string &AOperation) const {
  if (FWorking) throw EFFmpegQueueError("Cannot " + AOperation + " while working.");
}

TFFmpeg &TCustomFFmpegQueue::CheckedTask(int ATaskIndex) const {
  if (ATaskIndex < 0 || ATaskIndex >= FTasks.Count())
    throw EFFmpegQueueError("Task index " + std::to_string(ATaskIndex) + " out of range (" +
                            std::to_string(FTasks.Count()) + " tasks)");
  return *FTasks[ATaskIndex];
}

TFFmpeg *TCustomFFmpegQueue::Task(int ATaskIndex) const {
  return &CheckedTask(ATaskIndex);
}

AVFormatContext *TCustomFFmpegQueue::InputFileContext(int ATaskIndex, int AFileIndex) const {
  TFFmpeg &task = CheckedTask(ATaskIndex);
  if (AFileIndex < 0 || AFileIndex >= task.nb_input_files())
    throw EFFmpegQueueError("Input index " + std::to_string(AFileIndex) + " out of range (" +
                            std::to_string(task.nb_input_files()) + " inputs)");
  return task.Finput_files[AFileIndex].ctx;
}

void TCustomFFmpegQueue::SetPreview(bool AValue) {
  FPreview = AValue;
  for (int i = 0; i < FTasks.Count(); ++i) FTasks[i]->SetPostHook(phPreview, AValue);
}

void TCustomFFmpegQueue::SetPreviewBitmap(bool AValue) {
  FPreviewBitmap = AValue;
  for (int i = 0; i < FTasks.Count(); ++i) FTasks[i]->SetPostHook(phBitmap, AValue);
}

// ---------------------------------------------------------------- option text

void TCustomFFmpegQueue::ApplyExtOptions(TFFmpeg &ATask, const std::string &AExtOptions,
                                         bool AInput) {
  for (const TOptionLine &l : ReadOptionLines(AExtOptions)) {
    const std::string name = Lower(l.Name);
    if (OneOf(name,
              {"newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters", "vf"}))
      continue;
    if (!AInput && OneOf(name, {"acodec", "vcodec", "scodec", "s"})) continue;
    ATask.SetOption(name, l.Value);
  }
}

TInputOptions TCustomFFmpegQueue::InputOptionsFromText(const std::string &AText) {
  TInputOptions o;
  InitInputOptions(o);
  for (const TOptionLine &l : ReadOptionLines(AText)) {
    if (Lower(l.Name) == "timestart")
      o.TimeStart = ReadTime(l.Value);
    else
      o.ExtOptions += l.Name + "=" + l.Value + "\n";
  }
  return o;
}

TOutputOptions TCustomFFmpegQueue::OutputOptionsFromText(const std::string &AText) {
  TOutputOptions o;
  InitOutputOptions(o);
  for (const TOptionLine &l : ReadOptionLines(AText)) {
    const std::string name = Lower(l.Name);
    if (name == "hook" || name == "customhook")
      o.CustomHook = true;  // whatever the value
    else if (name == "join")
      o.Join = true;
    else if (name == "timestart")
      o.TimeStart = ReadTime(l.Value);
    else if (name == "timelength")
      o.TimeLength = ReadTime(l.Value);
    else
      o.ExtOptions += l.Name + "=" + l.Value + "\n";
  }
  return o;
}

// ---------------------------------------------------------------- inputs

void TCustomFFmpegQueue::ApplyInputOptions(TFFmpeg &ATask, int AIndex,
                                           const TInputOptions &AOptions) {
  TInputOptions copy = AOptions;
  ATask.StoreInputOptions(AIndex, &copy);
  ApplyExtOptions(ATask, copy.ExtOptions, true);
  if (!copy.FileFormat.empty()) ATask.SetFormat(copy.FileFormat);
  if (copy.TimeStart != NOPTS) ATask.SetStartTime(copy.TimeStart);
  if (copy.ProgramID >= 0) ATask.SetProgramID(copy.ProgramID);
}

void TCustomFFmpegQueue::AttachProbe(TFFmpeg &ATask, int AIndex) {
  ATask.AVProbe(AIndex, FProbeFactory).SetFileHandle(ATask.Finput_files[AIndex].ctx);
}

void TCustomFFmpegQueue::ConnectTask(TFFmpeg &ATask) {
  ATask.OnProgress = [this](TCustomFFmpeg *s, int file, int frame, int fps, float q, float br,
                            int64_t size, int64_t cur, int64_t total) {
    HandleProgress(s, file, frame, fps, q, br, size, cur, total);
  };
  ATask.OnTerminate = [this](TCustomFFmpeg *s) { HandleTerminate(s); };
}

int TCustomFFmpegQueue::AddTask(const std::string &AFileName, const TInputOptions *AOptions) {
  return AddTask(AFileName, AOptions, nullptr);
}

int TCustomFFmpegQueue::AddTask(TStream *AStream, const std::string &APrivateData,
                                const TInputOptions *AOptions) {
  CheckNotWorking("AddTask");
  if (!AStream) {
    FLastErrMsg = "No stream given";
    return -1;
  }
  return AddTask(StreamFileName(AStream, APrivateData), AOptions, AStream);
}

int TCustomFFmpegQueue::AddTask(const std::string &AFileName, const TInputOptions *AOptions,
                                TStream *AStream) {
  CheckNotWorking("AddTask");
  try {
    auto task = std::make_unique<TFFmpeg>(CustomMaxFiles);
    if (AStream) task->AddStream(AFileName, AStream);
    task->ResetForTask();
    task->SetVerbose(Verbose);
    task->SetPostHook(phPreview, FPreview);
    task->SetPostHook(phBitmap, FPreviewBitmap);
    task->OnPreviewBitmap = [this](TCustomFFmpeg *s, const TFrameBitmap &b, int frame,
                                   int64_t pts) { HandlePreviewBitmap(s, &b, frame, pts); };
    if (AOptions) {
      TInputOptions o = *AOptions;
      if (o.FileName.empty()) o.FileName = AFileName;
      ApplyInputOptions(*task, task->nb_input_files(), o);
    }
    const int index = task->nb_input_files();
    if (!task->OpenInputFile(AFileName)) {
      FLastErrMsg = task->LastErrMsg();
      return -1;
    }
    AttachProbe(*task, index);
    ConnectTask(*task);
    return FTasks.Add(std::move(task));
  } catch (const std::exception &e) {
    FLastErrMsg = e.what();
    return -1;
  }
}

int TCustomFFmpegQueue::AddTask(const std::string &AFileName, const std::string &AExtOptions) {
  const TInputOptions o = InputOptionsFromText(AExtOptions);
  return AddTask(AFileName, &o);
}

bool TCustomFFmpegQueue::AddInputFile(int ATaskIndex, const std::string &AFileName,
                                      const TInputOptions *AOptions) {
  CheckNotWorking("AddInputFile");
  TFFmpeg &task = CheckedTask(ATaskIndex);
  const int index = task.nb_input_files();
  if (index >= task.MaxFiles()) {
    FLastErrMsg = "max input files " + std::to_string(task.MaxFiles()) + " reached";
    return false;
  }
  try {
    if (AOptions) {
      TInputOptions o = *AOptions;
      if (o.FileName.empty()) o.FileName = AFileName;
      ApplyInputOptions(task, index, o);
    } else {
      task.StoreInputOptions(index, nullptr);
    }
    if (!task.OpenInputFile(AFileName)) {
      task.StoreInputOptions(index, nullptr);
      FLastErrMsg = task.LastErrMsg();
      return false;
    }
    AttachProbe(task, index);
    return true;
  } catch (const std::exception &e) {
    task.StoreInputOptions(index, nullptr);
    FLastErrMsg = e.what();
    return false;
  }
}

bool TCustomFFmpegQueue::AddInputFile(int ATaskIndex, const std::string &AFileName,
                                      const std::string &AExtOptions) {
  const TInputOptions o = InputOptionsFromText(AExtOptions);
  return AddInputFile(ATaskIndex, AFileName, &o);
}

// ---------------------------------------------------------------- outputs

namespace {

void ApplyOutputFields(TCustomFFmpeg &AEngine, const TOutputOptions &O) {
  auto positive = [&](const char *AName, int64_t AValue) {
    if (AValue > 0) AEngine.SetOption(AName, std::to_string(AValue));
  };
  auto text = [&](const char *AName, const std::string &AValue) {
    if (!AValue.empty()) AEngine.SetOption(AName, AValue);
  };
  text("f", O.FileFormat);
  positive("packetsize", O.PacketSize);
  positive("muxrate", O.MuxRate);
  AEngine.SetMuxMaxDelay(O.MuxDelay);
  AEngine.SetMuxPreload(O.MuxPreload);
  if (O.DisableAudio) AEngine.Faudio_disable = true;
  AEngine.SetAudioVolume(O.AudioVolume);
  AEngine.SetAudioChannels(O.AudioChannels);
  AEngine.SetAudioSampleRate(O.AudioSampleRate);
  positive("ab", O.AudioBitrate);
  positive("abt", O.AudioBitRateTolerance);
  AEngine.Faudio_language = O.AudioLanguage;
  AEngine.SetAudioSyncMethod(O.AudioSyncMethod);
  text("atag", O.AudioTag);
  if (O.DisableVideo) AEngine.Fvideo_disable = true;
  text("r", O.FrameRate);
  text("aspect", O.FrameAspectRatio);
  positive("croptop", O.CropTop);
  positive("cropbottom", O.CropBottom);
  positive("cropleft", O.CropLeft);
  positive("cropright", O.CropRight);
  positive("g", O.GroupPictureSize);
  positive("vb", O.VideoBitrate);
  positive("maxrate", O.VideoMaxRate);
  positive("minrate", O.VideoMinRate);
  positive("bt", O.VideoBitRateTolerance);
  positive("bufsize", O.VideoBufSize);
  AEngine.SetVideoSyncMethod(O.VideoSyncMethod);
  text("vtag", O.VideoTag);
  AEngine.Fvideo_language = O.VideoLanguage;
  if (O.DisableSubtitle) AEngine.Fsubtitle_disable = true;
  AEngine.Fsubtitle_language = O.SubtitleLanguage;
  AEngine.SetInputSync(O.InputSync);
  if (O.CopyTimestamp) AEngine.SetCopyTs(true);
  if (O.TimeStart != NOPTS) AEngine.SetStartTime(O.TimeStart);
  if (O.TimeLength != NOPTS) AEngine.SetRecordingTime(O.TimeLength);

  const TStreamInfo &I = O.Info;
  if (I.TimeStamp == 0)
    AEngine.Frecording_timestamp = static_cast<int64_t>(std::time(nullptr));
  else if (I.TimeStamp > 0)
    AEngine.Frecording_timestamp = LocalDateTimeToUnix(I.TimeStamp);
  if (I.Year > 0) AEngine.SetMetadata("year", std::to_string(I.Year));
  if (I.Track > 0) AEngine.SetMetadata("track", std::to_string(I.Track));
  const std::pair<const char *, const std::string *> texts[] = {
      {"title", &I.Title},     {"author", &I.Author}, {"copyright", &I.Copyright},
      {"comment", &I.Comment}, {"album", &I.Album},   {"genre", &I.Genre}};
  for (const auto &t : texts)
    if (!t.second->empty()) AEngine.SetMetadata(t.first, *t.second);
}

}  // namespace

bool TCustomFFmpegQueue::SetOutputFile(int ATaskIndex, const std::string &AFileName,
                                       const TOutputOptions *AOptions) {
  CheckNotWorking("SetOutputFile");
  TFFmpeg &task = CheckedTask(ATaskIndex);
  const int index = task.nb_output_files();
  if (index >= task.MaxFiles()) {
    FLastErrMsg = "max output files " + std::to_string(task.MaxFiles()) + " reached";
    return false;
  }
  try {
    bool join = false;
    TDefaults defaults;
    std::vector<TOptionLine> ext;
    if (!AOptions) {
      task.StoreOutputOptions(index, nullptr);
    } else {
      TOutputOptions o = *AOptions;
      if (o.FileName.empty()) o.FileName = AFileName;
      task.StoreOutputOptions(index, &o);
      ext = ReadOptionLines(o.ExtOptions);

      // Record fields first, then the first such ExtOptions line supplies a missing
      // default; every such line stays queued for the "new…" lines below.
      defaults.AddDefault("def_acodec", o.AudioCodec);
      defaults.AddDefault("def_vcodec", o.VideoCodec);
      defaults.AddDefault("def_scodec", o.SubtitleCodec);
      defaults.AddDefault("def_apre", o.AudioPreset);
      defaults.AddDefault("def_vpre", o.VideoPreset);
      defaults.AddDefault("def_spre", o.SubtitlePreset);
      defaults.AddDefault("def_s", o.FrameSize);
      defaults.AddDefault("def_vf", o.VideoFilters);
      for (const TOptionLine &l : ext) {
        std::string name = Lower(l.Name);
        if (!OneOf(name,
                   {"acodec", "vcodec", "scodec", "apre", "vpre", "spre", "s", "vfilters", "vf"}) ||
            l.Value.empty())
          continue;
        if (name == "vfilters") name = "vf";
        if (!defaults.Has("def_" + name)) defaults.Add("def_" + name, l.Value);
        defaults.Add(name, l.Value);
      }

      if (o.TargetType != ttIgnore) {
        const char *norm = o.NormType == ntPAL ? "pal" : o.NormType == ntNTSC ? "ntsc" : "auto";
        const char *defNorm = o.NormDefault == ntPAL ? "pal" : "ntsc";
        const char *target = o.TargetType == ttVCD    ? "vcd"
                             : o.TargetType == ttSVCD ? "svcd"
                                                      : "dvd";
        task.ApplyTarget(target, norm, defNorm);
      }
      for (const char *c : {"acodec", "vcodec", "scodec"}) {
        const std::string v = defaults.Value(std::string("def_") + c);
        if (!v.empty()) task.SetOption(c, v);
      }
      for (const char *p : {"apre", "vpre", "spre"}) {
        const std::string v = defaults.Value(std::string("def_") + p);
        if (!v.empty()) task.ApplyPreset(p, v);
      }
      ApplyExtOptions(task, o.ExtOptions, false);
      ApplyOutputFields(task, o);
      const std::string size = defaults.Value("def_s");
      if (!size.empty()) task.SetOption("s", size);
      const std::string filters = defaults.Value("def_vf");
      if (!filters.empty()) task.SetOption("vf", filters);
      if (o.CustomHook) {
        task.FHasCustomHook = true;
        task.OnCustomHook = [this](TCustomFFmpeg *s, TFrameBitmap &b, int frame, int64_t pts,
                                   bool &update, bool &stop) {
          HandleCustomHook(s, &b, frame, pts, update, stop);
        };
      }
      join = o.Join;
    }

    if (task.OpenOutputFile(AFileName, join) < 0) {
      FLastErrMsg = task.LastErrMsg();
      task.StoreOutputOptions(index, nullptr);
      return false;
    }

    for (const TOptionLine &l : ext) {
      const std::string name = Lower(l.Name);
      if (name == "newaudio") {
        defaults.Hand(task, "acodec");
        defaults.Hand(task, "apre");
      } else if (name == "newvideo") {
        for (const char *n : {"vcodec", "vpre", "s", "vf"}) defaults.Hand(task, n);
      } else if (name == "newsubtitle") {
        defaults.Hand(task, "scodec");
        defaults.Hand(task, "spre");
      } else {
        continue;
      }
      task.SetOption(name, l.Value);
    }
    return true;
  } catch (const std::exception &e) {
    // Keep no record for an output that was not opened.
    if (task.nb_output_files() <= index) task.StoreOutputOptions(index, nullptr);
    FLastErrMsg = e.what();
    return false;
  }
}

bool TCustomFFmpegQueue::SetOutputFile(int ATaskIndex, const std::string &AFileName,
                                       const std::string &AExtOptions) {
  const TOutputOptions o = OutputOptionsFromText(AExtOptions);
  return SetOutputFile(ATaskIndex, AFileName, &o);
}

bool TCustomFFmpegQueue::SetOutputStream(int ATaskIndex, TStream *AStream,
                                         const std::string &APrivateData,
                                         const TOutputOptions *AOptions) {
  CheckNotWorking("SetOutputFile");
  TFFmpeg &task = CheckedTask(ATaskIndex);
  if (!AStream) {
    FLastErrMsg = "No stream given";
    return false;
  }
  const std::string name = StreamFileName(AStream, APrivateData);
  task.AddStream(name, AStream);
  if (SetOutputFile(ATaskIndex, name, AOptions)) return true;
  task.RemoveStream(name);
  return false;
}

// ---------------------------------------------------------------- list

void TCustomFFmpegQueue::Exchange(int ATaskIndex1, int ATaskIndex2) {
  CheckNotWorking("Exchange");
  CheckedTask(ATaskIndex1);
  CheckedTask(ATaskIndex2);
  FTasks.Exchange(ATaskIndex1, ATaskIndex2);
}

void TCustomFFmpegQueue::RemoveTask(int ATaskIndex) {
  CheckNotWorking("RemoveTask");
  CheckedTask(ATaskIndex);
  FTasks.Delete(ATaskIndex);
}
