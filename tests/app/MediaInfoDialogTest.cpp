#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "FFmpegLoader/FFmpegLoader.h"
#include "JobListView.h"
#include "MainWindow.h"
#include "MediaFixtures.h"
#include "MediaInfoDialog.h"
#include "ScriptedPlatform.h"
#include "TempDir.h"

namespace {

using qvtest::TFixture;
using TShown = std::map<std::string, std::string>;  // label object name -> text

class MediaInfoDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FFLoader().Load(kQueueLibraries)) << FFLoader().LastErrMsg();
    paths.ProgramDir = dir / "bin";
    paths.HomeDir = dir / "home";
    paths.ConfigHome = dir / "home/.config";
    std::filesystem::create_directories(paths.ProgramDir);
    std::filesystem::create_directories(paths.HomeDir);
    form = std::make_unique<TForm1>(platform, paths);
    form9 = std::make_unique<TForm9>(form->InfoFields, form.get());
    form->SetInfoDialog(form9.get());
  }
  void TearDown() override {
    form9.reset();
    form.reset();
  }

  int AddRow(const std::string &ASource) {
    TInputOptions in;
    in.FileName = ASource;
    TOutputOptions out;
    out.FileName = dir / "out.mp4";
    return form->AddListRow(ASource, in, out);
  }

  // Runs ATrigger; when it shows the dialog, reads every value label and presses "确定".
  // Empty when no dialog was shown.
  TShown Show(const std::function<void()> &ATrigger) {
    TShown shown;
    QTimer::singleShot(0, form9.get(), [&] {
      if (!form9->isVisible() || QApplication::activeModalWidget() != form9.get()) return;
      for (QLabel *l : form9->findChildren<QLabel *>())
        if (l->objectName().startsWith("lbl"))
          shown[l->objectName().toStdString()] = l->text().toStdString();
      form9->suiButton1->click();
    });
    ATrigger();
    QApplication::processEvents();
    EXPECT_FALSE(form9->isVisible());
    return shown;
  }
  TShown InfoButton() {
    return Show([this] { form->btnInfo->click(); });
  }

  TTempDir dir;
  TScriptedPlatform platform;
  TAppPaths paths;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm9> form9;
};

TEST_F(MediaInfoDialogTest, AudioOnlySourceShowsNoVideo) {
  const std::string mp3 = qvtest::Fixture(TFixture::AudioOnly);
  ASSERT_GE(AddRow(mp3), 0);
  // Nothing selected: nothing happens.
  form->AdvListView1->clearSelection();
  EXPECT_TRUE(InfoButton().empty());

  form->AdvListView1->SelectRow(0);
  TShown s = InfoButton();
  ASSERT_FALSE(s.empty());
  const std::string name = std::filesystem::path(mp3).filename().string();
  EXPECT_EQ(s["lblFileName"], name + std::string(22, ' '));
  EXPECT_EQ(s["lblExtension"], ".mp3");
  EXPECT_EQ(s["lblFormatName"], "mp3");
  EXPECT_EQ(s["lblFileTime"], " 00:00:02");
  EXPECT_EQ(s["lblVideoStream"], "无");
  EXPECT_EQ(s["lblResolution"], "-1*-1");
  EXPECT_EQ(s["lblFrameRate"], "1.00");
  EXPECT_EQ(s["lblVideoBitRate"], "0  kbps");
  EXPECT_EQ(s["lblSampleRate"], "44100");
  EXPECT_EQ(s["lblChannels"], "立体声  ");
  EXPECT_EQ(s["lblAudioStream"].rfind("Audio: mp", 0), 0u) << s["lblAudioStream"];
  EXPECT_EQ(form->InfoFields.T_FileName, mp3);
}

TEST_F(MediaInfoDialogTest, DoubleClickShowsEachRowAndKeepsTheChannelWordOfTheLastStereoSource) {
  ASSERT_GE(AddRow(qvtest::Fixture(TFixture::AudioFirst)), 0);
  ASSERT_GE(AddRow(qvtest::Fixture(TFixture::SixChannels)), 0);
  const auto doubleClick = [this](int ARow) {
    form->AdvListView1->SelectRow(ARow);
    const QModelIndex cell = form->AdvListView1->model()->index(ARow, TAdvListView::colSource);
    return Show([&] { emit form->AdvListView1->doubleClicked(cell); });
  };

  // The placeholder of the channel label before any showing.
  EXPECT_EQ(form9->lblChannels->text(), QStringLiteral("11111111111111"));
  TShown first = doubleClick(0);
  EXPECT_EQ(first["lblVideoStream"].rfind("Video: mpeg4", 0), 0u) << first["lblVideoStream"];
  EXPECT_EQ(first["lblVideoStream"].find("StartTime"), std::string::npos);
  EXPECT_EQ(first["lblAudioStream"].rfind("Audio: aac", 0), 0u);
  EXPECT_EQ(first["lblResolution"], "160*120");
  EXPECT_EQ(first["lblFrameRate"], "25.00");
  EXPECT_EQ(first["lblExtension"], ".mkv");
  EXPECT_EQ(first["lblChannels"], "立体声  ");

  TShown second = doubleClick(1);
  EXPECT_EQ(form->InfoFields.T_Audio_Channels, "6");
  EXPECT_EQ(second["lblChannels"], "立体声  ");  // six channels have no word of their own
  EXPECT_EQ(second["lblSampleRate"], "48000");
}

TEST_F(MediaInfoDialogTest, SourceThatHasDisappearedShowsNothing) {
  const std::string copy = dir / "gone.mp3";
  std::filesystem::copy_file(qvtest::Fixture(TFixture::AudioOnly), copy);
  ASSERT_GE(AddRow(copy), 0);
  form->AdvListView1->SelectRow(0);
  std::filesystem::remove(copy);
  EXPECT_TRUE(InfoButton().empty());
  EXPECT_TRUE(platform.Messages.empty());
}

}  // namespace
