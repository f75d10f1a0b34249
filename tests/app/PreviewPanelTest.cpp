#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "FFmpegLoader/FFmpegLoader.h"
#include "JobListView.h"
#include "MainWindow.h"
#include "MediaFixtures.h"
#include "ScriptedPlatform.h"
#include "Settings.h"
#include "TempDir.h"
#include "VideoSurfaceWidget.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Width and height as the FFmpeg probe tool reads them, "W,H" ("" when unreadable).
std::string ProbeSize(const std::string &AFile) {
  std::string cmd =
      "ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
      "-of csv=p=0 '" +
      AFile + "' 2>/dev/null";
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return "";
  char buf[64] = {0};
  size_t n = std::fread(buf, 1, sizeof buf - 1, p);
  pclose(p);
  std::string s(buf, n);
  while (!s.empty() && (s.back() == '\n' || s.back() == ',')) s.pop_back();
  return s;
}

// How long a wait for something that must happen may take: generous, because other
// builds and tests share the machine; a passing test never waits this long.
constexpr std::chrono::milliseconds kPatience = 20000ms;

template <typename P>
bool WaitFor(P APredicate, std::chrono::milliseconds ATimeout) {
  auto end = std::chrono::steady_clock::now() + ATimeout;
  while (!APredicate()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

class PreviewPanelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ASSERT_TRUE(FFLoader().Load(kPlayerLibraries)) << FFLoader().LastErrMsg();
    qvtest::TClipParams params;  // mpeg4 160 × 120, 2 s, red top-left quadrant
    params.Container = "avi";
    params.Audio = {qvtest::Track("pcm_s16le", 22050, 1)};
    Clip2s = qvtest::MakeClip(params);
    params.DurationSec = 1.0;
    Clip1s = qvtest::MakeClip(params);
    ff::util.av_log_set_level(AV_LOG_QUIET);
  }

  TTempDir dir;
  TScriptedPlatform platform;
  TAppPaths paths = MakePaths();
  std::unique_ptr<TForm1> form;

  TAppPaths MakePaths() {
    TAppPaths p;
    p.ProgramDir = dir / "bin";
    p.HomeDir = dir / "home";
    p.ConfigHome = dir / "home/.config";
    fs::create_directories(p.ProgramDir);
    fs::create_directories(p.HomeDir);
    return p;
  }

  // A window with one row for ASource (copied under the name "clip.avi"), selected.
  void OpenWithRow(const std::string &ASource) {
    form = std::make_unique<TForm1>(platform, paths);
    form->show();
    std::string source = dir / "clip.avi";
    fs::copy_file(ASource, source, fs::copy_options::overwrite_existing);
    TInputOptions in;
    in.FileName = source;
    TOutputOptions out;
    out.FileName = dir / "out.mp4";
    ASSERT_GE(form->AddListRow(source, in, out), 0);
    form->AdvListView1->SelectRow(0);
    ASSERT_TRUE(WaitFor([&] { return form->FFPlayer.PlayState() == psPause; }, kPatience)) << Log();
  }
  std::string Log() const { return form->mmoLog->toPlainText().toStdString(); }
  void SetIni(const char *AKey, const std::string &AValue) {
    TIniFile ini(form->SettingsFile());
    ini.WriteString("SnapShot", AKey, AValue);
  }
  std::string Ini(const char *AKey) {
    return TIniFile(form->SettingsFile()).ReadString("SnapShot", AKey, "Error");
  }

  static inline std::string Clip2s, Clip1s;
};

}  // namespace

TEST_F(PreviewPanelTest, SelectingARowOpensItPausedAtTheStartAndPlayMovesTheBar) {
  OpenWithRow(Clip2s);
  EXPECT_TRUE(form->FFPlayer.Paused());
  EXPECT_EQ(form->FDuration / 100000, 20);
  EXPECT_EQ(form->bsSkinSlider1->maximum(), form->bsSkinSlider1->width());
  EXPECT_EQ(form->bsSkinSlider1->value(), 0);
  ASSERT_TRUE(WaitFor([&] { return !form->VideoSurface->Picture().isNull(); }, kPatience));
  QImage shown = form->VideoSurface->Picture();
  // The first picture, scaled into the surface: red in the top-left quadrant.
  QColor c = shown.pixelColor(shown.width() / 4, shown.height() / 3);
  EXPECT_GT(c.red(), 200);
  EXPECT_LT(c.green(), 60);
  EXPECT_NE(Log().find("duration: 2.0"), std::string::npos) << Log();
  // The source's information text comes before it.
  EXPECT_LT(Log().find("Format Name: avi"), Log().find("duration: 2.0")) << Log();

  form->bsSkinButton13->click();
  EXPECT_TRUE(WaitFor([&] { return form->bsSkinSlider1->value() > 40; }, kPatience));
  EXPECT_FALSE(form->FFPlayer.Paused());
  form->bsSkinButton14->click();
  EXPECT_TRUE(form->FFPlayer.Paused());
  EXPECT_NE(Log().find("Resume"), std::string::npos);
}

TEST_F(PreviewPanelTest, ReleasingTheBarInTheMiddleSeeksToHalfTheDurationAndPlays) {
  OpenWithRow(Clip2s);
  form->bsSkinSlider1MouseDown();
  EXPECT_EQ(form->bsSkinSlider1_down_UP, "Down");
  form->bsSkinSlider1->setValue(form->bsSkinSlider1->maximum() / 2);
  form->bsSkinSlider1MouseUp();
  EXPECT_EQ(form->bsSkinSlider1_down_UP, "UP");
  EXPECT_FALSE(form->FFPlayer.Paused());
  ASSERT_TRUE(WaitFor([&] { return form->FFPlayer.CurrentPTS() >= 1000000; }, kPatience));
  EXPECT_LT(form->FFPlayer.CurrentPTS(), 1700000);
  EXPECT_NEAR(form->bsSkinSlider1->value(), form->bsSkinSlider1->maximum() / 2, 12);
}

TEST_F(PreviewPanelTest, ASourcePlayedToItsEndWaitsAtItsBeginning) {
  OpenWithRow(Clip1s);
  form->bsSkinButton13->click();
  ASSERT_TRUE(WaitFor([&] { return Log().find("End") != std::string::npos; }, kPatience)) << Log();
  EXPECT_TRUE(WaitFor(
      [&] {
        return form->FFPlayer.Paused() && form->FFPlayer.CurrentPTS() < 100000 &&
               form->bsSkinSlider1->value() <= 30;
      },
      kPatience))
      << form->FFPlayer.CurrentPTS() << " " << form->bsSkinSlider1->value();
}

TEST_F(PreviewPanelTest, StopReopensPausedAndMuteSwapsTheButtons) {
  OpenWithRow(Clip2s);
  form->bsSkinButton13->click();
  ASSERT_TRUE(WaitFor([&] { return form->FFPlayer.CurrentPTS() > 300000; }, kPatience));
  form->bsSkinButton15->click();
  EXPECT_TRUE(form->FFPlayer.Paused());
  EXPECT_TRUE(WaitFor([&] { return form->FFPlayer.CurrentPTS() == 0; }, kPatience));

  form->bsSkinButton16->click();
  EXPECT_TRUE(form->FFPlayer.Mute());
  EXPECT_TRUE(form->bsSkinButton16->isHidden());
  EXPECT_FALSE(form->bsSkinButton20->isHidden());
  form->bsSkinButton20->click();
  EXPECT_FALSE(form->FFPlayer.Mute());
  EXPECT_FALSE(form->bsSkinButton16->isHidden());

  // Clearing the list ends the preview.
  form->btnClearClick();
  EXPECT_EQ(form->FFPlayer.PlayState(), psStop);
}

TEST_F(PreviewPanelTest, TwoJpegSnapshotsTakeTheNextFreeNumbersAndSoundTheShutter) {
  OpenWithRow(Clip2s);
  std::string snaps = dir / "snaps";
  fs::create_directories(snaps);
  SetIni("Dir", snaps);
  SetIni("Picture", "JPG");
  fs::create_directories(paths.ProgramDir + "/sounds");
  WriteFileBytes(paths.ProgramDir + "/sounds/cam.wav", "RIFF");
  form->bsSkinButton22Click();
  EXPECT_EQ(form->LastSnapshotFile(), snaps + "/clip_1.jpg");
  form->bsSkinButton22Click();
  EXPECT_EQ(form->LastSnapshotFile(), snaps + "/clip_2.jpg");
  EXPECT_TRUE(form->JPEG1->isChecked());
  EXPECT_EQ(ProbeSize(snaps + "/clip_2.jpg"), "160,120");
  EXPECT_EQ(platform.Sounds.size(), 2u);
}

TEST_F(PreviewPanelTest, EveryPictureTypeDecodesAtTheFrameSizeAndUnknownTypesBecomeBitmaps) {
  OpenWithRow(Clip2s);
  std::string snaps = dir / "snaps";
  SetIni("Dir", snaps);  // created on demand
  struct Case {
    const char *Type, *Extension, *Stored;
  } cases[] = {{"BMP", ".bmp", "BMP"},
               {"GIF", ".gif", "GIF"},
               {"PNG", ".png", "PNG"},
               {"TIF", ".bmp", "BMP"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.Type);
    SetIni("Picture", c.Type);
    form->bsSkinButton22Click();
    const std::string file = form->LastSnapshotFile();
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(fs::path(file).extension().string(), c.Extension);
    EXPECT_EQ(ProbeSize(file), "160,120");
    EXPECT_EQ(Ini("Picture"), c.Stored);
  }
  EXPECT_TRUE(form->BMP1->isChecked());
  EXPECT_TRUE(platform.Sounds.empty());  // no shutter sound file: saved silently
}

TEST_F(PreviewPanelTest, SnapshotWithNothingOpenWritesNoFileButSettlesTheSettings) {
  form = std::make_unique<TForm1>(platform, paths);
  SetIni("Picture", "TIF");
  SetIni("Dir", "");
  form->bsSkinButton22Click();
  EXPECT_TRUE(form->LastSnapshotFile().empty());
  EXPECT_EQ(Ini("Picture"), "BMP");
  const std::string folder = Ini("Dir");
  EXPECT_EQ(folder, paths.DefaultSnapshotFolder());
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_TRUE(platform.Sounds.empty());
}

TEST(VideoSurfaceTest, TextSubtitlesAreWrittenOverThePictureUntilCleared) {
  TVideoSurfaceWidget surface;
  surface.resize(200, 100);
  surface.show();
  TPlayerBitmap grey;
  grey.Resize(200, 100);
  std::fill(grey.Pixels.begin(), grey.Pixels.end(), 128);
  surface.Present(grey);
  auto whiteInLowerHalf = [&] {
    QApplication::processEvents();
    QImage shot = surface.grab().toImage();
    int n = 0;
    for (int y = shot.height() / 2; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x) n += shot.pixelColor(x, y).lightness() > 230;
    return n;
  };
  EXPECT_EQ(whiteInLowerHalf(), 0);
  surface.SubtitleText("Hello 世界");
  EXPECT_EQ(surface.Subtitle(), QString::fromUtf8("Hello 世界"));
  EXPECT_GT(whiteInLowerHalf(), 20);
  surface.SubtitleText("");
  EXPECT_EQ(whiteInLowerHalf(), 0);
}
