#include "FormatChooser.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QToolBox>
#include <QVBoxLayout>

#include "OptionsDialog.h"
#include "PresetCatalogue.h"
#include "PresetIcons.h"
#include "PresetsHost.h"

namespace {

QString U(const std::string &s) {
  return QString::fromStdString(s);
}

// The bar's handlers in bar order, so a click on entry i runs the i-th handler.
using Handler = void (TForm7::*)();
constexpr Handler kBarHandlers[] = {
    &TForm7::Button38Click, &TForm7::Button29Click, &TForm7::Button14Click, &TForm7::Button16Click,
    &TForm7::Button22Click, &TForm7::Button15Click, &TForm7::Button13Click, &TForm7::Button17Click,
    &TForm7::Button37Click, &TForm7::Button25Click, &TForm7::Button20Click, &TForm7::Button10Click,
    &TForm7::Button11Click, &TForm7::Button12Click};

}  // namespace

TForm7::TForm7(TConversionProfile &profile, TPresetsHost &host, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      FProfile(profile),
      FHost(host) {
  setWindowTitle(QStringLiteral("选择转换格式"));
  setFixedSize(731, 490);
  setModal(true);

  InstructionLabel = new QLabel(QStringLiteral("请选择您要转换的影片格式："), this);
  InstructionLabel->setGeometry(27, 8, 400, 20);

  CategoryBox = new QToolBox(this);
  CategoryBox->setGeometry(27, 32, 145, 374);
  CategoryBar = new QListWidget;
  // All 14 entries fit the bar without scrolling.
  CategoryBar->setIconSize(QSize(22, 22));
  CategoryBar->setGridSize(QSize(128, 23));
  CategoryBar->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  CategoryBar->setFrameShape(QFrame::NoFrame);
  for (const TPresetCategory &c : PresetCategories())
    new QListWidgetItem(QIcon(CategoryIcon(c.Number)), U(c.BarText), CategoryBar);
  CategoryBox->addItem(CategoryBar, QStringLiteral("视频类别"));
  connect(CategoryBar, &QListWidget::itemClicked, this,
          [this](QListWidgetItem *item) { CategoryBarClicked(CategoryBar->row(item)); });

  auto *listFrame = new QFrame(this);
  listFrame->setFrameShape(QFrame::StyledPanel);
  listFrame->setFrameShadow(QFrame::Sunken);
  listFrame->setGeometry(186, 32, 517, 373);
  suiListView4 = new QListWidget(listFrame);
  suiListView4->setViewMode(QListView::IconMode);
  suiListView4->setIconSize(QSize(48, 48));
  suiListView4->setGridSize(QSize(120, 104));
  suiListView4->setWordWrap(true);
  suiListView4->setMovement(QListView::Static);
  suiListView4->setResizeMode(QListView::Adjust);
  suiListView4->setSelectionMode(QAbstractItemView::SingleSelection);
  suiListView4->setFrameShape(QFrame::NoFrame);
  auto *frameLayout = new QVBoxLayout(listFrame);
  frameLayout->setContentsMargins(2, 2, 2, 2);
  frameLayout->addWidget(suiListView4);
  suiListView4->viewport()->installEventFilter(this);
  connect(suiListView4, &QListWidget::itemSelectionChanged, this, &TForm7::suiListView4SelectItem);

  auto *footer = new QWidget(this);
  footer->setGeometry(27, 420, 676, 40);
  auto *row = new QHBoxLayout(footer);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(new QLabel(QStringLiteral("软件共计:"), footer));
  CategoryTotalLabel = new QLabel(footer);
  row->addWidget(CategoryTotalLabel);
  row->addWidget(new QLabel(QStringLiteral("大类"), footer));
  row->addSpacing(24);
  SummaryLabel = new QLabel(footer);
  row->addWidget(SummaryLabel);
  PresetCountLabel = new QLabel(footer);
  row->addWidget(PresetCountLabel);
  row->addWidget(new QLabel(QStringLiteral("小类"), footer));
  row->addStretch(1);
  suiButton1 = new QPushButton(QStringLiteral("下一步"), footer);
  suiButton2 = new QPushButton(QStringLiteral("取消"), footer);
  for (QPushButton *b : {suiButton1, suiButton2}) {
    b->setFixedSize(84, 30);
    b->setAutoDefault(false);
    row->addWidget(b);
  }
  suiButton1->setDefault(true);
  connect(suiButton1, &QPushButton::clicked, this, &TForm7::suiButton1Click);
  connect(suiButton2, &QPushButton::clicked, this, &TForm7::suiButton2Click);

  FormCreate();
}

void TForm7::FormCreate() {
  DisplayCategory(kInitialCategoryNumber);
  CategoryBar->setCurrentRow(1);
  FormActivate();
}

void TForm7::FormShow() {
  NextorCancel = QStringLiteral("2");
  suiListView4->setFocus();
}

void TForm7::FormActivate() {
  CategoryTotalLabel->setText(QString::number(CategoryBar->count()));
}

void TForm7::DisplayCategory(int categoryNumber) {
  const TPresetCategory *category = FindCategory(categoryNumber);
  if (!category) return;
  suiListView4->clear();
  Number_NEW_3GP = categoryNumber;
  for (size_t i = 0; i < category->Names.size(); ++i) {
    const int id = PresetId(categoryNumber, static_cast<int>(i));
    auto *item = new QListWidgetItem(QIcon(PresetIcon(id)), U(category->Names[i]), suiListView4);
    item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    item->setToolTip(U(category->Names[i]));
  }
  SummaryLabel->setText(U(category->SummaryText));
  PresetCountLabel->setText(QString::number(suiListView4->count()));
  suiListView4->setCurrentRow(0);  // selects it, which records the preset id
}

void TForm7::CategoryBarClicked(int row) {
  if (row >= 0 && row < static_cast<int>(std::size(kBarHandlers))) (this->*kBarHandlers[row])();
}

void TForm7::Button38Click() {
  DisplayCategory(27);
}
void TForm7::Button29Click() {
  DisplayCategory(19);
}
void TForm7::Button14Click() {
  DisplayCategory(4);
}
void TForm7::Button16Click() {
  DisplayCategory(6);
}
void TForm7::Button22Click() {
  DisplayCategory(12);
}
void TForm7::Button15Click() {
  DisplayCategory(5);
}
void TForm7::Button13Click() {
  DisplayCategory(3);
}
void TForm7::Button17Click() {
  DisplayCategory(7);
}
void TForm7::Button37Click() {
  DisplayCategory(26);
}
void TForm7::Button25Click() {
  DisplayCategory(15);
}
void TForm7::Button20Click() {
  DisplayCategory(10);
}
void TForm7::Button10Click() {
  DisplayCategory(0);
}
void TForm7::Button11Click() {
  DisplayCategory(1);
}
void TForm7::Button12Click() {
  DisplayCategory(2);
}

void TForm7::suiListView4SelectItem() {
  const QList<QListWidgetItem *> selected = suiListView4->selectedItems();
  if (selected.isEmpty()) return;
  FProfile.VideoSelectType = PresetId(Number_NEW_3GP, suiListView4->row(selected.first()));
}

void TForm7::suiListView4Click() {
  if (!suiListView4->selectedItems().isEmpty()) return;
  FHost.ShowInformation(QStringLiteral("提示"),
                        QStringLiteral("请选择一个要转换的类型，然后点击”下一步“按钮！"));
  suiListView4->setCurrentRow(0);
  suiListView4->item(0)->setSelected(true);
  suiListView4->setFocus();
}

void TForm7::suiListView4DblClick() {
  if (suiListView4->selectedItems().isEmpty()) {
    suiListView4Click();
    return;
  }
  OpenOptionsDialog();
}

void TForm7::suiButton1Click() {
  OpenOptionsDialog();
}

void TForm7::suiButton2Click() {
  NextorCancel = QStringLiteral("2");
  QDialog::reject();
  FHost.FocusOutputFolder();
}

void TForm7::reject() {
  suiButton2Click();
}

void TForm7::OpenOptionsDialog() {
  if (FOptionsDialog) FOptionsDialog->exec();
}

void TForm7::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!parentWidget() || !parentWidget()->isVisible()) {
    if (const QScreen *s = screen()) move(s->availableGeometry().center() - rect().center());
  } else if (const QScreen *s = parentWidget()->screen()) {
    // Centred on the screen the main window is on.
    move(s->availableGeometry().center() - rect().center());
  }
  FormShow();
  FormActivate();
}

bool TForm7::event(QEvent *event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QDialog::event(event);
}

bool TForm7::eventFilter(QObject *watched, QEvent *event) {
  if (watched == suiListView4->viewport()) {
    switch (event->type()) {
      case QEvent::MouseButtonPress: {
        // A press on empty space drops the selection, which the click then reports.
        const auto *me = static_cast<QMouseEvent *>(event);
        if (!suiListView4->itemAt(me->position().toPoint())) {
          suiListView4->clearSelection();
          return true;
        }
        break;
      }
      case QEvent::MouseButtonRelease:
        // The press has already settled the selection.
        suiListView4Click();
        break;
      case QEvent::MouseButtonDblClick: {
        // Decided by where the second press landed, not by what the first click restored.
        const auto *me = static_cast<QMouseEvent *>(event);
        if (!suiListView4->itemAt(me->position().toPoint())) suiListView4->clearSelection();
        suiListView4DblClick();
        return true;
      }
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}
