// TForm1: adding sources (one file, several files, a folder), running the batch and
// what happens when it ends. The naming and record rules live in app/core.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "FFUtils/MainThread.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FormatChooser.h"
#include "JobListView.h"
#include "LogPipe.h"
#include "MainWindow.h"
#include "core/AddSources.h"
#include "core/ProgressCells.h"
#include "core/TaskRecords.h"

namespace {

QString Q(const std::string &s) {
  return QString::fromStdString(s);
}

// "#thread.level: message"
QString LoggerLine(uint32_t AThreadID, TLogLevel ALevel, const std::string &AMsg) {
  return Q("#" + std::to_string(AThreadID) + "." + std::to_string(static_cast<int>(ALevel)) + ": " +
           AMsg);
}

bool IsFile(const std::string &APath) {
  std::error_code ec;
  return std::filesystem::is_regular_file(APath, ec);
}

// Queue calls that may pump the event loop (Stop waits while serving main-thread
// calls): notifications arriving meanwhile wait until the call has returned.
struct TQueueCall {
  explicit TQueueCall(int &ADepth) : Depth(ADepth) { ++Depth; }
  ~TQueueCall() { --Depth; }
  int &Depth;
};

}  // namespace

void TForm1::BuildConversion() {
  connect(AddOneFile, &QAction::triggered, this, &TForm1::N11111Click);
  connect(AddSeveralFiles, &QAction::triggered, this, &TForm1::N2222Click);
  connect(AddFolder, &QAction::triggered, this, &TForm1::Button25Click);
  connect(ToolButton3, &QToolButton::clicked, this, &TForm1::ToolButton3Click);
  connect(btnPause, &QToolButton::clicked, this, &TForm1::btnPauseClick);
  connect(btnStop, &QToolButton::clicked, this, &TForm1::btnStopClick);

  FFmpegQueue1.OnProgress = [this](TCustomFFmpegQueue *ASender, TProgressInfo *AInfo) {
    FFmpegQueue1Progress(ASender, AInfo);
  };
  FFmpegQueue1.OnTerminate = [this](TCustomFFmpegQueue *ASender, const TTerminateInfo &AInfo) {
    FFmpegQueue1Terminate(ASender, AInfo);
  };
  // Lines are delivered in the logging thread and reach the log through the pipe: a
  // thread that logs never waits for the UI thread.
  FLogPipe = std::make_shared<TLogPipe>(this, [this](const QString &ALine) { AddLog(ALine); });
  FLoggerWasInMainThread = GlobalLogger().TriggerEventInMainThread();
  GlobalLogger().SetTriggerEventInMainThread(false);
  GlobalLogger().SetOnLog([pipe = FLogPipe](const void *, uint32_t AThreadID, TLogLevel ALevel,
                                            const std::string &AMsg) {
    pipe->Push(LoggerLine(AThreadID, ALevel, AMsg));
  });
}

void TForm1::ShutdownConversion() {
  QueueDetachHandlers();
  QueueStopAndWait();
  LoggerDetachHandler();
}

// ---------------------------------------------------------------- the log

void TForm1::AddLogFramed(const std::string &ALine) {
  AddLog(QString());
  AddLog(Q(ALine));
  AddLog(QString());
}

void TForm1::FFLoggerLog(uint32_t AThreadID, TLogLevel ALogLevel, const std::string &ALogMsg) {
  if (FLogPipe) FLogPipe->Push(LoggerLine(AThreadID, ALogLevel, ALogMsg));
}

void TForm1::LoggerDetachHandler() {
  if (!FLogPipe) return;
  GlobalLogger().SetOnLog(nullptr);
  FLogPipe->Close();
  FLogPipe.reset();
}

// ---------------------------------------------------------------- adding

TExistingFileChoice TForm1::ExistingFileChoice() const {
  return cbExistingFile->currentIndex() == 1 ? TExistingFileChoice::Overwrite
                                             : TExistingFileChoice::NewName;
}

std::vector<std::string> TForm1::ListedSources() const {
  std::vector<std::string> sources;
  for (int i = 0; i < kSlotCount; ++i)
    if (Slots.Marker(i) == kSlotFull)
      sources.push_back(Slots.IO1[static_cast<std::size_t>(i)].FileName);
  return sources;
}

bool TForm1::AddCommonBeginning() {
  Button7Click();
  if (!FFmpegQueue1.AVLibLoaded() && !FFmpegQueue1.LoadAVLib(DefaultLibraryPath())) {
    AddLog(Q(FFmpegQueue1.LastErrMsg()));
    return false;
  }
  return true;
}

bool TForm1::ProbeSource(const std::string &ASource, std::string &AErrMsg) {
  // The queue's probe keeps the file open until the next one.
  TAVProbe *probe = ProbeAs<TAVProbe>(FFmpegQueue1.AVProbe());
  if (probe == nullptr) {
    AErrMsg = "no media probe";
    return false;
  }
  if (probe->LoadFile(ASource, "")) return true;
  AErrMsg = probe->LastErrMsg();
  return false;
}

void TForm1::N11111Click() {
  Button6Click();
}

void TForm1::N2222Click() {
  Button22Click();
}

void TForm1::Button6Click() {
  if (!AddCommonBeginning()) return;
  const std::optional<std::string> chosen = FPlatform.ChooseFile("打开文件", FFileFilters);
  if (!chosen || !IsFile(*chosen)) return;
  Profile.AFileName = *chosen;
  if (Form7) {
    Form7->exec();
    if (Form7->NextorCancel == QStringLiteral("2")) return;
  }
  const std::string source = Profile.AFileName;
  const TInputOptions input = BuildInputOptions(source, Profile);
  std::string probeError;
  if (!ProbeSource(source, probeError)) {
    AddLogFramed("***文件打开失败 " + probeError);
    FPlatform.MessageBox("无法识别的音频或视频文件！" + source, "提示", TMsgIcon::Information,
                         TMsgButtons::Ok);
    return;
  }
  const int t = FFmpegQueue1.AddTask(source, &input);
  if (t < 0) {
    AddLogFramed("***打开文件失败: " + FFmpegQueue1.LastErrMsg());
    return;
  }
  T_Movie_PLayer_FileName = source;
  std::vector<std::string> protectedFiles = ListedSources();
  protectedFiles.push_back(source);
  const std::string outputName =
      DecideOutputName(Profile.Video_OutPutFileName, ExistingFileChoice(), protectedFiles);
  const TOutputOptions output = BuildOutputOptions(outputName, Profile, TAddKind::OneFile);
  if (!FFmpegQueue1.SetOutputFile(t, outputName, &output)) {
    const std::string reason = FFmpegQueue1.LastErrMsg();
    FFmpegQueue1.RemoveTask(t);
    AddLogFramed("***不能进行正常转换: " + reason);
    // Without a row nothing else would tell the user why (a missing encoder, say).
    FPlatform.MessageBox(reason, kAppTitle, TMsgIcon::Warning, TMsgButtons::Ok);
    return;
  }
  const int row = AddListRow(source, input, output);
  if (row < 0) {
    FFmpegQueue1.RemoveTask(t);
    return;
  }
  AdvListView1->Renumber();
  AdvListView1->SelectRow(row);
}

TForm1::TAddOutcome TForm1::AddGroupSource(const std::string &ASource, bool AShowProbeFailure) {
  if (!IsFile(ASource)) return TAddOutcome::StopAll;
  Profile.AFileName = ASource;
  const TInputOptions input = BuildInputOptions(ASource, Profile);
  std::string probeError;
  if (!ProbeSource(ASource, probeError)) {
    AddLogFramed("***文件打开失败 " + probeError);
    if (AShowProbeFailure)
      FPlatform.MessageBox("无法识别的音频或视频文件！" + ASource, "提示", TMsgIcon::Information,
                           TMsgButtons::Ok);
    return TAddOutcome::Skipped;
  }
  const int t = FFmpegQueue1.AddTask(ASource, &input);
  if (t < 0) {
    AddLogFramed("***打开文件失败: " + FFmpegQueue1.LastErrMsg());
    return TAddOutcome::StopAll;
  }
  std::vector<std::string> protectedFiles = ListedSources();
  protectedFiles.push_back(ASource);
  const std::string outputName = DecideOutputName(
      GroupOutputName(Edit1->text().toStdString(), ASource, Profile.Video_OutPutFileName),
      ExistingFileChoice(), protectedFiles);
  const TOutputOptions output = BuildOutputOptions(outputName, Profile, TAddKind::Group);
  bool taskKept = true;
  if (!FFmpegQueue1.SetOutputFile(t, outputName, &output)) {
    FFmpegQueue1.RemoveTask(t);
    taskKept = false;
    AddLogFramed("***不能进行正常转换: " + FFmpegQueue1.LastErrMsg());
  }
  // The row is added all the same: its task is set up again when the batch starts.
  if (AddListRow(ASource, input, output) < 0) {
    if (taskKept) FFmpegQueue1.RemoveTask(t);
    return TAddOutcome::StopAll;
  }
  return TAddOutcome::Added;
}

void TForm1::Button22Click() {
  if (!AddCommonBeginning()) return;
  const std::vector<std::string> files = FPlatform.ChooseFiles("打开文件", FFileFilters);
  if (files.empty()) return;
  if (Form7) {
    Form7->exec();
    if (Form7->NextorCancel == QStringLiteral("2")) return;
  }
  for (auto it = files.rbegin(); it != files.rend(); ++it)
    if (AddGroupSource(*it, true) == TAddOutcome::StopAll) return;
  AdvListView1->Renumber();
  if (AdvListView1->rowCount() > 0) {
    AdvListView1->SelectRow(AdvListView1->rowCount() - 1);
    AdvListView1->setFocus();
  }
}

void TForm1::Button25Click() {
  if (!AddCommonBeginning()) return;
  const int rowsBefore = AdvListView1->rowCount();
  const std::optional<std::string> folder = FPlatform.ChooseFolder("选择目录");
  std::error_code ec;
  if (!folder || folder->empty() || !std::filesystem::is_directory(*folder, ec)) return;
  const std::vector<std::string> files = GetFilenames(*folder, "*.*");
  if (Form7) {
    Form7->exec();
    if (Form7->NextorCancel == QStringLiteral("2")) return;
  }
  for (auto it = files.rbegin(); it != files.rend(); ++it)
    if (AddGroupSource(*it, false) == TAddOutcome::StopAll) return;
  AdvListView1->Renumber();
  if (AdvListView1->rowCount() > 0) {
    AdvListView1->SelectRow(AdvListView1->rowCount() - 1);
    AdvListView1->setFocus();
  }
  if (AdvListView1->rowCount() <= rowsBefore)
    FPlatform.MessageBox("在该目录没有发现可以用的视频或音频文件！", "提示", TMsgIcon::Information,
                         TMsgButtons::Ok);
}

// ---------------------------------------------------------------- running

int TForm1::RowOfTask(int ATaskIndex) const {
  if (ATaskIndex < 0 || ATaskIndex >= static_cast<int>(FTaskRows.size())) return -1;
  const int row = FTaskRows[static_cast<std::size_t>(ATaskIndex)];
  return row < AdvListView1->rowCount() ? row : -1;
}

void TForm1::ToolButton3Click() {
  btnStartClick();
}

void TForm1::Button14Click() {
  std::error_code ec;
  std::filesystem::create_directories(FileOutPutPath, ec);
  FFmpegQueue1.ClearTasks();
  FTaskRows.clear();
  const std::vector<std::string> sources = ListedSources();
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (Slots.Marker(slot) != kSlotFull) continue;
    mmoLog->clear();
    const TInputOptions &input = Slots.IO1[static_cast<std::size_t>(slot)];
    const TOutputOptions &output = Slots.OO1[static_cast<std::size_t>(slot)];
    // A row whose task cannot be set up is marked failed; the tasks that follow keep
    // reporting to their own rows.
    auto fail = [&](const std::string &AReason, const std::string &AMessage) {
      if (slot < AdvListView1->rowCount()) {
        AdvListView1->SetCell(slot, TAdvListView::colState, QStringLiteral("失败"));
        AdvListView1->item(slot, TAdvListView::colState)->setToolTip(Q(AMessage));
      }
      AddLogFramed(AReason + AMessage);
      FPlatform.MessageBox(AMessage, kAppTitle, TMsgIcon::Warning, TMsgButtons::Ok);
    };
    const int t = FFmpegQueue1.AddTask(input.FileName, &input);
    if (t < 0) {
      fail("***打开文件失败: ", FFmpegQueue1.LastErrMsg());
      continue;
    }
    const std::string path =
        RebuildOutputName(FileOutPutPath, output.FileName, ExistingFileChoice(), sources);
    if (!FFmpegQueue1.SetOutputFile(t, path, &output)) {
      const std::string reason = FFmpegQueue1.LastErrMsg();
      FFmpegQueue1.RemoveTask(t);
      fail("***不能进行正常转换: ", reason);
      continue;
    }
    FTaskRows.push_back(slot);
  }
}

void TForm1::btnStartClick() {
  if (Form_pause == "YES") {
    Form_pause = "NO";
    SetSituation(TListSituation::Resumed);
    FFmpegQueue1.Resume();
    return;
  }
  Form_stop = "NO";
  for (int r = 0; r < AdvListView1->rowCount(); ++r) {
    AdvListView1->SetCell(r, TAdvListView::colTime, QStringLiteral("00:00:00"));
    AdvListView1->SetCell(r, TAdvListView::colSize, QStringLiteral("0.00MB"));
    AdvListView1->SetProgress(r, 0);
    AdvListView1->SetCell(r, TAdvListView::colState, QString::fromUtf8(kStateReady));
    AdvListView1->item(r, TAdvListView::colState)->setToolTip(QString());
  }
  Button14Click();  // after the reset, so that rows that cannot run keep their mark
  static constexpr TThreadPriority kPriorities[] = {tpIdle, tpLowest, tpLower, tpNormal};
  const int priority = cbCpuPriority->currentIndex();
  FFmpegQueue1.SetThreadPriority(priority >= 0 && priority < 4 ? kPriorities[priority] : tpNormal);
  SetSituation(TListSituation::BatchRunning);
  const int threads = std::min(FFmpegQueue1.TasksCount(), cbConcurrentFiles->currentIndex() + 1);
  if (threads <= 0) {
    // Nothing could be queued: the queue raises no event for an empty batch.
    EndOfBatch();
    return;
  }
  FFmpegQueue1.Start(threads);
}

void TForm1::btnPauseClick() {
  Form_pause = "YES";
  SetSituation(TListSituation::Paused);
  FFmpegQueue1.Pause();
  for (int r = 0; r < AdvListView1->rowCount(); ++r)
    if (AdvListView1->State(r) == QString::fromUtf8(kStateConverting))
      AdvListView1->SetCell(r, TAdvListView::colState, QString::fromUtf8(kStatePaused));
}

void TForm1::btnStopClick() {
  if (FPlatform.MessageBox("您确实要终止目前的转换工作吗？", "提示信息", TMsgIcon::Information,
                           TMsgButtons::OkCancel) != TMsgResult::Ok)
    return;
  Form_pause = "NO";
  Form_stop = "YES";
  SetSituation(TListSituation::StopConfirmed);
  {
    TQueueCall call(FQueueCallDepth);
    FFmpegQueue1.Stop(true);
  }
  RunTerminates();
}

void TForm1::FFmpegQueue1Progress(TCustomFFmpegQueue *, TProgressInfo *AInfo) {
  const int row = RowOfTask(AInfo->TaskIndex);
  if (row < 0) return;
  const TProgressCells cells =
      ProgressCells(AInfo->CurrentDuration, AInfo->TotalDuration, AInfo->CurrentSize);
  if (cells.PercentKnown)
    AdvListView1->SetProgress(row, cells.Percent);
  else
    AdvListView1->SetProgressUnknown(row);
  AdvListView1->SetCell(row, TAdvListView::colTime, Q(cells.Time));
  AdvListView1->SetCell(row, TAdvListView::colSize, Q(cells.Size));
  AdvListView1->SetCell(row, TAdvListView::colState, QString::fromUtf8(kStateConverting));
}

void TForm1::FFmpegQueue1Terminate(TCustomFFmpegQueue *, const TTerminateInfo &AInfo) {
  // Arrives in a thread of the queue: the effects run in the UI thread, in order.
  MainThreadCaller().Post([this, info = AInfo] {
    FTerminates.push_back(info);
    RunTerminates();
  });
}

void TForm1::RunTerminates() {
  // Not inside a queue call that pumps events, and never nested (a message box runs
  // its own loop): the outer run takes the notifications that arrive meanwhile.
  if (FRunningTerminates || FQueueCallDepth > 0) return;
  FRunningTerminates = true;
  while (!FTerminates.empty()) {
    const TTerminateInfo info = FTerminates.front();
    FTerminates.erase(FTerminates.begin());
    if (info.TaskIndex >= 0) {
      const int row = RowOfTask(info.TaskIndex);
      if (info.Finished && row >= 0)
        QTimer::singleShot(500, this, [this, row] {
          if (row >= AdvListView1->rowCount()) return;
          AdvListView1->SetProgress(row, 100);
          AdvListView1->SetCell(row, TAdvListView::colState, QString::fromUtf8(kStateDone));
        });
      if (info.Exception)
        FPlatform.MessageBox(info.ExceptionMsg, kAppTitle, TMsgIcon::Warning, TMsgButtons::Ok);
    } else {
      EndOfBatch();
    }
  }
  FRunningTerminates = false;
}

void TForm1::EndOfBatch() {
  SetSituation(TListSituation::BatchEnded);
  if (Form_stop == "YES") {
    for (int r = 0; r < AdvListView1->rowCount(); ++r) {
      const QString state = AdvListView1->State(r);
      if (state == QString::fromUtf8(kStateConverting) || state == QString::fromUtf8(kStatePaused))
        AdvListView1->SetCell(r, TAdvListView::colState, QString::fromUtf8(kStateStopped));
    }
  } else if (const int row = AdvListView1->SelectedRow(); row >= 0) {
    AdvListView1->SetCell(row, TAdvListView::colState, QString::fromUtf8(kStateDone));
  }
  FFmpegQueue1.ClearTasks();
  switch (cbCompletionAction->currentIndex()) {
    case 1:
      Button18Click();
      break;
    case 2:
      Button20Click();
      break;
    case 3:
      Button27Click();
      break;
    default:
      break;
  }
}

void TForm1::Button18Click() {
  // The platform asks the system to power off; a refusal is not reported.
  (void)FPlatform.RequestPowerOff();
}

void TForm1::Button27Click() {
  const std::string sound = FPaths.ProgramFile("sounds/ring001.wav");
  if (IsFile(sound)) (void)FPlatform.PlaySoundAsync(sound);
}

// ---------------------------------------------------------------- the queue in the list

bool TForm1::QueueWorking() const {
  return FFmpegQueue1.Working();
}

void TForm1::QueueRemoveTaskOfRow(int ARow) {
  if (!FFmpegQueue1.Working() && FFmpegQueue1.TasksCount() >= AdvListView1->rowCount() &&
      ARow < FFmpegQueue1.TasksCount())
    FFmpegQueue1.RemoveTask(ARow);
}

void TForm1::QueueClearTasks() {
  if (!FFmpegQueue1.Working() || FFmpegQueue1.Terminated()) FFmpegQueue1.ClearTasks();
}

void TForm1::QueueDetachHandlers() {
  FFmpegQueue1.OnCustomHook = nullptr;
  FFmpegQueue1.OnProgress = nullptr;
  FFmpegQueue1.OnTerminate = nullptr;
}

void TForm1::QueueStopAndWait() {
  if (!FFmpegQueue1.Working() || FFmpegQueue1.Terminated()) return;
  TQueueCall call(FQueueCallDepth);
  FFmpegQueue1.Stop(true);
}
