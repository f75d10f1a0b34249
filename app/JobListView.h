// AdvListView1: the conversion list. A report list with grid lines, whole-row single
// selection, rows 20 pixels high, and a progress bar drawn in the progress cell.
#pragma once

#include <QStyledItemDelegate>
#include <QTableWidget>

class TAdvListView : public QTableWidget {
  Q_OBJECT
 public:
  enum TColumn {
    colNumber = 0,  // "序号", the caption
    colSource = 1,  // sub-item 0: source path
    colSourceExt,   // sub-item 1
    colTargetExt,   // sub-item 2
    colTime,        // sub-item 3
    colSize,        // sub-item 4
    colProgress,    // sub-item 5
    colState,       // sub-item 6
  };
  static constexpr int kColumnCount = 8;

  explicit TAdvListView(QWidget *AParent = nullptr);

  // Appends a row whose cells are all empty; returns its index.
  int AppendRow();
  [[nodiscard]] QString Cell(int ARow, int AColumn) const;
  void SetCell(int ARow, int AColumn, const QString &AText);
  // The row's state word (last column).
  [[nodiscard]] QString State(int ARow) const { return Cell(ARow, colState); }

  // Whole percentage shown as a bar with "%d%%"; unknown shows "N/A".
  void SetProgress(int ARow, int APercent);
  void SetProgressUnknown(int ARow);
  [[nodiscard]] int Progress(int ARow) const;
  [[nodiscard]] QString ProgressText(int ARow) const;

  // Deletes the row. The selection goes with it: no neighbour is selected in its place.
  void DeleteRow(int ARow);
  // Exchanges the contents (caption, every sub-item and the progress) of two rows.
  void ExchangeRows(int A, int B);
  // Caption of row k := k+1.
  void Renumber();
  [[nodiscard]] int SelectedRow() const;  // -1 when none
  void SelectRow(int ARow);

  static constexpr int kProgressRole = Qt::UserRole + 1;  // int percent, -1 = unknown
};

// Draws the progress cell as a bar with its text.
class TProgressDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter *APainter, const QStyleOptionViewItem &AOption,
             const QModelIndex &AIndex) const override;
};
