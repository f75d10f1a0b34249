// Program entry: the application, then the main window (its start-up reads and repairs
// system.ini), then the dialogs, each created once and reused, then the message loop.
#include <QApplication>

#include "AboutBox.h"
#include "DesktopPlatform.h"
#include "FormatChooser.h"
#include "MainWindow.h"
#include "MediaInfoDialog.h"
#include "OptionsDialog.h"
#include "PresetsLink.h"
#include "PreviewWindow.h"

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(kAppTitle));

  TDesktopPlatform platform;
  TForm1 Form1(platform,
               TAppPaths::FromEnvironment(QCoreApplication::applicationDirPath().toStdString()));
  platform.SetParentWindow(&Form1);
  SetPreviewWindowFactory(MakeQtPreviewWindowFactory(&Form1));

  // Dialogs in creation order: About box, format chooser, options dialog, media
  // information dialog.
  TForm4 Form4(platform, &Form1);
  Form1.SetAboutBox(&Form4);
  TPresetsLink presetsLink(Form1, platform);
  TForm7 Form7(Form1.Profile, presetsLink, &Form1);
  TForm8 Form8(Form1.Profile, presetsLink, &Form7, &Form1);
  Form1.SetFormatDialogs(&Form7, &Form8);
  TForm9 Form9(Form1.InfoFields, &Form1);
  Form1.SetInfoDialog(&Form9);

  Form1.show();
  return app.exec();
}
