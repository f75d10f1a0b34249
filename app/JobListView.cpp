#include "JobListView.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionProgressBar>

namespace {

const char *const kHeaders[] = {"序号",     "视频源文件", "源格式",   "目标格式",
                                "当前时间", "转换大小",   "转换进度", "状态"};
const int kWidths[] = {40, 120, 60, 60, 80, 70, 100, 70};

}  // namespace

TAdvListView::TAdvListView(QWidget *AParent) : QTableWidget(0, kColumnCount, AParent) {
  setObjectName(QStringLiteral("AdvListView1"));
  QStringList headers;
  for (const char *h : kHeaders) headers << QString::fromUtf8(h);
  setHorizontalHeaderLabels(headers);
  for (int c = 0; c < kColumnCount; ++c) setColumnWidth(c, kWidths[c]);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  verticalHeader()->setVisible(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(20);
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setTextElideMode(Qt::ElideMiddle);
  setItemDelegateForColumn(colProgress, new TProgressDelegate(this));
}

int TAdvListView::AppendRow() {
  int row = rowCount();
  insertRow(row);
  for (int c = 0; c < kColumnCount; ++c) setItem(row, c, new QTableWidgetItem());
  return row;
}

QString TAdvListView::Cell(int ARow, int AColumn) const {
  const QTableWidgetItem *it = item(ARow, AColumn);
  return it ? it->text() : QString();
}

void TAdvListView::SetCell(int ARow, int AColumn, const QString &AText) {
  if (ARow < 0 || ARow >= rowCount()) return;
  QTableWidgetItem *it = item(ARow, AColumn);
  if (!it) {
    it = new QTableWidgetItem();
    setItem(ARow, AColumn, it);
  }
  it->setText(AText);
  if (AColumn == colSource) it->setToolTip(AText);
}

void TAdvListView::SetProgress(int ARow, int APercent) {
  if (ARow < 0 || ARow >= rowCount()) return;
  QTableWidgetItem *it = item(ARow, colProgress);
  it->setData(kProgressRole, APercent);
  it->setText(QString::asprintf("%d%%", APercent));
}

void TAdvListView::SetProgressUnknown(int ARow) {
  if (ARow < 0 || ARow >= rowCount()) return;
  QTableWidgetItem *it = item(ARow, colProgress);
  it->setData(kProgressRole, -1);
  it->setText(QStringLiteral("N/A"));
}

int TAdvListView::Progress(int ARow) const {
  const QTableWidgetItem *it = item(ARow, colProgress);
  if (!it) return 0;
  QVariant v = it->data(kProgressRole);
  return v.isValid() ? v.toInt() : 0;
}

QString TAdvListView::ProgressText(int ARow) const {
  return Cell(ARow, colProgress);
}

void TAdvListView::DeleteRow(int ARow) {
  if (ARow < 0 || ARow >= rowCount()) return;
  clearSelection();
  setCurrentIndex(QModelIndex());
  removeRow(ARow);
}

void TAdvListView::ExchangeRows(int A, int B) {
  if (A < 0 || B < 0 || A >= rowCount() || B >= rowCount() || A == B) return;
  for (int c = 0; c < kColumnCount; ++c) {
    QTableWidgetItem *a = takeItem(A, c);
    QTableWidgetItem *b = takeItem(B, c);
    setItem(A, c, b);
    setItem(B, c, a);
  }
}

void TAdvListView::Renumber() {
  for (int r = 0; r < rowCount(); ++r) SetCell(r, colNumber, QString::number(r + 1));
}

int TAdvListView::SelectedRow() const {
  const QList<QTableWidgetItem *> sel = selectedItems();
  return sel.isEmpty() ? -1 : sel.first()->row();
}

void TAdvListView::SelectRow(int ARow) {
  if (ARow < 0 || ARow >= rowCount()) {
    clearSelection();
    return;
  }
  setCurrentCell(ARow, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TProgressDelegate::paint(QPainter *APainter, const QStyleOptionViewItem &AOption,
                              const QModelIndex &AIndex) const {
  QVariant v = AIndex.data(TAdvListView::kProgressRole);
  if (!v.isValid()) {  // an empty cell: nothing to draw but the background
    QStyledItemDelegate::paint(APainter, AOption, AIndex);
    return;
  }
  int percent = v.toInt();
  QStyleOptionProgressBar bar;
  bar.rect = AOption.rect.adjusted(1, 2, -1, -2);
  bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
  bar.direction = AOption.direction;
  bar.fontMetrics = AOption.fontMetrics;
  // The bar's text takes the list's text colour, so it stays readable on every skin.
  bar.palette = AOption.palette;
  const QColor text = AOption.palette.color(QPalette::Text);
  bar.palette.setColor(QPalette::WindowText, text);
  bar.palette.setColor(QPalette::HighlightedText, text);
  bar.minimum = 0;
  bar.maximum = 100;
  bar.textVisible = true;
  bar.textAlignment = Qt::AlignCenter;
  if (percent < 0) {
    bar.progress = 0;
    bar.text = QStringLiteral("N/A");
  } else {
    // Reports are not clamped; the bar is.
    bar.progress = std::min(percent, 100);
    bar.text = QString::asprintf("%d%%", percent);
  }
  const QWidget *w = AOption.widget;
  QStyle *style = w ? w->style() : QApplication::style();
  if (AOption.state & QStyle::State_Selected)
    APainter->fillRect(AOption.rect, AOption.palette.highlight());
  style->drawControl(QStyle::CE_ProgressBar, &bar, APainter, w);
}
