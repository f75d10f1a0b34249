#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <memory>

#include "AboutBox.h"
#include "DesktopPlatform.h"
#include "JobListView.h"
#include "MainWindow.h"
#include "ScriptedPlatform.h"
#include "Settings.h"
#include "Skins.h"
#include "TempDir.h"

namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  TTempDir dir;
  TScriptedPlatform platform;
  TAppPaths paths = MakePaths();
  std::string ini = paths.ProgramDir + "/system.ini";
  std::string defaultOut = paths.HomeDir + "/Quorvel视频输出";

  TAppPaths MakePaths() {
    TAppPaths p;
    p.ProgramDir = dir / "bin";
    p.HomeDir = dir / "home";
    p.ConfigHome = dir / "home/.config";
    std::filesystem::create_directories(p.ProgramDir);
    std::filesystem::create_directories(p.HomeDir);
    return p;
  }
  std::unique_ptr<TForm1> Open() { return std::make_unique<TForm1>(platform, paths); }
  std::string Read(const char *ASection, const char *AKey) {
    return TIniFile(ini).ReadString(ASection, AKey, "Error");
  }

  static void AddRows(TForm1 &f, std::initializer_list<const char *> ANames) {
    for (const char *name : ANames) {
      TInputOptions in;
      in.FileName = std::string("/v/") + name + ".avi";
      TOutputOptions out;
      out.FileName = std::string("/out/") + name + ".mp4";
      ASSERT_GE(f.AddListRow(in.FileName, in, out), 0);
    }
    f.AdvListView1->Renumber();
  }
  // "1 A|2 C": caption and source name of every row.
  static std::string Rows(TForm1 &f) {
    std::string s;
    for (int r = 0; r < f.AdvListView1->rowCount(); ++r) {
      if (r) s += "|";
      s += f.AdvListView1->Cell(r, TAdvListView::colNumber).toStdString() + " " +
           std::filesystem::path(f.AdvListView1->Cell(r, TAdvListView::colSource).toStdString())
               .stem()
               .string();
    }
    return s;
  }
  static std::string SlotNames(TForm1 &f, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
      s += std::filesystem::path(f.Slots.IO1[static_cast<std::size_t>(i)].FileName).stem().string();
    return s;
  }
};

}  // namespace

TEST_F(MainWindowTest, FirstRunWritesDefaultsAndShowsThem) {
  auto f = Open();
  EXPECT_EQ(f->windowTitle().toStdString(), kAppTitle);
  EXPECT_EQ(f->size(), QSize(874, 528));
  EXPECT_EQ(f->minimumSize(), f->maximumSize());  // not resizable
  EXPECT_EQ(ReadFileBytes(ini), "[OutPath]\nOutPath=" + defaultOut +
                                    "\n\n[SnapShot]\nPicture=BMP\n\n[Skin]\nSetSkin=0\n");
  EXPECT_TRUE(DirectoryExists(defaultOut));
  EXPECT_EQ(f->Edit1->text().toStdString(), defaultOut);
  EXPECT_EQ(f->FileOutPutPath, defaultOut);
  EXPECT_TRUE(f->Edit1->isReadOnly());
  EXPECT_TRUE(f->BMP1->isChecked());
  EXPECT_FALSE(f->JPEG1->isChecked());
  EXPECT_EQ(f->cbCompletionAction->currentText(), QStringLiteral("打开转换输出文件夹"));
  EXPECT_EQ(f->cbCpuPriority->currentText(), QStringLiteral("正常转换"));
  EXPECT_EQ(f->cbConcurrentFiles->currentText(), QStringLiteral("1个文件"));
  EXPECT_EQ(f->cbExistingFile->currentIndex(), 0);
  EXPECT_EQ(f->FFileFilters.size(), 42u);
  EXPECT_EQ(f->FFileFilters.front().Name, "支持的视频/音频文件格式");
  EXPECT_EQ(f->Slots.Count(kSlotFree), kSlotCount);
  EXPECT_EQ(f->Form_pause, "NO");
  EXPECT_EQ(f->bsSkinSlider1_down_UP, "UP");
  EXPECT_FALSE(f->T_Down_UP_Move);
  EXPECT_EQ(f->FSkinIndex, 0);
  EXPECT_FALSE(f->ImagePlaceholder->isHidden());
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(MainWindowTest, StoredValuesRepairedOrUsed) {
  const struct {
    const char *Name;
    std::string File;
    std::string Out;      // expected output folder
    const char *Picture;  // expected stored and checked type
    int Skin;
  } cases[] = {
      {"Error everywhere",
       "[OutPath]\nOutPath=Error\n[SnapShot]\nPicture=Error\n[Skin]\nSetSkin=Error\n", defaultOut,
       "BMP", 0},
      {"empty values", "[OutPath]\nOutPath=\n[SnapShot]\nPicture=\n[Skin]\nSetSkin=\n", defaultOut,
       "BMP", 0},
      {"unknown picture type", "[SnapShot]\nPicture=TIF\n[Skin]\nSetSkin=2\n", defaultOut, "BMP",
       2},
      {"good values",
       "[OutPath]\nOutPath=" + (dir / "mine/out") +
           "\n[SnapShot]\nPicture=PNG\n[Skin]\nSetSkin=5\n",
       dir / "mine/out", "PNG", 5},
      {"wrong types", "[OutPath]\nOutPath=42\n[SnapShot]\nPicture=3.5\n[Skin]\nSetSkin=blue\n",
       defaultOut, "BMP", 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFileBytes(ini, c.File);
    auto f = Open();
    EXPECT_EQ(f->FileOutPutPath, c.Out);
    EXPECT_EQ(f->Edit1->text().toStdString(), c.Out);
    EXPECT_TRUE(DirectoryExists(c.Out));
    EXPECT_EQ(Read("OutPath", "OutPath"), c.Out);
    EXPECT_EQ(Read("SnapShot", "Picture"), c.Picture);
    EXPECT_EQ(f->FSkinIndex, c.Skin);
    EXPECT_EQ(Read("Skin", "SetSkin"), std::to_string(c.Skin));
    QAction *checked = std::string(c.Picture) == "PNG" ? f->PNG1 : f->BMP1;
    EXPECT_TRUE(checked->isChecked());
  }
}

TEST_F(MainWindowTest, DamagedSettingsFileFallsBackToDefaults) {
  std::string garbage;
  for (int i = 0; i < 20000; ++i) garbage += static_cast<char>((i * 97 + 13) % 256);
  const std::string files[] = {
      garbage,
      "[OutPath]\nOutPath=/" + std::string(2u << 20, 'x') + "\n[Skin]\nSetSkin=" + garbage + "\n",
      std::string(TIniFile::kMaxFileBytes + 1, '\0'),
  };
  for (const std::string &bytes : files) {
    WriteFileBytes(ini, bytes);
    auto f = Open();
    EXPECT_EQ(f->FileOutPutPath, defaultOut);
    EXPECT_EQ(f->FSkinIndex, 0);
    EXPECT_TRUE(f->BMP1->isChecked());
    EXPECT_EQ(Read("OutPath", "OutPath"), defaultOut);
    EXPECT_EQ(Read("SnapShot", "Picture"), "BMP");
    EXPECT_EQ(Read("Skin", "SetSkin"), "0");
  }
}

TEST_F(MainWindowTest, OutputFolderChoiceRefusedOnlyForDocumentsAndSettingsOnVistaAnd7) {
  const std::string das = dir / "Documents and Settings/me";
  const std::string plain = dir / "plain";
  std::filesystem::create_directories(das);
  std::filesystem::create_directories(plain);
  const struct {
    const char *System;
    std::string Folder;
    bool Accepted;
  } cases[] = {
      {"Windows 7", das, false},  {"Windows vista", das, false}, {"Windows Xp", das, true},
      {"Linux 6.1.0", das, true}, {"Windows 7", plain, true},    {"Windows vista", plain, true},
  };
  auto f = Open();
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.System) + " " + c.Folder);
    WriteOutputFolder(*std::make_unique<TIniFile>(ini), defaultOut);
    f->FileOutPutPath = defaultOut;
    f->Edit1->setText(QString::fromStdString(defaultOut));
    platform.Messages.clear();
    platform.System = c.System;
    platform.FolderAnswers.push_back(c.Folder);
    f->suiButton3Click();
    EXPECT_EQ(platform.ChooserTitles.back(), "选择输出目录");
    const std::string expect = c.Accepted ? c.Folder : defaultOut;
    EXPECT_EQ(f->FileOutPutPath, expect);
    EXPECT_EQ(f->Edit1->text().toStdString(), expect);
    EXPECT_EQ(Read("OutPath", "OutPath"), expect);
    if (c.Accepted) {
      EXPECT_TRUE(platform.Messages.empty());
    } else {
      ASSERT_EQ(platform.Messages.size(), 1u);
      EXPECT_EQ(
          platform.Messages[0].Text,
          "提示信息，Win 7和Vista系统权限不允许设置该目录，请您更换一个其他目录存放输出的文件！");
      EXPECT_EQ(platform.Messages[0].Caption, "提示");
      EXPECT_EQ(platform.Messages[0].Buttons, TMsgButtons::Ok);
    }
  }
  // Cancelled, or a folder that is gone: nothing changes.
  platform.FolderAnswers.push_back(std::nullopt);
  platform.FolderAnswers.push_back(dir / "gone");
  f->suiButton3Click();
  f->suiButton3Click();
  EXPECT_EQ(f->FileOutPutPath, plain);
  EXPECT_EQ(Read("OutPath", "OutPath"), plain);
}

TEST_F(MainWindowTest, SkinChooserWritesIndexConfirmedOrNot) {
  auto f = Open();
  WriteSkinIndex(*std::make_unique<TIniFile>(ini), 4);  // someone else's value on disk
  QTimer::singleShot(0, f.get(), [&] { f->SkinChooser->reject(); });
  f->ToolButton11Click();
  EXPECT_EQ(f->FSkinIndex, 0);
  EXPECT_EQ(Read("Skin", "SetSkin"), "0");

  QTimer::singleShot(0, f.get(), [&] {
    f->SkinChooser->SetSkinIndex(3);
    f->SkinChooser->accept();
  });
  f->ToolButton11Click();
  EXPECT_EQ(f->FSkinIndex, 3);
  EXPECT_EQ(Read("Skin", "SetSkin"), "3");
  EXPECT_EQ(qApp->styleSheet(), SkinStyleSheet(3));
  EXPECT_EQ(f->ToolBar1->styleSheet(), ToolBarStyleSheet());
}

TEST_F(MainWindowTest, RemoveMiddleRowKeepsRowsAndSlotsInStep) {
  auto f = Open();
  AddRows(*f, {"A", "B", "C"});
  EXPECT_TRUE(f->ImagePlaceholder->isHidden());
  EXPECT_EQ(Rows(*f), "1 A|2 B|3 C");
  EXPECT_EQ(f->AdvListView1->Cell(0, TAdvListView::colSourceExt), QStringLiteral("AVI"));
  EXPECT_EQ(f->AdvListView1->Cell(0, TAdvListView::colTargetExt), QStringLiteral("MP4"));
  EXPECT_EQ(f->AdvListView1->Cell(0, TAdvListView::colTime), QStringLiteral("00:00:00"));
  EXPECT_EQ(f->AdvListView1->Cell(0, TAdvListView::colSize), QStringLiteral("0.00MB"));
  EXPECT_EQ(f->AdvListView1->ProgressText(0), QStringLiteral("0%"));
  EXPECT_EQ(f->AdvListView1->State(0), QStringLiteral("准备"));

  f->AdvListView1->SelectRow(1);
  f->btnRemoveClick();
  EXPECT_EQ(Rows(*f), "1 A|2 C");
  EXPECT_EQ(f->AdvListView1->SelectedRow(), -1);  // the selection went with the row
  EXPECT_EQ(SlotNames(*f, 2), "AC");
  EXPECT_EQ(f->Slots.Marker(kSlotCount - 1), kSlotDeleted);
  EXPECT_TRUE(f->Slots.InvariantHolds(2));
  EXPECT_FALSE(f->btnRemove->isEnabled());
  EXPECT_FALSE(f->btnRemove2->isEnabled());
  EXPECT_TRUE(f->btnClear->isEnabled());
  EXPECT_TRUE(f->ToolButton3->isEnabled());
  EXPECT_TRUE(f->ImagePlaceholder->isHidden());
}

TEST_F(MainWindowTest, MoveUpTwiceCarriesRowSlotAndSelection) {
  auto f = Open();
  AddRows(*f, {"A", "B", "C"});
  f->AdvListView1->SelectRow(2);
  f->Button10Click();
  f->Button10Click();
  EXPECT_EQ(Rows(*f), "1 C|2 A|3 B");
  EXPECT_EQ(SlotNames(*f, 3), "CAB");
  EXPECT_EQ(f->AdvListView1->SelectedRow(), 0);
  EXPECT_EQ(f->T_Movie_PLayer_FileName, "/v/C.avi");
  EXPECT_FALSE(f->T_Down_UP_Move);
  f->Button10Click();  // first row: nothing moves
  EXPECT_EQ(Rows(*f), "1 C|2 A|3 B");
  f->Button11Click();
  EXPECT_EQ(Rows(*f), "1 A|2 C|3 B");
  EXPECT_EQ(SlotNames(*f, 3), "ACB");
  EXPECT_EQ(f->AdvListView1->SelectedRow(), 1);
  f->AdvListView1->SelectRow(2);
  f->Button11Click();  // last row: nothing moves
  EXPECT_EQ(Rows(*f), "1 A|2 C|3 B");
  EXPECT_TRUE(f->Slots.InvariantHolds(3));
}

TEST_F(MainWindowTest, RemoveWithoutSelectionAsksForOne) {
  auto f = Open();
  AddRows(*f, {"A"});
  f->AdvListView1->clearSelection();
  f->btnRemoveClick();
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.Messages[0].Text, "请先选择您需要删除的项目！");
  EXPECT_EQ(platform.Messages[0].Caption, "提示");
  EXPECT_EQ(f->AdvListView1->rowCount(), 1);
}

TEST_F(MainWindowTest, RemovingTheOnlyRowShowsPlaceholderAndDisablesListButtons) {
  auto f = Open();
  AddRows(*f, {"A"});
  f->AdvListView1->SelectRow(0);
  f->bsSkinSlider1->setValue(100);
  f->btnRemoveClick();
  EXPECT_EQ(f->AdvListView1->rowCount(), 0);
  EXPECT_FALSE(f->ImagePlaceholder->isHidden());
  EXPECT_EQ(f->bsSkinSlider1->value(), 0);
  for (QWidget *w :
       std::initializer_list<QWidget *>{f->Button10, f->Button11, f->btnClear, f->btnClear2,
                                        f->ToolButton3, f->btnRemove, f->btnRemove2})
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
  EXPECT_TRUE(f->ToolButtonAdd->isEnabled());
}

TEST_F(MainWindowTest, ClearAfterRemovesFreesEverySlot) {
  auto f = Open();
  AddRows(*f, {"A", "B", "C", "D"});
  for (int i = 0; i < 3; ++i) {
    f->AdvListView1->SelectRow(0);
    f->btnRemoveClick();
  }
  EXPECT_EQ(f->Slots.Count(kSlotDeleted), 3);
  f->btnClearClick();
  EXPECT_EQ(f->AdvListView1->rowCount(), 0);
  EXPECT_EQ(f->Slots.Count(kSlotFree), kSlotCount);
  EXPECT_FALSE(f->ImagePlaceholder->isHidden());
  EXPECT_TRUE(f->ToolButtonAdd->isEnabled());
  for (QWidget *w :
       std::initializer_list<QWidget *>{f->btnRemove, f->btnRemove2, f->btnClear, f->btnClear2,
                                        f->Button10, f->Button11, f->ToolButton3})
    EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
}

TEST_F(MainWindowTest, ControlStatesAtStartUpAddAndSelection) {
  auto f = Open();
  struct Expect {
    QWidget *W;
    bool On;
  };
  auto check = [](std::initializer_list<Expect> list) {
    for (const Expect &e : list)
      EXPECT_EQ(e.W->isEnabled(), e.On) << e.W->objectName().toStdString();
  };
  check({{f->ToolButtonAdd, true},
         {f->btnRemove, false},
         {f->btnRemove2, true},
         {f->btnClear, false},
         {f->btnClear2, false},
         {f->Button10, true},
         {f->Button11, true},
         {f->ToolButton3, false},
         {f->btnPause, false},
         {f->btnStop, false},
         {f->suiButton3, true},
         {f->cbExistingFile, true},
         {f->ToolButton11, true},
         {f->ToolButtonHelp, true},
         {f->btnInfo, true},
         {f->suiButton11, true},
         {f->cbCompletionAction, true}});
  AddRows(*f, {"A"});
  check({{f->ToolButtonAdd, true},
         {f->btnRemove, true},
         {f->btnRemove2, true},
         {f->btnClear, true},
         {f->btnClear2, true},
         {f->Button10, true},
         {f->Button11, true},
         {f->ToolButton3, true},
         {f->btnPause, false},
         {f->btnStop, false}});
  f->SetSituation(TListSituation::BatchRunning);
  check({{f->ToolButtonAdd, false},
         {f->btnRemove, false},
         {f->btnClear2, false},
         {f->ToolButton3, false},
         {f->btnPause, true},
         {f->btnStop, true},
         {f->suiButton3, false},
         {f->cbExistingFile, false}});
  f->SetSituation(TListSituation::BatchEnded);
  f->SetSituation(TListSituation::AfterRemove, true);
  f->AdvListView1->SelectRow(0);
  check({{f->btnRemove, true}, {f->btnRemove2, true}});
}

TEST_F(MainWindowTest, FullListRefusesAddAndStaysIntact) {
  auto f = Open();
  TInputOptions in;
  TOutputOptions out;
  out.FileName = "/out/x.mp4";
  for (int i = 0; i < kSlotCount; ++i) {
    in.FileName = "/v/" + std::to_string(i) + ".avi";
    ASSERT_EQ(f->AddListRow(in.FileName, in, out), i);
  }
  in.FileName = "/v/late.avi";
  EXPECT_EQ(f->AddListRow(in.FileName, in, out), -1);
  EXPECT_EQ(f->AdvListView1->rowCount(), kSlotCount);
  EXPECT_TRUE(f->Slots.InvariantHolds(kSlotCount));
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.Messages[0].Caption, "提示");

  // Removes spend slots: after one remove the list still cannot take a row.
  f->AdvListView1->SelectRow(0);
  f->btnRemoveClick();
  EXPECT_EQ(f->AddListRow(in.FileName, in, out), -1);
  EXPECT_EQ(f->AdvListView1->rowCount(), kSlotCount - 1);
  EXPECT_TRUE(f->Slots.InvariantHolds(kSlotCount - 1));
}

TEST_F(MainWindowTest, ProgressCellShowsPercentOrUnknown) {
  auto f = Open();
  AddRows(*f, {"A"});
  f->AdvListView1->SetProgress(0, 42);
  EXPECT_EQ(f->AdvListView1->ProgressText(0), QStringLiteral("42%"));
  EXPECT_EQ(f->AdvListView1->Progress(0), 42);
  f->AdvListView1->SetProgressUnknown(0);
  EXPECT_EQ(f->AdvListView1->ProgressText(0), QStringLiteral("N/A"));
  // The bar is drawn by the delegate; rendering must not trip over either state.
  f->show();
  QImage img(f->size(), QImage::Format_ARGB32);
  f->render(&img);
  f->AdvListView1->SetProgress(0, 250);  // reports are not clamped
  f->render(&img);
  EXPECT_EQ(f->AdvListView1->verticalHeader()->defaultSectionSize(), 20);
  EXPECT_EQ(f->AdvListView1->columnCount(), 8);
  EXPECT_EQ(f->AdvListView1->horizontalHeaderItem(6)->text(), QStringLiteral("转换进度"));
}

TEST_F(MainWindowTest, HelpMenuAboutBoxAndOpenFolder) {
  auto f = Open();
  TForm4 about(platform, f.get());
  f->SetAboutBox(&about);
  QStringList items;
  for (QAction *a : f->PopupHelp->actions()) items << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(items.join(","), QStringLiteral("帮助系统?,-,软件网站,联系信箱,-,关于软件"));
  EXPECT_EQ(f->HelpSystem->shortcut(), QKeySequence(Qt::Key_F1));
  f->HelpSystem->trigger();
  f->HelpWebSite->trigger();
  f->HelpMail->trigger();
  f->suiButton11->click();
  ASSERT_EQ(platform.Opened.size(), 4u);
  EXPECT_EQ(platform.Opened[0], kProductHelpUrl);
  EXPECT_EQ(platform.Opened[1], kProductWebSite);
  EXPECT_EQ(platform.Opened[2], std::string("mailto:") + kProductSupportMail);
  EXPECT_EQ(platform.Opened[3], defaultOut);

  QTimer::singleShot(0, &about, [&] {
    EXPECT_TRUE(about.isVisible());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("关于"));
    auto *ok = about.findChild<QPushButton *>(QStringLiteral("Button1"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    ok->click();
  });
  f->HelpAbout->trigger();
  EXPECT_FALSE(about.isVisible());
}

TEST_F(MainWindowTest, ToolBarHintsReachTheStatusBar) {
  auto f = Open();
  const struct {
    QToolButton *B;
    const char *Hint;
  } cases[] = {
      {f->ToolButtonAdd, "添加要转换的视频音频文件"},
      {f->btnRemove, "从列表中删除选中的文件"},
      {f->btnClear, "清空转换列表"},
      {f->ToolButton3, "开始转换视频"},
      {f->btnStop, "停止视频转换"},
      {f->ToolButton11, "更换软件外观皮肤"},
      {f->ToolButtonHelp, "软件帮助"},
      {f->btnPause, ""},
  };
  for (const auto &c : cases) EXPECT_EQ(c.B->statusTip().toStdString(), c.Hint);
  QStatusTipEvent tip(f->btnStop->statusTip());
  QApplication::sendEvent(f.get(), &tip);
  EXPECT_EQ(f->StatusBar1->currentMessage(), QStringLiteral("停止视频转换"));
}

TEST_F(MainWindowTest, SnapshotTypeEntriesWriteTheSetting) {
  auto f = Open();
  f->GIF1->trigger();
  EXPECT_EQ(Read("SnapShot", "Picture"), "GIF");
  EXPECT_TRUE(f->GIF1->isChecked());
  EXPECT_FALSE(f->BMP1->isChecked());
  f->PNG1Click();
  EXPECT_EQ(Read("SnapShot", "Picture"), "PNG");
  // Snapshot folder: the default is created and stored, a chosen one is refused on the
  // two systems and stored elsewhere.
  const std::string snap = defaultOut + "/快照";
  EXPECT_EQ(f->SnapshotFolder(), snap);
  EXPECT_TRUE(DirectoryExists(snap));
  EXPECT_EQ(Read("SnapShot", "Dir"), snap);
  const std::string das = dir / "Documents and Settings";
  std::filesystem::create_directories(das);
  platform.System = "Windows 7";
  platform.FolderAnswers.push_back(das);
  f->MenuItem2Click();
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.Messages[0].Text,
            "提示信息，Win 7和Vista系统权限不允许设置该目录，请您更换一个其他目录存放快照文件！");
  EXPECT_EQ(Read("SnapShot", "Dir"), snap);
  platform.System = "Windows Xp";
  platform.FolderAnswers.push_back(das);
  f->MenuItem2Click();
  EXPECT_EQ(Read("SnapShot", "Dir"), das);
  f->MenuItem1Click();
  EXPECT_EQ(platform.Opened.back(), das);
}

TEST_F(MainWindowTest, ClosingIsAlwaysAllowedAndWritesNothing) {
  auto f = Open();
  f->show();
  const std::string before = ReadFileBytes(ini);
  EXPECT_TRUE(f->close());
  EXPECT_EQ(ReadFileBytes(ini), before);
}

TEST(DesktopPlatform, CannotExistInsideTheTests) {
  ASSERT_TRUE(RunningUnderTest());
  EXPECT_THROW(TDesktopPlatform(), std::logic_error);
}
