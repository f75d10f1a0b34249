// TForm1, the main window: tool bar, conversion list, preview panel, options panel and
// status bar; the settings file at start-up; the list's slots and operations. The
// handlers keep the names of the controls that trigger them and stay thin: the rules
// live in app/core.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>

#include "AVProbe.h"
#include "ConversionProfile.h"
#include "FFmpegLogger/FFmpegLogger.h"
#include "FFmpegQueue/FFmpegQueue.h"
#include "Player.h"
#include "core/AppPaths.h"
#include "core/ControlStates.h"
#include "core/IniFile.h"
#include "core/JobSlots.h"
#include "core/MediaInfo.h"
#include "core/OutputNaming.h"
#include "core/Platform.h"

class QAction;
class QActionGroup;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QStatusBar;
class QToolBar;
class QToolButton;
class TAdvListView;
class TForm4;
class TForm7;
class TForm8;
class TForm9;
class TSkinChooser;
class TVideoSurfaceWidget;
class TQtMainThreadCaller;
class TLogPipe;

inline constexpr char kAppTitle[] = "Quorvel手机视频格式转换器";

// State words of the list's last column.
inline constexpr char kStateReady[] = "准备";
inline constexpr char kStateConverting[] = "转换中...";
inline constexpr char kStatePaused[] = "暂停";
inline constexpr char kStateStopped[] = "停止";
inline constexpr char kStateDone[] = "完成";

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  // Runs the start-up sequence (FormCreate). The platform outlives the window.
  TForm1(IPlatform &APlatform, const TAppPaths &APaths, QWidget *AParent = nullptr);
  ~TForm1() override;

  // The dialogs created after the main window at program entry.
  void SetAboutBox(TForm4 *AForm) { Form4 = AForm; }
  void SetFormatDialogs(TForm7 *AChooser, TForm8 *AOptions) {
    Form7 = AChooser;
    Form8 = AOptions;
  }

  // --- Start-up and settings ---
  void FormCreate();
  void Button17Click();      // read the output folder
  void Button16Click();      // write the output folder
  void Button3Click();       // read the skin
  void Button4Click();       // write the skin
  void Button55Click();      // read the snapshot picture type
  void Button19Click();      // run defaults
  void Button15Click();      // reset the slots
  void Button21Click();      // file filters of the choosers
  void ToolButton11Click();  // skin chooser
  void suiButton3Click();    // "浏览...": choose the output folder
  void suiButton11Click();   // "打开": open the output folder
  void Button20Click();      // open the folder shown in the output-folder field
  [[nodiscard]] std::string GetSystemStr();
  void ApplySkin(int AIndex);

  // --- Help menu ---
  void HelpSystemClick();
  void WebSiteClick();
  void MailClick();
  void AboutClick();

  // --- The list ---
  void btnRemoveClick();
  void btnClearClick();
  void Button10Click();  // move up
  void Button11Click();  // move down
  void AdvListView1SelectItem();
  void AdvListView1Click();
  // Adds a row for a source whose task the queue accepted, and stores the records in
  // the first free slot. Refuses with a message, and changes nothing, when every slot
  // is taken. Returns the row index or -1.
  int AddListRow(const std::string &ASource, const TInputOptions &AInput,
                 const TOutputOptions &AOutput);
  void ShowPlaceholder(bool AShow);

  // --- Media information dialog (MainWindowInfo.cpp) ---
  // "信息" and a double-click on the list: describe the selected row's source.
  void suiButton12Click();
  void SetInfoDialog(TForm9 *AForm) { Form9 = AForm; }
  TMediaInfoFields InfoFields;  // what the dialog shows, gathered from the probe

  // --- Snapshot settings of the preview panel ---
  void BMP1Click();
  void JPEG1Click();
  void GIF1Click();
  void PNG1Click();
  void MenuItem1Click();  // open the snapshot folder
  void MenuItem2Click();  // choose the snapshot folder
  [[nodiscard]] std::string SnapshotFolder();

  // --- Preview panel (MainWindowPreview.cpp) ---
  void bsSkinButton13Click();  // play
  void bsSkinButton14Click();  // pause
  void bsSkinButton15Click();  // stop: reopen paused at the start
  void bsSkinButton16Click();  // mute
  void bsSkinButton20Click();  // unmute
  void bsSkinButton22Click();  // snapshot
  void bsSkinSlider1MouseDown();
  void bsSkinSlider1MouseUp();
  void FFPlayerFileOpen(int64_t ADuration, int AFrameWidth, int AFrameHeight, int &AScreenWidth,
                        int &AScreenHeight);
  void FFPlayerPosition(int64_t APTS);
  void FFPlayerState(TPlayState AState);
  // The file written by the last snapshot (empty when none was written).
  [[nodiscard]] const std::string &LastSnapshotFile() const { return FLastSnapshot; }

  TFFPlayer FFPlayer;
  int64_t FDuration = 0;
  TVideoSurfaceWidget *VideoSurface = nullptr;

  // --- Adding sources and running the batch (MainWindowConvert.cpp) ---
  void N11111Click();       // "添加一个文件"
  void Button6Click();      // add one file
  void N2222Click();        // "添加多个文件"
  void Button22Click();     // add several files
  void Button25Click();     // "添加整个目录"
  void ToolButton3Click();  // "开始"
  void btnStartClick();     // start, or resume when paused
  void Button14Click();     // rebuild the queue from the slots
  void btnPauseClick();
  void btnStopClick();
  void FFmpegQueue1Progress(TCustomFFmpegQueue *ASender, TProgressInfo *AProgressInfo);
  void FFmpegQueue1Terminate(TCustomFFmpegQueue *ASender, const TTerminateInfo &ATerminateInfo);
  void Button18Click();  // shut the computer down
  void Button27Click();  // reminder sound
  void FFLoggerLog(uint32_t AThreadID, TLogLevel ALogLevel, const std::string &ALogMsg);
  [[nodiscard]] TExistingFileChoice ExistingFileChoice() const;
  // Row of a task of the running batch (-1 when none).
  [[nodiscard]] int RowOfTask(int ATaskIndex) const;

  // Its probe (AVProbe) is the media probe: sources are checked with it before queuing.
  TFFmpegQueue FFmpegQueue1{QueueProbeFactory<TAVProbe>()};

  // --- Closing ---
  void FormCloseQuery();

  // The invisible diagnostic log.
  void AddLog(const QString &ALine);

  [[nodiscard]] const std::string &SettingsFile() const { return FIni.FileName(); }
  [[nodiscard]] const TControlStates &ControlStates() const { return FControls; }
  void SetSituation(TListSituation ASituation, bool ARowsRemain = false);

  // Run flags and state.
  std::string FileOutPutPath;
  std::string Form_pause = "NO";
  std::string Form_stop;
  bool T_Down_UP_Move = false;
  std::string bsSkinSlider1_down_UP = "UP";
  std::string T_Movie_PLayer_FileName;
  int FSkinIndex = 0;
  std::vector<TFileFilter> FFileFilters;
  TJobSlots Slots;             // IO1 / OO1
  TConversionProfile Profile;  // the current conversion profile

  // Controls, reachable as on a designer form.
  QToolBar *ToolBar1 = nullptr;
  QToolButton *ToolButtonAdd = nullptr;
  QToolButton *btnRemove = nullptr;
  QToolButton *btnClear = nullptr;
  QToolButton *ToolButton3 = nullptr;  // "开始"
  QToolButton *btnPause = nullptr;
  QToolButton *btnStop = nullptr;
  QToolButton *ToolButton11 = nullptr;  // "皮肤"
  QToolButton *ToolButtonHelp = nullptr;
  QMenu *PopupAdd = nullptr;
  QMenu *PopupHelp = nullptr;
  QAction *AddOneFile = nullptr;
  QAction *AddSeveralFiles = nullptr;
  QAction *AddFolder = nullptr;
  QAction *HelpSystem = nullptr;
  QAction *HelpWebSite = nullptr;
  QAction *HelpMail = nullptr;
  QAction *HelpAbout = nullptr;

  QFrame *ListPanel = nullptr;
  TAdvListView *AdvListView1 = nullptr;
  QLabel *ImagePlaceholder = nullptr;
  QPushButton *Button10 = nullptr;  // "上移"
  QPushButton *Button11 = nullptr;  // "下移"
  QPushButton *btnRemove2 = nullptr;
  QPushButton *btnClear2 = nullptr;
  QPushButton *btnInfo = nullptr;  // "信息"

  QFrame *PreviewPanel = nullptr;
  QFrame *PanelVideo = nullptr;
  QSlider *bsSkinSlider1 = nullptr;
  QPushButton *bsSkinButton13 = nullptr;  // play
  QPushButton *bsSkinButton14 = nullptr;  // pause
  QPushButton *bsSkinButton15 = nullptr;  // stop
  QPushButton *bsSkinButton16 = nullptr;  // mute
  QPushButton *bsSkinButton20 = nullptr;  // unmute
  QPushButton *bsSkinButton22 = nullptr;  // snapshot
  QPushButton *bsSkinButton23 = nullptr;  // snapshot settings
  QMenu *PopupSnapshot = nullptr;
  QAction *MenuItem1 = nullptr;
  QAction *MenuItem2 = nullptr;
  QAction *BMP1 = nullptr;
  QAction *JPEG1 = nullptr;
  QAction *GIF1 = nullptr;
  QAction *PNG1 = nullptr;

  QFrame *OptionsPanel = nullptr;
  QLineEdit *Edit1 = nullptr;          // the output folder, read-only
  QPushButton *suiButton3 = nullptr;   // "浏览..."
  QPushButton *suiButton11 = nullptr;  // "打开"
  QComboBox *cbCompletionAction = nullptr;
  QComboBox *cbExistingFile = nullptr;
  QComboBox *cbConcurrentFiles = nullptr;  // not shown
  QComboBox *cbCpuPriority = nullptr;      // not shown

  QStatusBar *StatusBar1 = nullptr;
  QPlainTextEdit *mmoLog = nullptr;  // not shown

  TSkinChooser *SkinChooser = nullptr;
  TForm4 *Form4 = nullptr;
  TForm7 *Form7 = nullptr;  // format chooser
  TForm8 *Form8 = nullptr;  // options dialog
  TForm9 *Form9 = nullptr;  // media information dialog

 protected:
  void closeEvent(QCloseEvent *AEvent) override;
  void showEvent(QShowEvent *AEvent) override;
  bool eventFilter(QObject *AWatched, QEvent *AEvent) override;

 private:
  void BuildToolBar();
  void BuildListPanel(QWidget *AParent);
  void BuildPreviewPanel(QWidget *AParent);
  void BuildOptionsPanel(QWidget *AParent);
  void ShowControlStates();
  void SetSnapshotType(const std::string &AType);

  // Adding and running (MainWindowConvert.cpp).
  void BuildConversion();
  void ShutdownConversion();
  bool AddCommonBeginning();
  bool ProbeSource(const std::string &ASource, std::string &AErrMsg);
  enum class TAddOutcome { Added, Skipped, StopAll };
  TAddOutcome AddGroupSource(const std::string &ASource, bool AShowProbeFailure);
  [[nodiscard]] std::vector<std::string> ListedSources() const;
  void AddLogFramed(const std::string &ALine);
  void RunTerminates();
  void EndOfBatch();
  std::vector<int> FTaskRows;               // task index -> row, for the running batch
  std::vector<TTerminateInfo> FTerminates;  // notifications waiting for the UI thread
  bool FRunningTerminates = false;
  int FQueueCallDepth = 0;  // inside a queue call that may pump the event loop
  // Where the task queue joins the window. Until it does there is no queue: nothing is
  // working and there is no task to remove or clear.
  [[nodiscard]] bool QueueWorking() const;
  void QueueRemoveTaskOfRow(int ARow);
  void QueueClearTasks();
  void QueueDetachHandlers();
  void QueueStopAndWait();
  // Where the preview player joins the window.
  void Button31Click();  // open T_Movie_PLayer_FileName paused in the preview
  void PlayerStop();
  void PlayerDetachHandlers();
  void BuildPreviewPlayer();
  void ShutdownPreviewPlayer();
  std::string FLastSnapshot;
  std::unique_ptr<TQtMainThreadCaller> FMainThreadCaller;  // installed by this window
  // Where the logger joins the window.
  void LoggerDetachHandler();
  std::shared_ptr<TLogPipe> FLogPipe;  // log lines from any thread into mmoLog
  bool FLoggerWasInMainThread = true;  // the logger's delivery mode before this window
  // Where the conversion profile joins the window.
  void Button7Click();  // reset the profile

  IPlatform &FPlatform;
  TAppPaths FPaths;
  TIniFile FIni;
  TControlStates FControls;
  bool FCentred = false;
};
