#include <QDir>
#include <QImage>
#include <QListWidget>

#include "DialogHarness.h"
#include "PresetCatalogue.h"
#include "PresetIcons.h"

namespace {

// Saves a picture of w when QUORVEL_SCREENSHOT_DIR names a folder (for looking at the
// dialogs under Xvfb); always checks that something was drawn.
void Picture(QWidget &w, const QString &name) {
  const QImage image = w.grab().toImage();
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), w.size() * image.devicePixelRatio());
  const QString dir = qEnvironmentVariable("QUORVEL_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    EXPECT_TRUE(image.save(QDir(dir).filePath(name)));
  }
}

int OpaquePixels(const QImage &image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += qAlpha(image.pixel(x, y)) > 0;
  return n;
}

}  // namespace

// Every category has a picture of its own, and a preset's icon shows its kind of output.
TEST(PresetIcons, TellFamiliesAndOutputsApart) {
  std::vector<QImage> categories;
  for (const TPresetCategory &c : PresetCategories()) {
    const QImage image = CategoryIcon(c.Number).toImage();
    EXPECT_EQ(image.size(), QSize(22, 22));
    EXPECT_GT(OpaquePixels(image), 80) << c.BarText;
    for (const QImage &other : categories) EXPECT_NE(image, other) << c.BarText;
    categories.push_back(image);
  }
  for (int id : AllPresetIds()) {
    const QImage image = PresetIcon(id).toImage();
    EXPECT_EQ(image.size(), QSize(48, 48)) << id;
    EXPECT_GT(OpaquePixels(image), 300) << id;
  }
  // Same family, different output: the badge differs; audio-only and disc rows change shape.
  EXPECT_NE(PresetIcon(2800).toImage(), PresetIcon(2804).toImage());
  EXPECT_NE(PresetIcon(2814).toImage(), PresetIcon(2815).toImage());
  EXPECT_NE(PresetIcon(110).toImage(), PresetIcon(111).toImage());
  EXPECT_EQ(PresetIcon(710).toImage(), PresetIcon(713).toImage());
  EXPECT_TRUE(PresetIcon(99).toImage().allGray());  // no such preset: nothing drawn
}

TEST(Screens, ChooserAndOptionsDialogForPreset2803) {
  Dialogs d;
  d.Chooser.show();
  d.Pick(0, 3);
  ASSERT_EQ(d.Profile.VideoSelectType, 2803);
  QApplication::processEvents();
  Picture(d.Chooser, "chooser.png");
  d.Chooser.hide();

  d.BeginAdd("/media/v/旅行.mkv");
  d.Options.show();
  QApplication::processEvents();
  EXPECT_EQ(Current(d.Options.suiComboBox3), "800*600");
  EXPECT_EQ(Current(d.Options.suiComboBox2), "1500 kbps");
  EXPECT_EQ(Current(d.Options.suiComboBox4), "29.97");
  EXPECT_EQ(d.Profile.Video_OutPutFileName, "/home/u/Quorvel视频输出/旅行.mp4");
  Picture(d.Options, "options_2803.png");
  d.Options.hide();
}
