#include <QGroupBox>
#include <QPushButton>

#include "DialogHarness.h"

namespace {

std::vector<QComboBox *> VideoCombos(const TForm8 &o) {
  return {o.suiComboBox3, o.suiComboBox2, o.suiComboBox4, o.suiComboBox8};
}

}  // namespace

TEST(OptionsDialog, Preset100ShowsItsRowAndOkConfirmsBothDialogs) {
  Dialogs d;
  EXPECT_EQ(d.Options.windowTitle(), "选项设置");
  EXPECT_EQ(d.Options.size(), QSize(576, 316));
  EXPECT_FALSE(d.Options.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(d.Options.suiComboBox1->isVisibleTo(&d.Options));
  EXPECT_EQ(d.Options.suiButton1->text(), "确定");
  EXPECT_EQ(d.Options.suiButton2->text(), "取消");

  d.BeginAdd();
  const int result = d.RunChooser([&] {
    d.Chooser.Button10Click();
    d.NextThen([&] {
      EXPECT_EQ(d.Options.SourceFileName, "/media/v/clip.rmvb");
      EXPECT_EQ(Current(d.Options.suiComboBox3), "保持原分辨率");
      EXPECT_EQ(Current(d.Options.suiComboBox2), "816 kbps");
      EXPECT_EQ(Current(d.Options.suiComboBox4), "25.00");
      EXPECT_EQ(Current(d.Options.suiComboBox8), "保持原视频模式");
      EXPECT_EQ(Current(d.Options.suiComboBox6), "128 kbps");
      EXPECT_EQ(Current(d.Options.suiComboBox7), "44100");
      EXPECT_EQ(Current(d.Options.suiComboBox10), "立体声");
      EXPECT_EQ(d.Options.suiComboBox3->count(), 27);
      EXPECT_EQ(d.Profile.Video_FileExt, ".avi");
      EXPECT_EQ(d.Profile.Video_VideoCodec, "mpeg4");
      EXPECT_EQ(d.Profile.Video_VideoTag, "XVID");
      EXPECT_EQ(d.Profile.Video_AudioCodec, "libmp3lame");
      d.Options.suiButton1->click();
    });
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_FALSE(d.Chooser.isVisible());
  EXPECT_FALSE(d.Options.isVisible());
  EXPECT_EQ(d.Chooser.NextorCancel, "1");
  const TConversionProfile &p = d.Profile;
  EXPECT_EQ(p.Video_OutPutFileName, "/home/u/Quorvel视频输出/clip.avi");
  EXPECT_EQ(p.Video_AudioChannels, "2");
  EXPECT_EQ(p.Video_AudioSampleRate, "44100");
  EXPECT_EQ(p.Video_AudioBitrate, 128000);
  EXPECT_EQ(p.Video_FrameSize, "");
  EXPECT_EQ(p.Video_FrameRate, "25.00");
  EXPECT_EQ(p.Video_FrameAspectRatio, "");
  EXPECT_EQ(p.Video_VideoBitrate, 816000);
  EXPECT_EQ(p.Video_TimeStart, 0);
  EXPECT_EQ(p.StartTime_TimeLength, "NoSelect");
}

TEST(OptionsDialog, AudioOnlyPresetDisablesVideoAndALaterShowingEnablesIt) {
  Dialogs d;
  d.BeginAdd("/media/v/song.flac");
  d.RunChooser([&] {
    d.Chooser.Button11Click();  // 经典音频, first entry: 200
    d.NextThen([&] {
      for (QComboBox *c : VideoCombos(d.Options)) {
        EXPECT_FALSE(c->isEnabled());
        EXPECT_EQ(c->count(), 1);
      }
      EXPECT_EQ(Current(d.Options.suiComboBox3), "该格式无视频");
      EXPECT_EQ(Current(d.Options.suiComboBox2), "无视频");
      EXPECT_TRUE(d.Options.suiComboBox6->isEnabled());
      EXPECT_EQ(Current(d.Options.suiComboBox6), "128 kbps");
      EXPECT_EQ(Current(d.Options.suiComboBox7), "44100");
      EXPECT_EQ(Current(d.Options.suiComboBox10), "立体声");
      EXPECT_TRUE(d.Profile.Video_DisableVideo);
      d.Options.suiButton2->click();  // back in the chooser
    });
    EXPECT_EQ(d.Chooser.NextorCancel, "2");
    d.Chooser.Button10Click();  // 100
    d.NextThen([&] {
      for (QComboBox *c : VideoCombos(d.Options)) EXPECT_TRUE(c->isEnabled());
      EXPECT_FALSE(d.Profile.Video_DisableVideo);
      EXPECT_EQ(d.Options.suiComboBox3->count(), 27);
      d.Options.suiButton2->click();
    });
    d.Chooser.suiButton2->click();
  });
  // Cancel in both dialogs: nothing confirmed, the row's fields stay.
  EXPECT_EQ(d.Chooser.NextorCancel, "2");
  EXPECT_EQ(d.Profile.Video_VideoCodec, "mpeg4");
  EXPECT_EQ(d.Profile.Video_TimeStart, -1);
  EXPECT_EQ(d.Profile.Video_VideoBitrate, -1);
}

// Choices the user makes in the lists, and what the confirmation makes of them.
TEST(OptionsDialog, ChosenItemsBecomeProfileValues) {
  struct Case {
    int barRow, row, id;
    std::vector<std::pair<QComboBox * TForm8::*, QString>> choose;
    std::function<void(const TConversionProfile &)> check;
  };
  const Case cases[] = {
      {12,
       12,
       212,
       {{&TForm8::suiComboBox6, "12.2 kbps"}},
       [](const TConversionProfile &p) {
         EXPECT_EQ(p.Video_AudioBitrate, 12200);
         EXPECT_EQ(p.Video_AudioChannels, "1");
         EXPECT_EQ(p.Video_AudioSampleRate, "8000");
         EXPECT_EQ(p.Video_VideoBitrate, -1000);
         EXPECT_EQ(p.Video_FrameSize, "");
         EXPECT_EQ(p.Video_OutPutFileName, "/home/u/Quorvel视频输出/clip.amr");
       }},
      {1,
       1,
       2001,
       {},
       [](const TConversionProfile &p) {
         EXPECT_EQ(p.Video_FrameAspectRatio, "16:9");
         EXPECT_EQ(p.Video_FrameSize, "640*480");
       }},
      {1,
       1,
       2001,
       {{&TForm8::suiComboBox8, "宽屏视频47:20模式"}},
       [](const TConversionProfile &p) { EXPECT_EQ(p.Video_FrameAspectRatio, "47:20"); }},
      {11,
       11,
       111,
       {{&TForm8::suiComboBox3, "640*480"}, {&TForm8::suiComboBox2, "2000 kbps"}},
       [](const TConversionProfile &p) {
         EXPECT_EQ(p.Video_FrameSize, "");
         EXPECT_EQ(p.Video_VideoBitrate, -1000);
         EXPECT_EQ(p.Video_AudioBitrate, -1000);
         EXPECT_EQ(p.Video_TargetType, "dvd");
         EXPECT_EQ(p.Video_NormType, "PAL");
         EXPECT_EQ(p.Video_OutPutFileName, "/home/u/Quorvel视频输出/clip_PAL.mpg");
       }},
      {11,
       14,
       114,
       {},
       [](const TConversionProfile &p) {
         EXPECT_EQ(p.Video_VideoCodec, "rv20");
         EXPECT_EQ(p.Video_FileExt, "");
         EXPECT_EQ(p.Video_AudioCodec, "");
         EXPECT_EQ(p.Video_FrameSize, "320*240");
         EXPECT_EQ(p.Video_OutPutFileName, "/home/u/Quorvel视频输出/clip.rm");
       }},
  };
  Dialogs d;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    d.BeginAdd();
    d.RunChooser([&] {
      d.Pick(c.barRow, c.row);
      ASSERT_EQ(d.Profile.VideoSelectType, c.id);
      d.NextThen([&] {
        for (const auto &[combo, text] : c.choose) {
          QComboBox *box = d.Options.*combo;
          const int index = box->findText(text);
          EXPECT_GE(index, 0) << text.toStdString();
          box->setCurrentIndex(index);
        }
        if (c.id == 111) {
          EXPECT_EQ(ItemsOf(d.Options.suiComboBox1), QStringList{"PAL_DVD视频压缩器"});
        }
        d.Options.suiButton1->click();
      });
    });
    EXPECT_EQ(d.Chooser.NextorCancel, "1");
    c.check(d.Profile);
  }
}

TEST(OptionsDialog, OpensCentredOnTheMainWindow) {
  QWidget mainWindow;
  mainWindow.setGeometry(100, 80, 900, 640);
  mainWindow.show();
  FakeHost host;
  TConversionProfile profile;
  TForm7 chooser(profile, host, &mainWindow);
  TForm8 options(profile, host, &chooser, &mainWindow);
  QPoint centre;
  Dialogs::WhenModal(&options, [&] {
    centre = options.geometry().center();
    options.reject();
  });
  options.exec();
  EXPECT_LE((centre - mainWindow.frameGeometry().center()).manhattanLength(), 40);
}
