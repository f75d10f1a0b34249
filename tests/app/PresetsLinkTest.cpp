// The chooser and the options dialog joined to the main window as the program entry
// joins them: profile reset, output folder and messages through the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "FormatChooser.h"
#include "MainWindow.h"
#include "OptionsDialog.h"
#include "PresetsLink.h"
#include "ScriptedPlatform.h"
#include "TempDir.h"
#include "WindowWithDialogs.h"

namespace {

class PresetsLinkTest : public ::testing::Test, protected TWindowWithDialogs {
 protected:
  void SetUp() override { OpenWindow(); }
  void TearDown() override {
    form8.reset();
    form7.reset();
  }
};


}  // namespace

TEST_F(PresetsLinkTest, ClearingTheListResetsTheProfileButKeepsTheChosenPreset) {
  TConversionProfile &p = form1->Profile;
  EXPECT_EQ(p.VideoSelectType, 2000);  // the chooser opened on Android at creation
  p.Video_VideoBitrate = 816000;
  p.Video_AudioBitrate = 128000;
  p.Video_TimeStart = 0;
  p.Video_AudioVolume = "";
  p.Video_FrameSize = "640*480";
  p.AFileName = "/v/a.avi";
  form1->btnClearClick();
  EXPECT_EQ(p.Video_VideoBitrate, -1);
  EXPECT_EQ(p.Video_AudioBitrate, -1);
  EXPECT_EQ(p.Video_TimeStart, -1);
  EXPECT_EQ(p.Video_AudioVolume, "256");
  EXPECT_EQ(p.Video_FrameSize, "");
  EXPECT_EQ(p.AFileName, "/v/a.avi");
  EXPECT_EQ(p.VideoSelectType, 2000);
}

TEST_F(PresetsLinkTest, DialogsUseTheWindowsFolderAndMessages) {
  const std::string folder = form1->Edit1->text().toStdString();
  ASSERT_FALSE(folder.empty());
  form1->Profile.AFileName = "/v/clip.rmvb";

  WhenModal(form7.get(), [&] {
    // A click on empty space: the message goes through the window's platform.
    form7->Button15Click();  // PSP: five entries
    QWidget *vp = form7->suiListView4->viewport();
    const QPointF empty(480, 330);
    QMouseEvent press(QEvent::MouseButtonPress, empty, vp->mapToGlobal(empty), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, empty, vp->mapToGlobal(empty), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &press);
    QApplication::sendEvent(vp, &release);

    form7->suiListView4->setCurrentRow(1);
    WhenModal(form8.get(), [&] { form8->suiButton1->click(); });
    form7->suiButton1->click();
  });
  EXPECT_EQ(form7->exec(), QDialog::Accepted);

  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.Messages[0].Caption, "提示");
  EXPECT_EQ(platform.Messages[0].Text, "请选择一个要转换的类型，然后点击”下一步“按钮！");
  EXPECT_EQ(platform.Messages[0].Icon, TMsgIcon::Information);
  EXPECT_EQ(platform.Messages[0].Buttons, TMsgButtons::Ok);
  EXPECT_EQ(form7->NextorCancel, "1");
  EXPECT_EQ(form1->Profile.VideoSelectType, 601);
  EXPECT_EQ(form1->Profile.Video_OutPutFileName, folder + "/clip.mp4");
  EXPECT_EQ(form1->Profile.Video_VideoCodec, "libx264");
}
