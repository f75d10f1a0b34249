// The options dialog: shows the option lists of the chosen preset, lets the user adjust
// them and on OK turns the chosen texts into conversion-profile values. The rules live
// in OptionRules.h; this class mirrors them into drop-down lists.
#pragma once

#include <QDialog>
#include <QString>

#include "ConversionProfile.h"
#include "OptionRules.h"

class QComboBox;
class QGroupBox;
class QPushButton;
class TForm7;
class TPresetsHost;

class TForm8 : public QDialog {
  Q_OBJECT

 public:
  // Registers itself as the chooser's options dialog. The parent is the main window,
  // over which the dialog opens centred.
  TForm8(TConversionProfile &profile, TPresetsHost &host, TForm7 *chooser,
         QWidget *parent = nullptr);

  // The source file name of the add in progress, as copied from the profile.
  QString SourceFileName;

  void FormShow();
  void Button1Click();     // apply the chosen preset's row
  void Button3Click();     // clear
  void Button4Click();     // confirm
  void Button7Click();     // switch video on
  void suiButton1Click();  // "确定"
  void suiButton2Click();  // "取消"

  // The selectors' current state, as the rules see it.
  [[nodiscard]] TOptionSelectors Selectors() const;

  QGroupBox *VideoBox = nullptr;
  QGroupBox *AudioBox = nullptr;
  QComboBox *suiComboBox3 = nullptr;   // resolution
  QComboBox *suiComboBox2 = nullptr;   // video bitrate
  QComboBox *suiComboBox4 = nullptr;   // frame rate
  QComboBox *suiComboBox8 = nullptr;   // aspect
  QComboBox *suiComboBox6 = nullptr;   // audio bitrate
  QComboBox *suiComboBox7 = nullptr;   // sample rate
  QComboBox *suiComboBox10 = nullptr;  // channels
  QComboBox *suiComboBox1 = nullptr;   // disc target, never shown
  QPushButton *suiButton1 = nullptr;
  QPushButton *suiButton2 = nullptr;

 protected:
  void showEvent(QShowEvent *event) override;

 private:
  void ShowSelectors(const TOptionSelectors &selectors);
  std::string OutputFolder() const;

  TConversionProfile &FProfile;
  TPresetsHost &FHost;
  TForm7 *FChooser = nullptr;
};
