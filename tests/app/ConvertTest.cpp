// Adding sources and running the batch through the main window, with the real format
// chooser and options dialog and a scripted desktop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <thread>

#include "FFUtils/MainThread.h"
#include "FFmpegLogger/FFmpegLogger.h"
#include "FormatChooser.h"
#include "JobListView.h"
#include "MainWindow.h"
#include "MediaFixtures.h"
#include "OptionsDialog.h"
#include "PresetCatalogue.h"
#include "PresetsLink.h"
#include "ScriptedPlatform.h"
#include "TempDir.h"
#include "WindowWithDialogs.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMp4Mpeg4 = 2801;   // ".mp4", mpeg4 video, source size
constexpr int kMkvXvid = 2806;    // ".mkv", mpeg4 with the tag XVID
constexpr int kAviXvid = 1602;    // ".avi", mpeg4 with the tag XVID
constexpr int kMp4X264 = 2701;    // ".mp4", libx264
constexpr int kMovDefault = 103;  // ".mov", no video codec: the container's H.264

class ConvertTest : public ::testing::Test, protected TWindowWithDialogs {
 protected:
  std::string out = dir / "out";
  std::string src = dir / "src";

  void SetUp() override {
    OpenWindow({out, src});
    SetOutputFolder(out);
    form1->cbCompletionAction->setCurrentIndex(2);
  }
  void TearDown() override { CloseWindow(); }

  void SetOutputFolder(const std::string &AFolder) {
    form1->FileOutPutPath = AFolder;
    form1->Edit1->setText(QString::fromStdString(AFolder));
  }


  // The next chooser picks the preset and confirms its preselected options.
  void AnswerChooser(int APresetId) {
    WhenModal(form7.get(), [this, APresetId] {
      const std::optional<TPresetRef> ref = FindPreset(APresetId);
      ASSERT_TRUE(ref);
      const auto &cats = PresetCategories();
      int bar = 0;
      while (&cats[static_cast<std::size_t>(bar)] != ref->Category) ++bar;
      form7->CategoryBar->setCurrentRow(bar);
      emit form7->CategoryBar->itemClicked(form7->CategoryBar->item(bar));
      form7->suiListView4->setCurrentRow(ref->Position);
      WhenModal(form8.get(), [this] { form8->suiButton1->click(); });
      form7->suiButton1->click();
    });
  }
  void CancelChooser() {
    WhenModal(form7.get(), [this] { form7->suiButton2->click(); });
  }

  // A copy of a generated clip under a name of the test's choosing.
  std::string Copy(qvtest::TFixture AKind, const std::string &APath) {
    fs::copy_file(qvtest::Fixture(AKind), APath, fs::copy_options::overwrite_existing);
    return APath;
  }
  static void Touch(const std::string &APath) { std::ofstream(APath) << "text"; }

  template <class TPred>
  static bool WaitFor(TPred APred, int AMs = 60000) {
    QElapsedTimer t;
    t.start();
    while (!APred()) {
      if (t.elapsed() > AMs) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }

  int Rows() const { return form1->AdvListView1->rowCount(); }
  std::string Cell(int ARow, int ACol) const {
    return form1->AdvListView1->Cell(ARow, ACol).toStdString();
  }
  std::string State(int ARow) const { return Cell(ARow, TAdvListView::colState); }
  const TOutputOptions &Slot(int AIndex) const {
    return form1->Slots.OO1[static_cast<std::size_t>(AIndex)];
  }
  std::string Log() const { return form1->mmoLog->toPlainText().toStdString(); }

  // Adds one file with a preset.
  void AddOne(const std::string &APath, int APresetId = kMp4Mpeg4) {
    platform.FileAnswers.push_back(APath);
    AnswerChooser(APresetId);
    form1->Button6Click();
  }

  // The batch tests are about run control, not codecs: every row copies its streams.
  // With ARealTime the source is read at its own pace, so a run lasts its duration.
  void CopyStreams(bool ARealTime = false) {
    for (int i = 0; i < Rows(); ++i) {
      TOutputOptions &o = form1->Slots.OO1[static_cast<std::size_t>(i)];
      TOutputOptions copy;
      InitOutputOptions(copy);
      copy.FileName = o.FileName;
      copy.SubtitleLanguage = o.SubtitleLanguage;
      copy.VideoCodec = "copy";
      copy.AudioCodec = "copy";
      o = copy;
      if (ARealTime) form1->Slots.IO1[static_cast<std::size_t>(i)].ExtOptions = "re";
    }
  }

  bool BatchEnded() const {
    return !form1->FFmpegQueue1.Working() && form1->ToolButton3->isEnabled();
  }
};

TEST_F(ConvertTest, OneFileDatInputAndExistingOutputNames) {
  const std::string dat = Copy(qvtest::TFixture::MpegPs, src + "/clip.DAT");
  Touch(out + "/clip.mp4");
  Touch(out + "/clip(New_1).mp4");
  AddOne(dat);
  ASSERT_EQ(Rows(), 1) << Log();
  EXPECT_EQ(form1->Slots.IO1[0].FileFormat, "mpeg");
  EXPECT_EQ(Slot(0).FileName, out + "/clip(New_2).mp4");
  EXPECT_EQ(Cell(0, TAdvListView::colSourceExt), "DAT");
  EXPECT_EQ(Cell(0, TAdvListView::colTargetExt), "MP4");
  EXPECT_EQ(Cell(0, TAdvListView::colNumber), "1");
  EXPECT_EQ(State(0), "准备");
  EXPECT_EQ(form1->AdvListView1->SelectedRow(), 0);
  EXPECT_NE(Log().find("\n装入成功.\n"), std::string::npos) << Log();
  EXPECT_EQ(form1->FFmpegQueue1.TasksCount(), 1);

  form1->cbExistingFile->setCurrentIndex(1);  // "直接覆盖该文件"
  AddOne(Copy(qvtest::TFixture::MpegPs, src + "/clip.mpg"));
  ASSERT_EQ(Rows(), 2);
  EXPECT_EQ(form1->Slots.IO1[1].FileFormat, "");
  EXPECT_EQ(Slot(1).FileName, out + "/clip.mp4");
}

TEST_F(ConvertTest, SourceInTheOutputFolderIsNeverOverwritten) {
  const std::string source = Copy(qvtest::TFixture::Mp4, out + "/clip.mp4");
  const auto size = fs::file_size(source);
  form1->cbExistingFile->setCurrentIndex(1);
  AddOne(source);
  ASSERT_EQ(Rows(), 1) << Log();
  EXPECT_EQ(Slot(0).FileName, out + "/clip(New_1).mp4");
  EXPECT_EQ(fs::file_size(source), size);

  // At start too: the row's name would now be its own source.
  CopyStreams();
  form1->Slots.OO1[0].FileName = out + "/clip.mp4";
  form1->btnStartClick();
  ASSERT_TRUE(WaitFor([&] { return BatchEnded(); })) << Log();
  EXPECT_EQ(fs::file_size(source), size);
  EXPECT_TRUE(fs::exists(out + "/clip(New_1).mp4"));
  EXPECT_GT(fs::file_size(out + "/clip(New_1).mp4"), 0u);
}

TEST_F(ConvertTest, UnreadableOneFileIsReportedAndAddsNoRow) {
  const std::string text = src + "/notes.avi";
  Touch(text);
  AddOne(text);
  EXPECT_EQ(Rows(), 0);
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.Messages[0].Text, "无法识别的音频或视频文件！" + text);
  EXPECT_EQ(platform.Messages[0].Caption, "提示");
  EXPECT_NE(Log().find("***文件打开失败 "), std::string::npos);

  // A cancelled chooser adds nothing and says nothing.
  platform.FileAnswers.push_back(Copy(qvtest::TFixture::Mp4, src + "/a.mp4"));
  CancelChooser();
  form1->Button6Click();
  EXPECT_EQ(Rows(), 0);
  EXPECT_EQ(platform.Messages.size(), 1u);
}

TEST_F(ConvertTest, SeveralFilesAreAddedFromTheLastChosen) {
  const std::string a = Copy(qvtest::TFixture::Avi, src + "/a.rmvb");
  const std::string b = Copy(qvtest::TFixture::MpegTs, src + "/b.ts");
  platform.FilesAnswers.push_back({a, b});
  AnswerChooser(kMp4Mpeg4);
  form1->Button22Click();
  ASSERT_EQ(Rows(), 2) << Log();
  EXPECT_EQ(Cell(0, TAdvListView::colSource), b);
  EXPECT_EQ(Cell(1, TAdvListView::colSource), a);
  EXPECT_EQ(Cell(1, TAdvListView::colNumber), "2");
  EXPECT_EQ(Slot(0).FileName, out + "/b.mp4");
  EXPECT_EQ(Slot(1).FileName, out + "/a.mp4");
  EXPECT_EQ(form1->AdvListView1->SelectedRow(), 1);
}

TEST_F(ConvertTest, FolderAddSkipsUnreadableFilesSilently) {
  fs::create_directories(src + "/mixed");
  Touch(src + "/mixed/x.txt");
  Copy(qvtest::TFixture::Avi, src + "/mixed/y.avi");
  platform.FolderAnswers.push_back(src + "/mixed");
  AnswerChooser(kMp4Mpeg4);
  form1->Button25Click();
  ASSERT_EQ(Rows(), 1) << Log();
  EXPECT_EQ(Cell(0, TAdvListView::colSource), src + "/mixed/y.avi");
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_NE(Log().find("***文件打开失败 "), std::string::npos);

  // Only text files: a message, although the list already has a row.
  fs::create_directories(src + "/texts");
  Touch(src + "/texts/a.txt");
  Touch(src + "/texts/b.txt");
  platform.FolderAnswers.push_back(src + "/texts");
  AnswerChooser(kMp4Mpeg4);
  form1->Button25Click();
  EXPECT_EQ(Rows(), 1);
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.Messages[0].Text, "在该目录没有发现可以用的视频或音频文件！");
  EXPECT_EQ(platform.ChooserTitles.back(), "选择目录");
}

TEST_F(ConvertTest, PresetCodecRulesReachTheSlots) {
  const std::string clip = Copy(qvtest::TFixture::Mp4, src + "/clip.mp4");
  AddOne(clip, kAviXvid);
  AddOne(clip, kMkvXvid);
  AddOne(clip, kMp4X264);
  AddOne(clip, kMovDefault);
  ASSERT_EQ(Rows(), 4) << Log();
  EXPECT_EQ(Slot(0).VideoCodec, "mpeg4");
  EXPECT_EQ(Slot(0).VideoTag, "XVID");
  EXPECT_EQ(Slot(1).VideoTag, "");
  EXPECT_EQ(Slot(2).VideoCodec, "libx264");
  EXPECT_EQ(Slot(2).VideoPreset, "libx264-default");
  EXPECT_EQ(Slot(2).TimeStart, 0);
  EXPECT_EQ(Slot(3).VideoCodec, "");
  EXPECT_EQ(Slot(3).VideoPreset, "libx264-default");  // libx264 refuses the plain defaults
}

TEST_F(ConvertTest, BatchConvertsEveryRowAndOpensTheFolder) {
  for (const char *name : {"a", "b", "c"})
    AddOne(Copy(qvtest::TFixture::Mp4, src + "/" + name + ".mp4"));
  ASSERT_EQ(Rows(), 3) << Log();
  CopyStreams();
  form1->AdvListView1->clearSelection();
  // The folder changed after adding: the batch writes into the new one.
  const std::string out2 = dir / "out2";
  SetOutputFolder(out2);
  form1->btnStartClick();
  EXPECT_FALSE(form1->ToolButton3->isEnabled());
  EXPECT_TRUE(form1->btnPause->isEnabled());
  EXPECT_FALSE(form1->ToolButtonAdd->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return BatchEnded(); })) << Log();
  ASSERT_TRUE(WaitFor([&] { return State(2) == "完成"; }, 3000));
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(State(r), "完成") << r;
    EXPECT_EQ(form1->AdvListView1->Progress(r), 100) << r;
    EXPECT_NE(Cell(r, TAdvListView::colSize), "0.00MB") << r;
    EXPECT_EQ(Cell(r, TAdvListView::colTime), "00:00:02") << r;
  }
  for (const char *name : {"a", "b", "c"})
    EXPECT_GT(fs::file_size(out2 + "/" + name + ".mp4"), 0u) << name;
  EXPECT_FALSE(fs::exists(out + "/a.mp4"));
  EXPECT_EQ(platform.Opened, std::vector<std::string>{out2});
  EXPECT_EQ(form1->FFmpegQueue1.TasksCount(), 0);
  EXPECT_TRUE(form1->ToolButtonAdd->isEnabled());
  EXPECT_FALSE(form1->btnStop->isEnabled());

  // Started again with "(New_" names decided against what is on disk now.
  fs::remove(out2 + "/a.mp4");
  form1->Slots.OO1[0].FileName = out2 + "/a(New_1).mp4";
  form1->btnStartClick();
  ASSERT_TRUE(WaitFor([&] { return BatchEnded(); })) << Log();
  EXPECT_TRUE(fs::exists(out2 + "/a.mp4"));
  EXPECT_FALSE(fs::exists(out2 + "/a(New_1).mp4"));
  EXPECT_TRUE(fs::exists(out2 + "/b(New_1).mp4"));  // b.mp4 is only replaced on request
}

TEST_F(ConvertTest, StopDuringAPauseAsksFirstThenEndsTheBatch) {
  qvtest::TClipParams params;
  params.DurationSec = 4;
  const std::string longClip = qvtest::MakeClip(params);
  AddOne(Copy(qvtest::TFixture::Mp4, src + "/short.mp4"));
  AddOne(longClip);
  ASSERT_EQ(Rows(), 2) << Log();
  CopyStreams(true);
  form1->cbCompletionAction->setCurrentIndex(1);  // "关闭计算机"
  form1->btnStartClick();
  ASSERT_TRUE(WaitFor([&] { return State(1) == "转换中..."; })) << Log();
  form1->btnPauseClick();
  EXPECT_EQ(State(1), "暂停");
  EXPECT_TRUE(form1->ToolButton3->isEnabled());
  EXPECT_FALSE(form1->btnPause->isEnabled());

  platform.MessageAnswers.push_back(TMsgResult::Cancel);
  form1->btnStopClick();
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.Messages[0].Text, "您确实要终止目前的转换工作吗？");
  EXPECT_EQ(platform.Messages[0].Caption, "提示信息");
  EXPECT_EQ(platform.Messages[0].Buttons, TMsgButtons::OkCancel);
  EXPECT_TRUE(form1->FFmpegQueue1.Working());
  EXPECT_EQ(form1->Form_pause, "YES");

  platform.MessageAnswers.push_back(TMsgResult::Ok);
  form1->btnStopClick();
  ASSERT_TRUE(WaitFor([&] { return BatchEnded(); })) << Log();
  EXPECT_EQ(State(1), "停止");
  EXPECT_EQ(form1->Form_stop, "YES");
  EXPECT_EQ(platform.PowerOffRequests, 1);
}

TEST_F(ConvertTest, PauseThenStartResumes) {
  qvtest::TClipParams params;
  params.DurationSec = 4;
  AddOne(qvtest::MakeClip(params));
  CopyStreams(true);
  form1->cbCompletionAction->setCurrentIndex(0);
  form1->btnStartClick();
  ASSERT_TRUE(WaitFor([&] { return State(0) == "转换中..."; })) << Log();
  form1->btnPauseClick();
  EXPECT_EQ(State(0), "暂停");
  form1->btnStartClick();
  EXPECT_EQ(form1->Form_pause, "NO");
  EXPECT_TRUE(form1->btnPause->isEnabled());
  EXPECT_FALSE(form1->ToolButton3->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return BatchEnded(); })) << Log();
  ASSERT_TRUE(WaitFor([&] { return State(0) == "完成"; }, 3000));
  EXPECT_TRUE(platform.Opened.empty());
}

TEST_F(ConvertTest, SourceOfUnknownDurationShowsNAThenEnds) {
  qvtest::TClipParams params;  // a raw elementary stream: no duration anywhere
  params.Container = "m4v";
  params.Audio.clear();
  AddOne(qvtest::MakeClip(params));
  ASSERT_EQ(Rows(), 1) << Log();
  form1->Slots.IO1[0].ExtOptions = "re";  // read at its own pace: the run lasts 2 s
  form1->btnStartClick();
  ASSERT_TRUE(WaitFor([&] { return State(0) == "转换中..."; })) << Log();
  EXPECT_EQ(form1->AdvListView1->ProgressText(0), QStringLiteral("N/A"));
  EXPECT_EQ(Cell(0, TAdvListView::colTime).substr(0, 6), "00:00:");
  ASSERT_TRUE(WaitFor([&] { return BatchEnded(); })) << Log();
  // The finished task's delayed mark replaces "N/A" with 100.
  ASSERT_TRUE(WaitFor([&] { return form1->AdvListView1->Progress(0) == 100; }, 3000));
  EXPECT_EQ(State(0), "完成");
  EXPECT_GT(fs::file_size(Slot(0).FileName), 0u);
}

TEST_F(ConvertTest, RowWhoseSourceVanishedIsMarkedAndOthersKeepTheirRows) {
  const std::string gone = Copy(qvtest::TFixture::Mp4, src + "/gone.mp4");
  AddOne(gone);
  AddOne(Copy(qvtest::TFixture::Mp4, src + "/kept.mp4"));
  ASSERT_EQ(Rows(), 2);
  CopyStreams();
  fs::remove(gone);
  form1->AdvListView1->clearSelection();
  form1->btnStartClick();
  ASSERT_TRUE(WaitFor([&] { return BatchEnded(); })) << Log();
  ASSERT_TRUE(WaitFor([&] { return State(1) == "完成"; }, 3000));
  EXPECT_EQ(State(0), "失败");
  ASSERT_EQ(platform.Messages.size(), 1u);  // why the row cannot run
  EXPECT_EQ(platform.Messages[0].Icon, TMsgIcon::Warning);
  EXPECT_NE(platform.Messages[0].Text.find("gone.mp4"), std::string::npos)
      << platform.Messages[0].Text;
  EXPECT_EQ(form1->AdvListView1->Progress(0), 0);
  EXPECT_TRUE(fs::exists(out + "/kept.mp4"));
}

}  // namespace

namespace {

TEST_F(ConvertTest, ClosingDuringABatchStopsAndWaits) {
  qvtest::TClipParams params;
  params.DurationSec = 4;
  AddOne(qvtest::MakeClip(params));
  CopyStreams(true);
  form1->btnStartClick();
  ASSERT_TRUE(WaitFor([&] { return State(0) == "转换中..."; })) << Log();
  QElapsedTimer t;
  t.start();
  form1->close();
  // Returned once the conversion had ended, well before the clip's own end.
  EXPECT_TRUE(form1->FFmpegQueue1.Terminated());
  EXPECT_LT(t.elapsed(), 3000);
  EXPECT_TRUE(platform.Opened.empty());
  EXPECT_EQ(State(0), "转换中...");  // no notification reached the closing window
}

}  // namespace

namespace {

// A thread that logs while the UI thread waits for it must not stall; its lines reach the
// log whole and in order, ahead of a line the UI thread logs afterwards.
TEST_F(ConvertTest, LinesOfAThreadTheWindowWaitsForArriveInOrder) {
  form1->mmoLog->clear();
  uint32_t worker = 0;
  std::thread t([&] {
    worker = CurrentThreadID();
    for (int i = 0; i < 200; ++i)
      GlobalLogger().Log(nullptr, llWarning, "line " + std::to_string(i));
  });
  t.join();  // no event is served meanwhile
  GlobalLogger().Log(nullptr, llError, std::string("after"));
  const QStringList lines = form1->mmoLog->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 201);
  for (int i = 0; i < 200; ++i)
    ASSERT_EQ(lines[i].toStdString(),
              "#" + std::to_string(worker) + ".4: line " + std::to_string(i));
  EXPECT_EQ(lines[200].toStdString(), "#" + std::to_string(CurrentThreadID()) + ".3: after");
}

}  // namespace
