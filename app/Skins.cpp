#include "Skins.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const TSkin kSkins[kSkinCountUi] = {
    {"商务浅色", "LightBusiness.skn"},    {"2010蓝色", "2010Blue_Aero.skn"},
    {"精致矢量", "FineVector_Aero.skn"},  {"商务浅色二", "LightBusiness2.skn"},
    {"商务浅色三", "LightBusiness3.skn"}, {"简约", "Laconic_Aero.skn"},
};

struct TPalette {
  const char *Window, *Panel, *Border, *Text, *Button, *ButtonHover, *Accent, *AccentText, *Base,
      *Header;
};

const TPalette kPalettes[kSkinCountUi] = {
    // Window   Panel      Border     Text       Button     Hover      Accent     AccText    Base
    // Header
    {"#eef1f5", "#f7f9fb", "#a9b4c2", "#1f2933", "#e4e9f0", "#d3dceb", "#3b6fb6", "#ffffff",
     "#ffffff", "#dde4ee"},
    {"#cfe0f5", "#e3eefb", "#7fa3d1", "#10243e", "#d6e6fa", "#bcd4f4", "#1f5fb4", "#ffffff",
     "#f6faff", "#c3d8f3"},
    {"#e5ebe4", "#f2f5f1", "#98a894", "#1e2a1c", "#dde6da", "#c9d8c4", "#4d8a3f", "#ffffff",
     "#fbfdfa", "#d3dfcf"},
    {"#f1ece2", "#f8f5ef", "#b9ab92", "#2f2618", "#ebe3d3", "#dfd2ba", "#a0702a", "#ffffff",
     "#fffdf9", "#e6dcc8"},
    {"#e2eff0", "#eff7f7", "#8fb5b8", "#173032", "#d8ebec", "#c1dfe1", "#2a8288", "#ffffff",
     "#fafefe", "#cfe5e6"},
    {"#2d3035", "#383c42", "#555b64", "#e6e8eb", "#464b52", "#545a62", "#4f9de0", "#ffffff",
     "#25282c", "#41464d"},
};

}  // namespace

const TSkin &SkinAt(int AIndex) {
  if (AIndex < 0 || AIndex >= kSkinCountUi) AIndex = 0;
  return kSkins[AIndex];
}

QString SkinStyleSheet(int AIndex) {
  if (AIndex < 0 || AIndex >= kSkinCountUi) AIndex = 0;
  const TPalette &p = kPalettes[AIndex];
  QString s = QStringLiteral(R"(
QMainWindow, QDialog { background: %1; color: %4; }
QWidget { color: %4; }
QFrame#ListPanel, QFrame#PreviewPanel, QFrame#OptionsPanel {
  background: %2; border: 1px solid %3; border-radius: 3px; }
QFrame#PanelVideo { background: #000000; border: 1px solid %3; }
QLabel { background: transparent; }
QPushButton { background: %5; border: 1px solid %3; border-radius: 3px; padding: 2px 8px; min-height: 18px; }
QPushButton:hover { background: %6; }
QPushButton:pressed { background: %7; color: %8; }
QPushButton:disabled { color: %3; }
QLineEdit, QComboBox { background: %9; border: 1px solid %3; border-radius: 2px; padding: 1px 4px; }
QComboBox QAbstractItemView { background: %9; selection-background-color: %7; selection-color: %8; }
QTableWidget, QListWidget { background: %9; gridline-color: %3; border: 1px solid %3;
  selection-background-color: %7; selection-color: %8; }
QHeaderView::section { background: %10; border: 0px; border-right: 1px solid %3;
  border-bottom: 1px solid %3; padding: 2px 4px; }
QStatusBar { background: %10; border-top: 1px solid %3; }
QMenu { background: %9; border: 1px solid %3; }
QMenu::item:selected { background: %7; color: %8; }
QSlider::groove:horizontal { height: 4px; background: %3; border-radius: 2px; }
QSlider::handle:horizontal { width: 10px; margin: -5px 0; background: %7; border-radius: 3px; }
QProgressBar { border: 1px solid %3; background: %9; text-align: center; }
QProgressBar::chunk { background: %7; }
)");
  return s
      .arg(QString::fromLatin1(p.Window), QString::fromLatin1(p.Panel),
           QString::fromLatin1(p.Border), QString::fromLatin1(p.Text),
           QString::fromLatin1(p.Button), QString::fromLatin1(p.ButtonHover),
           QString::fromLatin1(p.Accent), QString::fromLatin1(p.AccentText),
           QString::fromLatin1(p.Base))
      .arg(QString::fromLatin1(p.Header));
}

QString ToolBarStyleSheet() {
  return QStringLiteral(R"(
QToolBar#ToolBar1 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f4f8fd, stop:0.5 #dfeaf7, stop:1 #c9dbf0);
  border-bottom: 1px solid #8faed4; spacing: 2px; padding: 2px 6px; }
QToolBar#ToolBar1 QToolButton { color: #15325a; background: transparent; border: 1px solid transparent;
  border-radius: 4px; padding: 2px; min-width: 62px; }
QToolBar#ToolBar1 QToolButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fff8dc, stop:1 #fde39c);
  border: 1px solid #e8c15d; }
QToolBar#ToolBar1 QToolButton:pressed { background: #f8cf6a; border: 1px solid #c99a2e; }
QToolBar#ToolBar1 QToolButton:disabled { color: #8a9bb3; }
QToolBar#ToolBar1 QToolButton::menu-indicator { image: none; }
QToolBar#ToolBar1::separator { background: #9db7d9; width: 1px; margin: 8px 4px; }
)");
}

TSkinChooser::TSkinChooser(QWidget *AParent) : QDialog(AParent) {
  setObjectName(QStringLiteral("SkinChooser"));
  setWindowTitle(QStringLiteral("更换皮肤"));
  setModal(true);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("请选择软件外观皮肤："), this));
  FList = new QListWidget(this);
  for (const TSkin &s : kSkins) FList->addItem(QString::fromUtf8(s.Name));
  layout->addWidget(FList);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(FList, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  layout->addWidget(buttons);
  resize(260, 280);
}

void TSkinChooser::SetSkinIndex(int AIndex) {
  FList->setCurrentRow(AIndex >= 0 && AIndex < kSkinCountUi ? AIndex : 0);
}

int TSkinChooser::SkinIndex() const {
  return std::max(0, FList->currentRow());
}
