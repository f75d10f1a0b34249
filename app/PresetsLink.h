// How the format chooser and the options dialog reach the main window: its
// output-folder field, and message boxes through the window's platform.
#pragma once

#include "PresetsHost.h"

class IPlatform;
class TForm1;

class TPresetsLink : public TPresetsHost {
 public:
  TPresetsLink(TForm1 &AForm1, IPlatform &APlatform) : FForm1(AForm1), FPlatform(APlatform) {}

  QString OutputFolderText() const override;
  void FocusOutputFolder() override;
  void ShowInformation(const QString &ATitle, const QString &AText) override;

 private:
  TForm1 &FForm1;
  IPlatform &FPlatform;
};
