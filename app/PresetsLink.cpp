#include "PresetsLink.h"

#include <QLineEdit>

#include "MainWindow.h"

QString TPresetsLink::OutputFolderText() const {
  return FForm1.Edit1->text();
}

void TPresetsLink::FocusOutputFolder() {
  FForm1.Edit1->setFocus();
  FForm1.update();
}

void TPresetsLink::ShowInformation(const QString &ATitle, const QString &AText) {
  FPlatform.MessageBox(AText.toStdString(), ATitle.toStdString(), TMsgIcon::Information,
                       TMsgButtons::Ok);
}
