#include "MainWindow.h"
#include "QtMainThreadCaller.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

#include "AboutBox.h"
#include "JobListView.h"
#include "Skins.h"
#include "ToolIcons.h"
#include "core/FileFilters.h"
#include "core/Settings.h"

namespace {

QString Q(const std::string &s) {
  return QString::fromStdString(s);
}

// Shown over the empty list.
QPixmap PlaceholderPicture(QSize ASize) {
  QPixmap pm(ASize);
  pm.fill(QColor(0xfa, 0xfb, 0xfd));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QPoint c(ASize.width() / 2, ASize.height() / 2 - 24);
  // A strip of film with a plus sign: "put something here".
  QRect film(c.x() - 60, c.y() - 40, 120, 80);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xc4, 0xd3, 0xe6));
  p.drawRoundedRect(film, 8, 8);
  p.setBrush(QColor(0xfa, 0xfb, 0xfd));
  for (int i = 0; i < 6; ++i) {
    p.drawRect(film.left() + 8 + i * 18, film.top() + 6, 10, 8);
    p.drawRect(film.left() + 8 + i * 18, film.bottom() - 13, 10, 8);
  }
  p.setBrush(QColor(0x3b, 0x6f, 0xb6));
  p.drawRect(c.x() - 4, c.y() - 18, 8, 36);
  p.drawRect(c.x() - 18, c.y() - 4, 36, 8);
  QFont f = QApplication::font();
  f.setPointSizeF(f.pointSizeF() * 1.15);
  p.setFont(f);
  p.setPen(QColor(0x4a, 0x5a, 0x70));
  p.drawText(QRect(0, film.bottom() + 14, ASize.width(), 28), Qt::AlignCenter,
             QStringLiteral("点击“添加”按钮，添加要转换的视频或音频文件"));
  return pm;
}

QToolButton *LargeButton(QToolBar *ABar, const QString &AText, TToolIcon AIcon, const char *AName,
                         const QString &AHint) {
  auto *b = new QToolButton(ABar);
  b->setObjectName(QString::fromLatin1(AName));
  b->setText(AText);
  b->setIcon(ToolIcon(AIcon));
  b->setIconSize(QSize(40, 40));
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setFixedSize(70, 80);
  if (!AHint.isEmpty()) b->setStatusTip(AHint);
  ABar->addWidget(b);
  return b;
}

QPushButton *SmallButton(QWidget *AParent, const char *AName, const QString &AText, QRect AGeom) {
  auto *b = new QPushButton(AText, AParent);
  b->setObjectName(QString::fromLatin1(AName));
  b->setGeometry(AGeom);
  return b;
}

QPushButton *IconButton(QWidget *AParent, const char *AName, QStyle::StandardPixmap AIcon,
                        const QString &AHint, QRect AGeom) {
  auto *b = new QPushButton(AParent);
  b->setObjectName(QString::fromLatin1(AName));
  b->setIcon(AParent->style()->standardIcon(AIcon));
  b->setToolTip(AHint);
  b->setGeometry(AGeom);
  return b;
}

}  // namespace

TForm1::TForm1(IPlatform &APlatform, const TAppPaths &APaths, QWidget *AParent)
    : QMainWindow(AParent), FPlatform(APlatform), FPaths(APaths), FIni(APaths.SettingsFile()) {
  setObjectName(QStringLiteral("Form1"));
  BuildToolBar();
  auto *client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  setCentralWidget(client);
  BuildListPanel(client);
  BuildPreviewPanel(client);
  BuildOptionsPanel(client);
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  setStatusBar(StatusBar1);
  mmoLog = new QPlainTextEdit(this);
  mmoLog->setObjectName(QStringLiteral("mmoLog"));
  mmoLog->setReadOnly(true);
  mmoLog->hide();
  SkinChooser = new TSkinChooser(this);
  setFixedSize(874, 528);
  BuildConversion();
  FormCreate();
}

TForm1::~TForm1() {
  ShutdownConversion();
  ShutdownPreviewPlayer();
  // Only now that no thread of this window can log: a thread that read the old mode
  // would wait for a UI thread that no longer serves it.
  GlobalLogger().SetTriggerEventInMainThread(FLoggerWasInMainThread);
}

void TForm1::BuildToolBar() {
  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setFixedHeight(90);
  // The bar hands its own sizes to the buttons placed on it.
  ToolBar1->setIconSize(QSize(40, 40));
  ToolBar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
  addToolBar(Qt::TopToolBarArea, ToolBar1);

  ToolButtonAdd = LargeButton(ToolBar1, QStringLiteral("添加"), TToolIcon::Add, "ToolButtonAdd",
                              QStringLiteral("添加要转换的视频音频文件"));
  PopupAdd = new QMenu(this);
  AddOneFile = PopupAdd->addAction(QStringLiteral("添加一个文件"));
  AddSeveralFiles = PopupAdd->addAction(QStringLiteral("添加多个文件"));
  AddFolder = PopupAdd->addAction(QStringLiteral("添加整个目录"));
  ToolButtonAdd->setMenu(PopupAdd);
  ToolButtonAdd->setPopupMode(QToolButton::InstantPopup);

  btnRemove = LargeButton(ToolBar1, QStringLiteral("删除"), TToolIcon::Remove, "btnRemove",
                          QStringLiteral("从列表中删除选中的文件"));
  btnClear = LargeButton(ToolBar1, QStringLiteral("清空"), TToolIcon::Clear, "btnClear",
                         QStringLiteral("清空转换列表"));
  ToolBar1->addSeparator();
  ToolButton3 = LargeButton(ToolBar1, QStringLiteral("开始"), TToolIcon::Start, "ToolButton3",
                            QStringLiteral("开始转换视频"));
  btnPause = LargeButton(ToolBar1, QStringLiteral("暂停"), TToolIcon::Pause, "btnPause", QString());
  btnStop = LargeButton(ToolBar1, QStringLiteral("停止"), TToolIcon::Stop, "btnStop",
                        QStringLiteral("停止视频转换"));
  ToolBar1->addSeparator();
  ToolButton11 = LargeButton(ToolBar1, QStringLiteral("皮肤"), TToolIcon::Skin, "ToolButton11",
                             QStringLiteral("更换软件外观皮肤"));
  ToolButtonHelp = LargeButton(ToolBar1, QStringLiteral("帮助"), TToolIcon::Help, "ToolButtonHelp",
                               QStringLiteral("软件帮助"));
  PopupHelp = new QMenu(this);
  HelpSystem = PopupHelp->addAction(QStringLiteral("帮助系统?"));
  HelpSystem->setShortcut(QKeySequence(Qt::Key_F1));
  HelpSystem->setShortcutContext(Qt::WindowShortcut);
  addAction(HelpSystem);  // F1 works without opening the menu
  PopupHelp->addSeparator();
  HelpWebSite = PopupHelp->addAction(QStringLiteral("软件网站"));
  HelpMail = PopupHelp->addAction(QStringLiteral("联系信箱"));
  PopupHelp->addSeparator();
  HelpAbout = PopupHelp->addAction(QStringLiteral("关于软件"));
  ToolButtonHelp->setMenu(PopupHelp);
  ToolButtonHelp->setPopupMode(QToolButton::InstantPopup);

  connect(btnRemove, &QToolButton::clicked, this, &TForm1::btnRemoveClick);
  connect(btnClear, &QToolButton::clicked, this, &TForm1::btnClearClick);
  connect(ToolButton11, &QToolButton::clicked, this, &TForm1::ToolButton11Click);
  connect(HelpSystem, &QAction::triggered, this, &TForm1::HelpSystemClick);
  connect(HelpWebSite, &QAction::triggered, this, &TForm1::WebSiteClick);
  connect(HelpMail, &QAction::triggered, this, &TForm1::MailClick);
  connect(HelpAbout, &QAction::triggered, this, &TForm1::AboutClick);
  // 开始 / 暂停 / 停止 and the three add entries are wired by the run control and the
  // add feature.
}

void TForm1::BuildListPanel(QWidget *AParent) {
  ListPanel = new QFrame(AParent);
  ListPanel->setObjectName(QStringLiteral("ListPanel"));
  ListPanel->setGeometry(3, 4, 570, 278);
  AdvListView1 = new TAdvListView(ListPanel);
  AdvListView1->setGeometry(2, 2, 566, 240);
  ImagePlaceholder = new QLabel(ListPanel);
  ImagePlaceholder->setObjectName(QStringLiteral("ImagePlaceholder"));
  ImagePlaceholder->setGeometry(AdvListView1->geometry());
  ImagePlaceholder->setPixmap(PlaceholderPicture(AdvListView1->size()));
  const int y = 246, h = 26;
  Button10 = SmallButton(ListPanel, "Button10", QStringLiteral("上移"), QRect(8, y, 72, h));
  Button11 = SmallButton(ListPanel, "Button11", QStringLiteral("下移"), QRect(86, y, 72, h));
  btnRemove2 = SmallButton(ListPanel, "btnRemove2", QStringLiteral("删除"), QRect(164, y, 72, h));
  btnClear2 = SmallButton(ListPanel, "btnClear2", QStringLiteral("清空"), QRect(242, y, 72, h));
  btnInfo = SmallButton(ListPanel, "btnInfo", QStringLiteral("信息"), QRect(320, y, 72, h));

  connect(Button10, &QPushButton::clicked, this, &TForm1::Button10Click);
  connect(Button11, &QPushButton::clicked, this, &TForm1::Button11Click);
  connect(btnRemove2, &QPushButton::clicked, this, &TForm1::btnRemoveClick);
  connect(btnClear2, &QPushButton::clicked, this, &TForm1::btnClearClick);
  connect(AdvListView1, &QTableWidget::itemSelectionChanged, this, &TForm1::AdvListView1SelectItem);
  AdvListView1->viewport()->installEventFilter(this);
  connect(btnInfo, &QPushButton::clicked, this, &TForm1::suiButton12Click);
  connect(AdvListView1, &QAbstractItemView::doubleClicked, this, &TForm1::suiButton12Click);
}

void TForm1::BuildPreviewPanel(QWidget *AParent) {
  PreviewPanel = new QFrame(AParent);
  PreviewPanel->setObjectName(QStringLiteral("PreviewPanel"));
  PreviewPanel->setGeometry(594, 4, 277, 278);
  PanelVideo = new QFrame(PreviewPanel);
  PanelVideo->setObjectName(QStringLiteral("PanelVideo"));
  PanelVideo->setGeometry(11, 10, 254, 173);
  PanelVideo->setAttribute(Qt::WA_NativeWindow);  // the player draws into its window
  bsSkinSlider1 = new QSlider(Qt::Horizontal, PreviewPanel);
  bsSkinSlider1->setObjectName(QStringLiteral("bsSkinSlider1"));
  bsSkinSlider1->setGeometry(11, 192, 254, 20);
  bsSkinSlider1->setRange(0, 254);
  bsSkinSlider1->setSingleStep(5);
  bsSkinSlider1->setPageStep(5);
  const int y = 226, w = 36, h = 30, gap = 7, x0 = 11;
  auto at = [&](int i) { return QRect(x0 + i * (w + gap), y, w, h); };
  bsSkinButton13 = IconButton(PreviewPanel, "bsSkinButton13", QStyle::SP_MediaPlay,
                              QStringLiteral("播放"), at(0));
  bsSkinButton14 = IconButton(PreviewPanel, "bsSkinButton14", QStyle::SP_MediaPause,
                              QStringLiteral("暂停"), at(1));
  bsSkinButton15 = IconButton(PreviewPanel, "bsSkinButton15", QStyle::SP_MediaStop,
                              QStringLiteral("停止"), at(2));
  bsSkinButton16 = IconButton(PreviewPanel, "bsSkinButton16", QStyle::SP_MediaVolume,
                              QStringLiteral("静音"), at(3));
  bsSkinButton20 = IconButton(PreviewPanel, "bsSkinButton20", QStyle::SP_MediaVolumeMuted,
                              QStringLiteral("静音"), at(3));
  bsSkinButton20->hide();
  bsSkinButton22 = IconButton(PreviewPanel, "bsSkinButton22", QStyle::SP_DialogSaveButton,
                              QStringLiteral("快照"), at(4));
  bsSkinButton23 = IconButton(PreviewPanel, "bsSkinButton23", QStyle::SP_FileDialogDetailedView,
                              QStringLiteral("设置"), at(5));

  PopupSnapshot = new QMenu(this);
  MenuItem1 = PopupSnapshot->addAction(QStringLiteral("打开快照目录"));
  MenuItem2 = PopupSnapshot->addAction(QStringLiteral("设置快照目录"));
  PopupSnapshot->addSeparator();
  QMenu *types = PopupSnapshot->addMenu(QStringLiteral("快照保存类型"));
  auto *group = new QActionGroup(this);
  group->setExclusive(true);
  BMP1 = types->addAction(QStringLiteral("BMP文件"));
  JPEG1 = types->addAction(QStringLiteral("JPG文件"));
  GIF1 = types->addAction(QStringLiteral("GIF文件"));
  PNG1 = types->addAction(QStringLiteral("PNG文件"));
  for (QAction *a : {BMP1, JPEG1, GIF1, PNG1}) {
    a->setCheckable(true);
    group->addAction(a);
  }
  connect(bsSkinButton23, &QPushButton::pressed, this,
          [this] { PopupSnapshot->popup(QCursor::pos()); });
  connect(MenuItem1, &QAction::triggered, this, &TForm1::MenuItem1Click);
  connect(MenuItem2, &QAction::triggered, this, &TForm1::MenuItem2Click);
  connect(BMP1, &QAction::triggered, this, &TForm1::BMP1Click);
  connect(JPEG1, &QAction::triggered, this, &TForm1::JPEG1Click);
  connect(GIF1, &QAction::triggered, this, &TForm1::GIF1Click);
  connect(PNG1, &QAction::triggered, this, &TForm1::PNG1Click);
  BuildPreviewPlayer();
}

void TForm1::BuildOptionsPanel(QWidget *AParent) {
  OptionsPanel = new QFrame(AParent);
  OptionsPanel->setObjectName(QStringLiteral("OptionsPanel"));
  OptionsPanel->setGeometry(3, 286, 868, 107);
  auto label = [&](const QString &AText, QRect AGeom) {
    auto *l = new QLabel(AText, OptionsPanel);
    l->setGeometry(AGeom);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
  };
  label(QStringLiteral("输出文件存放目录："), QRect(8, 16, 130, 26));
  Edit1 = new QLineEdit(OptionsPanel);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setReadOnly(true);
  Edit1->setGeometry(142, 16, 534, 26);
  suiButton3 =
      SmallButton(OptionsPanel, "suiButton3", QStringLiteral("浏览..."), QRect(686, 16, 80, 26));
  suiButton11 =
      SmallButton(OptionsPanel, "suiButton11", QStringLiteral("打开"), QRect(774, 16, 80, 26));

  label(QStringLiteral("当完成转换任务后："), QRect(8, 62, 130, 26));
  cbCompletionAction = new QComboBox(OptionsPanel);
  cbCompletionAction->setObjectName(QStringLiteral("cbCompletionAction"));
  cbCompletionAction->addItems({QStringLiteral("什么也不做"), QStringLiteral("关闭计算机"),
                                QStringLiteral("打开转换输出文件夹"),
                                QStringLiteral("播放提醒音乐")});
  cbCompletionAction->setGeometry(142, 62, 220, 26);
  label(QStringLiteral("如果输出文件存在："), QRect(400, 62, 130, 26));
  cbExistingFile = new QComboBox(OptionsPanel);
  cbExistingFile->setObjectName(QStringLiteral("cbExistingFile"));
  cbExistingFile->addItems(
      {QStringLiteral("自动生成相应的新文件名"), QStringLiteral("直接覆盖该文件")});
  cbExistingFile->setGeometry(534, 62, 232, 26);

  // The run settings have a row of their own that the user never sees.
  cbConcurrentFiles = new QComboBox(OptionsPanel);
  cbConcurrentFiles->setObjectName(QStringLiteral("cbConcurrentFiles"));
  for (int i = 1; i <= 10; ++i) cbConcurrentFiles->addItem(QStringLiteral("%1个文件").arg(i));
  cbConcurrentFiles->hide();
  cbCpuPriority = new QComboBox(OptionsPanel);
  cbCpuPriority->setObjectName(QStringLiteral("cbCpuPriority"));
  cbCpuPriority->addItems({QStringLiteral("闲置时进行"), QStringLiteral("CPU占用最低"),
                           QStringLiteral("CPU占用一般"), QStringLiteral("正常转换")});
  cbCpuPriority->hide();

  connect(suiButton3, &QPushButton::clicked, this, &TForm1::suiButton3Click);
  connect(suiButton11, &QPushButton::clicked, this, &TForm1::suiButton11Click);
}

// ---------------------------------------------------------------- start-up

void TForm1::FormCreate() {
  QApplication::setApplicationName(QString::fromUtf8(kAppTitle));
  setWindowTitle(QString::fromUtf8(kAppTitle));
  // The conversion profile's output name is emptied here once the profile joins.
  Form_pause = "NO";
  Button15Click();
  Button17Click();
  Button19Click();
  Button21Click();
  Button55Click();
  Button3Click();
  bsSkinSlider1_down_UP = "UP";
  T_Down_UP_Move = false;
  SetSituation(TListSituation::StartUp);
  ShowPlaceholder(true);
}

void TForm1::Button17Click() {
  FileOutPutPath = ReadOutputFolder(FIni, FPaths.DefaultOutputFolder());
  Edit1->setText(Q(FileOutPutPath));
}

void TForm1::Button16Click() {
  WriteOutputFolder(FIni, FileOutPutPath);
}

void TForm1::Button3Click() {
  ApplySkin(ReadSkinIndex(FIni));
}

void TForm1::Button4Click() {
  WriteSkinIndex(FIni, FSkinIndex);
}

void TForm1::Button55Click() {
  SetSnapshotType(ReadSnapshotPicture(FIni));
}

void TForm1::Button19Click() {
  cbCompletionAction->setCurrentIndex(2);
  cbCpuPriority->setCurrentIndex(3);
  cbConcurrentFiles->setCurrentIndex(0);
}

void TForm1::Button15Click() {
  Slots.Reset();
}

void TForm1::Button21Click() {
  FFileFilters = SourceFileFilters();
}

void TForm1::ApplySkin(int AIndex) {
  FSkinIndex = (AIndex >= 0 && AIndex < kSkinCountUi) ? AIndex : 0;
  qApp->setStyleSheet(SkinStyleSheet(FSkinIndex));
  ToolBar1->setStyleSheet(ToolBarStyleSheet());
}

void TForm1::ToolButton11Click() {
  SkinChooser->SetSkinIndex(FSkinIndex);
  if (SkinChooser->exec() == QDialog::Accepted) ApplySkin(SkinChooser->SkinIndex());
  Button4Click();
}

std::string TForm1::GetSystemStr() {
  return FPlatform.SystemName();
}

void TForm1::suiButton3Click() {
  std::optional<std::string> folder = FPlatform.ChooseFolder("选择输出目录");
  if (!folder || !DirectoryExists(*folder)) return;
  if (FolderRefusedOnSystem(GetSystemStr(), *folder)) {
    FPlatform.MessageBox(
        "提示信息，Win 7和Vista系统权限不允许设置该目录，请您更换一个其他目录存放输出的文件！",
        "提示", TMsgIcon::Information, TMsgButtons::Ok);
    return;
  }
  FileOutPutPath = *folder;
  Edit1->setText(Q(FileOutPutPath));
  Button16Click();
}

void TForm1::suiButton11Click() {
  Button20Click();
}

void TForm1::Button20Click() {
  // Nothing is reported when the desktop cannot open it.
  (void)FPlatform.OpenWithDefaultHandler(Edit1->text().toStdString());
}

// ---------------------------------------------------------------- help

void TForm1::HelpSystemClick() {
  (void)FPlatform.OpenWithDefaultHandler(kProductHelpUrl);
}

void TForm1::WebSiteClick() {
  (void)FPlatform.OpenWithDefaultHandler(kProductWebSite);
}

void TForm1::MailClick() {
  (void)FPlatform.OpenWithDefaultHandler(std::string("mailto:") + kProductSupportMail);
}

void TForm1::AboutClick() {
  if (Form4) Form4->exec();
}

// ---------------------------------------------------------------- the list

void TForm1::SetSituation(TListSituation ASituation, bool ARowsRemain) {
  ApplySituation(FControls, ASituation, ARowsRemain);
  ShowControlStates();
}

void TForm1::ShowControlStates() {
  ToolButtonAdd->setEnabled(FControls.Add);
  btnRemove->setEnabled(FControls.RemoveTool);
  btnRemove2->setEnabled(FControls.RemoveList);
  btnClear->setEnabled(FControls.ClearTool);
  btnClear2->setEnabled(FControls.ClearList);
  Button10->setEnabled(FControls.MoveUp);
  Button11->setEnabled(FControls.MoveDown);
  ToolButton3->setEnabled(FControls.Start);
  btnPause->setEnabled(FControls.Pause);
  btnStop->setEnabled(FControls.Stop);
  suiButton3->setEnabled(FControls.Browse);
  cbExistingFile->setEnabled(FControls.ExistingFile);
}

void TForm1::ShowPlaceholder(bool AShow) {
  ImagePlaceholder->setVisible(AShow);
  if (AShow) ImagePlaceholder->raise();
}

int TForm1::AddListRow(const std::string &ASource, const TInputOptions &AInput,
                       const TOutputOptions &AOutput) {
  // Checked before the row exists, so a full list stays exactly as it was.
  if (Slots.FindFree() < 0) {
    FPlatform.MessageBox("转换列表已满，没有空位再添加文件，请先清空转换列表！", "提示",
                         TMsgIcon::Information, TMsgButtons::Ok);
    return -1;
  }
  ShowPlaceholder(false);
  const int row = AdvListView1->AppendRow();
  AdvListView1->SetCell(row, TAdvListView::colSource, Q(ASource));
  AdvListView1->SetCell(row, TAdvListView::colSourceExt, QFileInfo(Q(ASource)).suffix().toUpper());
  AdvListView1->SetCell(row, TAdvListView::colTargetExt,
                        QFileInfo(Q(AOutput.FileName)).suffix().toUpper());
  AdvListView1->SetCell(row, TAdvListView::colTime, QStringLiteral("00:00:00"));
  AdvListView1->SetCell(row, TAdvListView::colSize, QStringLiteral("0.00MB"));
  AdvListView1->SetCell(row, TAdvListView::colState, QString::fromUtf8(kStateReady));
  (void)Slots.Store(AInput, AOutput);
  AdvListView1->SetProgress(row, 0);
  AddLogFramed("装入成功.");
  SetSituation(TListSituation::AfterAdd);
  return row;
}

void TForm1::btnRemoveClick() {
  const int i = AdvListView1->SelectedRow();
  if (i < 0) {
    FPlatform.MessageBox("请先选择您需要删除的项目！", "提示", TMsgIcon::Information,
                         TMsgButtons::Ok);
    return;
  }
  if (AdvListView1->State(i) == QString::fromUtf8(kStateReady)) QueueRemoveTaskOfRow(i);
  AdvListView1->DeleteRow(i);
  Slots.Remove(i);
  AdvListView1->Renumber();
  T_Down_UP_Move = false;
  const bool rowsRemain = AdvListView1->rowCount() > 0;
  SetSituation(TListSituation::AfterRemove, rowsRemain);
  PlayerStop();
  bsSkinSlider1->setValue(0);
  if (!rowsRemain)
    ShowPlaceholder(true);
  else
    PanelVideo->update();
}

void TForm1::btnClearClick() {
  Button7Click();
  QueueClearTasks();
  AdvListView1->setRowCount(0);
  SetSituation(TListSituation::AfterClear);
  Button15Click();
  ShowPlaceholder(true);
  PlayerStop();
  bsSkinSlider1->setValue(0);
}

void TForm1::Button10Click() {
  T_Down_UP_Move = true;
  const int i = AdvListView1->SelectedRow();
  if (i > 0) {
    AdvListView1->ExchangeRows(i, i - 1);
    AdvListView1->SelectRow(i - 1);
    AdvListView1->setFocus();
    Slots.Exchange(i, i - 1);
    AdvListView1->Renumber();
  }
  T_Down_UP_Move = false;
}

void TForm1::Button11Click() {
  T_Down_UP_Move = true;
  const int i = AdvListView1->SelectedRow();
  if (i >= 0 && i + 1 < AdvListView1->rowCount()) {
    AdvListView1->ExchangeRows(i, i + 1);
    AdvListView1->SelectRow(i + 1);
    AdvListView1->setFocus();
    Slots.Exchange(i, i + 1);
    AdvListView1->Renumber();
  }
  T_Down_UP_Move = false;
}

void TForm1::AdvListView1SelectItem() {
  if (!QueueWorking()) SetSituation(TListSituation::RowSelected);
  bsSkinSlider1->setValue(0);
  const int row = AdvListView1->SelectedRow();
  if (row >= 0) {
    T_Movie_PLayer_FileName = AdvListView1->Cell(row, TAdvListView::colSource).toStdString();
    if (!T_Down_UP_Move) Button31Click();
  }
}

void TForm1::AdvListView1Click() {
  if (AdvListView1->SelectedRow() < 0) PlayerStop();
}

void TForm1::AddLog(const QString &ALine) {
  mmoLog->appendPlainText(ALine);
}

// ---------------------------------------------------------------- snapshot settings

void TForm1::SetSnapshotType(const std::string &AType) {
  QAction *a = AType == "JPG" ? JPEG1 : AType == "GIF" ? GIF1 : AType == "PNG" ? PNG1 : BMP1;
  a->setChecked(true);
}

void TForm1::BMP1Click() {
  WriteSnapshotPicture(FIni, "BMP");
  SetSnapshotType("BMP");
}

void TForm1::JPEG1Click() {
  WriteSnapshotPicture(FIni, "JPG");
  SetSnapshotType("JPG");
}

void TForm1::GIF1Click() {
  WriteSnapshotPicture(FIni, "GIF");
  SetSnapshotType("GIF");
}

void TForm1::PNG1Click() {
  WriteSnapshotPicture(FIni, "PNG");
  SetSnapshotType("PNG");
}

std::string TForm1::SnapshotFolder() {
  return ReadSnapshotDir(FIni, FPaths.DefaultSnapshotFolder());
}

void TForm1::MenuItem1Click() {
  (void)FPlatform.OpenWithDefaultHandler(SnapshotFolder());
}

void TForm1::MenuItem2Click() {
  std::optional<std::string> folder = FPlatform.ChooseFolder("选择输出目录");
  if (!folder || !DirectoryExists(*folder)) return;
  if (FolderRefusedOnSystem(GetSystemStr(), *folder)) {
    FPlatform.MessageBox(
        "提示信息，Win 7和Vista系统权限不允许设置该目录，请您更换一个其他目录存放快照文件！",
        "提示", TMsgIcon::Information, TMsgButtons::Ok);
    return;
  }
  WriteSnapshotDir(FIni, *folder);
}

// ---------------------------------------------------------------- closing

void TForm1::FormCloseQuery() {
  // Handlers first, so no late notification reaches a window on its way out.
  PlayerDetachHandlers();
  QueueDetachHandlers();
  QueueStopAndWait();
  LoggerDetachHandler();
}

bool TForm1::eventFilter(QObject *AWatched, QEvent *AEvent) {
  // A click anywhere on the list, also below the last row.
  if (AWatched == AdvListView1->viewport() && AEvent->type() == QEvent::MouseButtonRelease)
    AdvListView1Click();
  return QMainWindow::eventFilter(AWatched, AEvent);
}

void TForm1::closeEvent(QCloseEvent *AEvent) {
  FormCloseQuery();
  AEvent->accept();  // closing is always allowed
}

void TForm1::showEvent(QShowEvent *AEvent) {
  QMainWindow::showEvent(AEvent);
  if (FCentred) return;
  FCentred = true;
  if (QScreen *s = screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(s->availableGeometry().center());
    move(frame.topLeft());
  }
}

// ---------------------------------------------------------------- seams

void TForm1::Button7Click() { Profile.Reset(); }
