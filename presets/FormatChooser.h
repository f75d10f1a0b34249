// The format chooser: a modal dialog in which the user picks one preset of the
// catalogue before sources are added. Created once and reused; it keeps its category
// and selection between showings.
#pragma once

#include <QDialog>
#include <QString>

#include "ConversionProfile.h"

class QLabel;
class QListWidget;
class QPushButton;
class QToolBox;
class TForm8;
class TPresetsHost;

class TForm7 : public QDialog {
  Q_OBJECT

 public:
  TForm7(TConversionProfile &profile, TPresetsHost &host, QWidget *parent = nullptr);

  // The options dialog that "下一步" opens.
  void SetOptionsDialog(TForm8 *dialog) { FOptionsDialog = dialog; }

  // Category number of the displayed category.
  int Number_NEW_3GP = 0;
  // "1" once the options dialog was confirmed, "2" otherwise.
  QString NextorCancel = QStringLiteral("2");

  void FormCreate();
  void FormShow();
  void FormActivate();

  // Category bar entries, in bar order.
  void Button38Click();
  void Button29Click();
  void Button14Click();
  void Button16Click();
  void Button22Click();
  void Button15Click();
  void Button13Click();
  void Button17Click();
  void Button37Click();
  void Button25Click();
  void Button20Click();
  void Button10Click();
  void Button11Click();
  void Button12Click();

  void suiListView4SelectItem();
  void suiListView4Click();
  void suiListView4DblClick();
  void suiButton1Click();  // "下一步"
  void suiButton2Click();  // "取消"

  // Escape and the window manager's close act as "取消".
  void reject() override;

  QToolBox *CategoryBox = nullptr;
  QListWidget *CategoryBar = nullptr;   // the section "视频类别"
  QListWidget *suiListView4 = nullptr;  // the presets of the displayed category
  QLabel *InstructionLabel = nullptr;
  QLabel *CategoryTotalLabel = nullptr;
  QLabel *SummaryLabel = nullptr;
  QLabel *PresetCountLabel = nullptr;
  QPushButton *suiButton1 = nullptr;
  QPushButton *suiButton2 = nullptr;

 protected:
  void showEvent(QShowEvent *event) override;
  bool event(QEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  void DisplayCategory(int categoryNumber);
  void OpenOptionsDialog();
  void CategoryBarClicked(int row);

  TConversionProfile &FProfile;
  TPresetsHost &FHost;
  TForm8 *FOptionsDialog = nullptr;
};
