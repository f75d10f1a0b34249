#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QToolBox>

#include "DialogHarness.h"

namespace {

QString SelectedName(const TForm7 &f) {
  const auto selected = f.suiListView4->selectedItems();
  return selected.isEmpty() ? QString() : selected.first()->text();
}

// A press and release at pos inside the preset list, as the mouse would send them.
void ClickList(TForm7 &f, QPoint pos, bool dbl = false) {
  QWidget *vp = f.suiListView4->viewport();
  const QPointF local(pos), global(vp->mapToGlobal(pos));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(vp, &press);
  QApplication::sendEvent(vp, &release);
  if (dbl) {
    QMouseEvent twice(QEvent::MouseButtonDblClick, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(vp, &twice);
  }
  QApplication::processEvents();
}

const QPoint kEmptySpot(480, 330);  // below and beside the few entries of a small category

}  // namespace

TEST(FormatChooser, FirstShowingOpensOnAndroidWithItsFirstPreset) {
  Dialogs d;
  EXPECT_EQ(d.Chooser.windowTitle(), "选择转换格式");
  EXPECT_EQ(d.Chooser.size(), QSize(731, 490));
  EXPECT_FALSE(d.Chooser.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(d.Chooser.windowFlags() & Qt::WindowMinMaxButtonsHint);
  EXPECT_EQ(d.Chooser.CategoryBox->itemText(0), "视频类别");
  EXPECT_EQ(d.Chooser.InstructionLabel->text(), "请选择您要转换的影片格式：");

  d.Chooser.NextorCancel = "1";  // left over from an earlier add
  const int result = d.RunChooser([&] {
    EXPECT_EQ(d.Chooser.NextorCancel, "2");
    EXPECT_EQ(d.Chooser.Number_NEW_3GP, 19);
    EXPECT_EQ(SelectedName(d.Chooser), "Android手机AVI视频(*.avi)");
    EXPECT_EQ(d.Profile.VideoSelectType, 2000);
    EXPECT_EQ(d.Chooser.CategoryTotalLabel->text(), "14");
    EXPECT_EQ(d.Chooser.SummaryLabel->text(), "Android--类别中共计：");
    EXPECT_EQ(d.Chooser.PresetCountLabel->text(), "12");
    d.Chooser.suiButton2->click();
  });
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(d.Chooser.NextorCancel, "2");
  EXPECT_EQ(d.Host.FocusCalls, 1);
}

// Every bar entry shows its own category with the first preset selected.
TEST(FormatChooser, BarEntriesShowTheirCategories) {
  struct Case {
    int barRow, number, count, lastId;
    const char *summary;
  };
  const Case cases[] = {
      {0, 27, 16, 2815, "智能手机--类别中共计："}, {2, 4, 15, 514, "iPhone视频--类别中共计："},
      {3, 6, 14, 713, "3GP视频--类别中共计："},    {9, 15, 7, 1606, "AVI视频--类别中共计："},
      {11, 0, 15, 114, "电脑视频--类别中共计："},  {12, 1, 13, 212, "经典音频--类别中共计："},
      {13, 2, 10, 309, "高清视频--类别中共计："},
  };
  Dialogs d;
  ASSERT_EQ(d.Chooser.CategoryBar->count(), 14);
  for (const Case &c : cases) {
    d.Pick(c.barRow, 0);
    EXPECT_EQ(d.Chooser.Number_NEW_3GP, c.number);
    EXPECT_EQ(d.Chooser.suiListView4->count(), c.count);
    EXPECT_EQ(d.Chooser.suiListView4->iconSize(), QSize(48, 48));
    EXPECT_FALSE(d.Chooser.suiListView4->item(0)->icon().isNull());
    EXPECT_EQ(d.Profile.VideoSelectType, 100 + 100 * c.number);
    EXPECT_EQ(d.Chooser.SummaryLabel->text(), c.summary);
    EXPECT_EQ(d.Chooser.PresetCountLabel->text(), QString::number(c.count));
    d.Chooser.suiListView4->setCurrentRow(c.count - 1);
    EXPECT_EQ(d.Profile.VideoSelectType, c.lastId);
  }
  // The handlers themselves, in bar order.
  d.Chooser.Button10Click();
  EXPECT_EQ(d.Profile.VideoSelectType, 100);
  d.Chooser.Button38Click();
  EXPECT_EQ(d.Chooser.Number_NEW_3GP, 27);
}

TEST(FormatChooser, RepeatedNamesAreSeparatePresets) {
  Dialogs d;
  d.Pick(3, 10);
  EXPECT_EQ(d.Profile.VideoSelectType, 710);
  const QString first = SelectedName(d.Chooser);
  d.Chooser.suiListView4->setCurrentRow(13);
  EXPECT_EQ(d.Profile.VideoSelectType, 713);
  EXPECT_EQ(SelectedName(d.Chooser), first);
  EXPECT_EQ(first, "各种手机常用的MP4视频(*.mp4)");
}

TEST(FormatChooser, ReopeningKeepsCategoryAndSelection) {
  Dialogs d;
  d.RunChooser([&] {
    d.Pick(2, 12);
    d.Chooser.suiButton2->click();
  });
  EXPECT_EQ(d.Profile.VideoSelectType, 512);
  d.Profile.Reset();  // the next add
  d.RunChooser([&] {
    EXPECT_EQ(d.Chooser.Number_NEW_3GP, 4);
    EXPECT_EQ(d.Chooser.suiListView4->currentRow(), 12);
    EXPECT_EQ(SelectedName(d.Chooser), "iPhone 高清DivX视频(*.avi)");
    EXPECT_EQ(d.Profile.VideoSelectType, 512);
    d.Chooser.reject();  // Escape
  });
  EXPECT_EQ(d.Chooser.NextorCancel, "2");
  EXPECT_EQ(d.Host.FocusCalls, 2);
}

TEST(FormatChooser, ClickOnEmptySpaceAsksForAChoiceAndReselectsTheFirst) {
  Dialogs d;
  d.Chooser.show();
  d.Pick(5, 3);  // PSP: five entries leave the lower part of the list empty
  ASSERT_EQ(d.Profile.VideoSelectType, 603);
  ASSERT_EQ(d.Chooser.suiListView4->itemAt(kEmptySpot), nullptr);

  ClickList(d.Chooser, kEmptySpot);
  ASSERT_EQ(d.Host.Messages.size(), 1u);
  EXPECT_EQ(d.Host.Messages[0].first, "提示");
  EXPECT_EQ(d.Host.Messages[0].second, "请选择一个要转换的类型，然后点击”下一步“按钮！");
  EXPECT_EQ(SelectedName(d.Chooser), "PSP MPEG-4视频(*.mp4)");
  EXPECT_EQ(d.Profile.VideoSelectType, 600);

  // A click on an entry selects it and says nothing.
  const QRect second = d.Chooser.suiListView4->visualItemRect(d.Chooser.suiListView4->item(1));
  ClickList(d.Chooser, second.center());
  EXPECT_EQ(d.Host.Messages.size(), 1u);
  EXPECT_EQ(d.Profile.VideoSelectType, 601);

  // A double-click on empty space is answered like a click; the options stay closed.
  ClickList(d.Chooser, kEmptySpot, /*dbl=*/true);
  EXPECT_GE(d.Host.Messages.size(), 2u);
  EXPECT_FALSE(d.Options.isVisible());
  EXPECT_EQ(d.Profile.VideoSelectType, 600);
  d.Chooser.hide();
}

TEST(FormatChooser, DoubleClickOnAPresetOpensTheOptions) {
  Dialogs d;
  d.BeginAdd();
  int shown = 0;
  d.RunChooser([&] {
    d.Pick(12, 0);
    Dialogs::WhenModal(&d.Options, [&] {
      ++shown;
      EXPECT_EQ(Current(d.Options.suiComboBox6), "128 kbps");
      d.Options.suiButton2->click();
    });
    const QRect first = d.Chooser.suiListView4->visualItemRect(d.Chooser.suiListView4->item(0));
    ClickList(d.Chooser, first.center(), /*dbl=*/true);
    d.Chooser.suiButton2->click();
  });
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(d.Host.Messages.size(), 0u);
}
