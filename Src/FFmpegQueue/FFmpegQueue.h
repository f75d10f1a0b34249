// The task queue: an ordered list of conversion tasks, each one engine instance set up
// from option records, run as one batch in the calling thread or in worker threads,
// with progress, preview, hook and terminate events.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../FFUtils/Streams.h"
#include "../FFmpeg/FFmpeg.h"
#include "OptionRecords.h"
#include "QueueEvents.h"
#include "QueueProbe.h"

// Misuse of the queue: an operation while a batch is under way, or a bad index.
class EFFmpegQueueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TCustomFFmpegQueue;

// One conversion task: an engine that owns copies of its option records and one probe
// per opened input.
class TFFmpeg : public TCustomFFmpeg {
 public:
  explicit TFFmpeg(int AMaxFiles);
  ~TFFmpeg() override;

  [[nodiscard]] int MaxFiles() const { return FMaxFiles; }
  // Owned copies of the records given per file index (null when none was given).
  [[nodiscard]] const TInputOptions *InputOptions(int AIndex) const;
  [[nodiscard]] const TOutputOptions *OutputOptions(int AIndex) const;
  void StoreInputOptions(int AIndex, const TInputOptions *AOptions);
  void StoreOutputOptions(int AIndex, const TOutputOptions *AOptions);
  // The probe of an input, created on first use.
  TQueueProbe &AVProbe(int AIndex, const TQueueProbeFactory &AFactory);
  [[nodiscard]] TQueueProbe *ExistingAVProbe(int AIndex) const;

  // Adds or drops one post hook (preview window, preview bitmap), under the engine's
  // post-hook lock; safe while the task runs.
  void SetPostHook(TPostHook AHook, bool AOn);

  // Lets the task open AFileName through AStream (the stream forms' names).
  void AddStream(const std::string &AFileName, TStream *AStream);
  void RemoveStream(const std::string &AFileName);

  // Position in the queue's list; kept current by the queue while it is idle.
  int TaskIndex = -1;

 private:
  // The caller's streams by the file names formed for them; the caller keeps them alive
  // as long as the task.
  std::vector<std::pair<std::string, TStream *>> FStreams;
  std::vector<std::unique_ptr<TQueueProbe>> FAVProbes;
  std::vector<std::unique_ptr<TInputOptions>> FInputOptions;
  std::vector<std::unique_ptr<TOutputOptions>> FOutputOptions;
};

// Owning, ordered list of tasks.
class TFFmpegList {
 public:
  [[nodiscard]] int Count() const { return static_cast<int>(FItems.size()); }
  [[nodiscard]] TFFmpeg *operator[](int AIndex) const { return FItems[AIndex].get(); }
  int Add(std::unique_ptr<TFFmpeg> ATask);
  void Delete(int AIndex);
  void Exchange(int AIndex1, int AIndex2);
  void Clear();

 private:
  void Renumber();
  std::vector<std::unique_ptr<TFFmpeg>> FItems;
};

class TCustomFFmpegQueue {
 public:
  using TCustomHookEvent = std::function<void(TCustomFFmpegQueue *ASender, THookInfo *AHookInfo)>;
  using TPreviewBitmapEvent =
      std::function<void(TCustomFFmpegQueue *ASender, const TPreviewInfo &APreviewInfo)>;
  using TProgressEvent =
      std::function<void(TCustomFFmpegQueue *ASender, TProgressInfo *AProgressInfo)>;
  using TTerminateEvent =
      std::function<void(TCustomFFmpegQueue *ASender, const TTerminateInfo &ATerminateInfo)>;

  // Without a factory, tasks and AVProbe use probes that only hold the container.
  explicit TCustomFFmpegQueue(TQueueProbeFactory AProbeFactory = {});
  virtual ~TCustomFFmpegQueue();
  TCustomFFmpegQueue(const TCustomFFmpegQueue &) = delete;
  TCustomFFmpegQueue &operator=(const TCustomFFmpegQueue &) = delete;

  // --- libraries ---
  [[nodiscard]] bool AVLibLoaded() const;
  [[nodiscard]] bool LoadAVLib(const std::string &APath);
  void UnloadAVLib();

  // --- set-up (main thread, never while working) ---
  int AddTask(const std::string &AFileName, const TInputOptions *AOptions = nullptr);
  int AddTask(const std::string &AFileName, const std::string &AExtOptions);
  // The task reads its first input from AStream, which must outlive the task; the input
  // is named "stream:<address>:<APrivateData>".
  int AddTask(TStream *AStream, const std::string &APrivateData,
              const TInputOptions *AOptions = nullptr);
  bool AddInputFile(int ATaskIndex, const std::string &AFileName,
                    const TInputOptions *AOptions = nullptr);
  bool AddInputFile(int ATaskIndex, const std::string &AFileName, const std::string &AExtOptions);
  bool SetOutputFile(int ATaskIndex, const std::string &AFileName,
                     const TOutputOptions *AOptions = nullptr);
  bool SetOutputFile(int ATaskIndex, const std::string &AFileName, const std::string &AExtOptions);
  // An output written to AStream, which must outlive the task. The output format comes
  // from the "f" option or from the extension of APrivateData.
  bool SetOutputStream(int ATaskIndex, TStream *AStream, const std::string &APrivateData,
                       const TOutputOptions *AOptions = nullptr);
  void ClearTasks();
  void Exchange(int ATaskIndex1, int ATaskIndex2);
  void RemoveTask(int ATaskIndex);
  // The opened container of an input of a task (its duration is in µs).
  [[nodiscard]] AVFormatContext *InputFileContext(int ATaskIndex, int AFileIndex) const;
  [[nodiscard]] TFFmpeg *Task(int ATaskIndex) const;

  // --- run control ---
  // AThreadCount <= 0 runs every task inside Start, one after another; N > 0 runs at
  // most N tasks at once in worker threads and returns at once.
  void Start(int AThreadCount);
  void Pause();
  void Resume();
  void Stop(bool AWaitFor);

  // --- properties ---
  [[nodiscard]] TQueueProbe *AVProbe() const { return FAVProbe.get(); }
  [[nodiscard]] std::string LastErrMsg() const { return FLastErrMsg; }
  [[nodiscard]] int TasksCount() const { return FTasks.Count(); }
  [[nodiscard]] bool Terminated() const { return FTerminated; }
  [[nodiscard]] bool Working() const { return FWorking; }
  [[nodiscard]] static std::string Version() { return "3.3"; }
  [[nodiscard]] int ProgressInterval() const { return FProgressInterval; }
  void SetProgressInterval(int AValue) { FProgressInterval = AValue < 100 ? 100 : AValue; }
  [[nodiscard]] bool Preview() const { return FPreview; }
  void SetPreview(bool AValue);
  [[nodiscard]] bool PreviewBitmap() const { return FPreviewBitmap; }
  void SetPreviewBitmap(bool AValue);
  [[nodiscard]] TThreadPriority ThreadPriority() const { return FThreadPriority; }
  void SetThreadPriority(TThreadPriority AValue) { FThreadPriority = AValue; }

  std::string About;
  void *UserData = nullptr;
  int CustomMaxFiles = 20;  // capacity of each new task for inputs and for outputs
  bool TriggerEventInMainThread = true;
  int Verbose = 1;

  TCustomHookEvent OnCustomHook;
  TPreviewBitmapEvent OnPreviewBitmap;
  TProgressEvent OnProgress;
  TTerminateEvent OnTerminate;

  // Event entry points of the tasks' engines; HandleTerminate without a sender ends the
  // batch.
  virtual void HandleCustomHook(TCustomFFmpeg *ASender, TBitmap *ABitmap, int AFrameNumber,
                                int64_t APTS, bool &AUpdate, bool &AStopHook);
  virtual void HandlePreviewBitmap(TCustomFFmpeg *ASender, const TBitmap *ABitmap, int AFrameNumber,
                                   int64_t APTS);
  virtual void HandleProgress(TCustomFFmpeg *ASender, int AFileIndex, int AFrameNumber, int AFPS,
                              float AQuality, float ABitRate, int64_t ACurrentSize,
                              int64_t ACurrentDuration, int64_t ATotalDuration);
  virtual void HandleTerminate(TCustomFFmpeg *ASender);

 protected:
  void CheckNotWorking(const std::string &AOperation) const;
  // Dispatches ExtOptions lines to a task; names that only the output set-up consumes
  // are skipped, codec names are taken only for inputs.
  static void ApplyExtOptions(TFFmpeg &ATask, const std::string &AExtOptions, bool AInput);

 private:
  TFFmpeg &CheckedTask(int ATaskIndex) const;
  void ApplyInputOptions(TFFmpeg &ATask, int AIndex, const TInputOptions &AOptions);
  void AttachProbe(TFFmpeg &ATask, int AIndex);
  void ConnectTask(TFFmpeg &ATask);
  int AddTask(const std::string &AFileName, const TInputOptions *AOptions, TStream *AStream);
  static TInputOptions InputOptionsFromText(const std::string &AText);
  static TOutputOptions OutputOptionsFromText(const std::string &AText);
  void StartNextTask();
  void FinishBatch(std::unique_lock<std::recursive_mutex> &ALock);
  void DeliverTerminate(const TTerminateInfo &AInfo, std::unique_lock<std::recursive_mutex> &ALock);
  void LaunchThread(TConvertThread *AThread);
  void JoinTerminateThreads();

  TQueueProbeFactory FProbeFactory;
  std::unique_ptr<TQueueProbe> FAVProbe;
  TFFmpegList FTasks;
  std::string FLastErrMsg;
  int FProgressInterval = 500;  // ms
  bool FPreview = false;
  bool FPreviewBitmap = false;
  std::atomic<TThreadPriority> FThreadPriority{tpNormal};

  // One reusable record and one lock per event kind.
  std::mutex FHookLock;  // guards FHookInfo
  THookInfo FHookInfo;
  std::mutex FPreviewLock;  // guards FPreviewInfo
  TPreviewInfo FPreviewInfo;
  std::mutex FProgressLock;  // guards FProgressInfo
  TProgressInfo FProgressInfo;
  // Guards the batch counters, FTerminateInfo and FTerminateThread. Recursive: a task
  // that fails at its start terminates inside the launch that runs under this lock.
  std::recursive_mutex FTerminateLock;
  TTerminateInfo FTerminateInfo;
  int FCompleted = 0;
  int FCurrent = -1;
  int FPending = 0;
  bool FDestroying = false;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FThreadMode{false};
  std::atomic<bool> FWorking{false};
  // The newest terminate thread; each one first waits for its predecessor, so handlers
  // see the notifications in the order they were raised, the batch end last.
  std::thread FTerminateThread;
  std::atomic<int> FLiveTerminateThreads{0};
};

class TFFmpegQueue : public TCustomFFmpegQueue {
 public:
  using TCustomFFmpegQueue::TCustomFFmpegQueue;
};
