// The main window joined to the real format chooser and options dialog, in a temporary
// program folder and home, for tests that drive adding and converting through them.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "FormatChooser.h"
#include "MainWindow.h"
#include "OptionsDialog.h"
#include "PresetsLink.h"
#include "ScriptedPlatform.h"
#include "TempDir.h"

// Runs act once dialog is the modal one.
inline void WhenModal(QDialog *dialog, std::function<void()> act) {
  auto *poll = new QTimer(dialog);
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, dialog, [dialog, poll, act = std::move(act)] {
    if (QApplication::activeModalWidget() != dialog) return;
    poll->stop();
    poll->deleteLater();
    act();
  });
  poll->start();
}

class TWindowWithDialogs {
 protected:
  TTempDir dir;
  TScriptedPlatform platform;
  std::unique_ptr<TForm1> form1;
  std::unique_ptr<TPresetsLink> link;
  std::unique_ptr<TForm7> form7;
  std::unique_ptr<TForm8> form8;

  // Builds the window and its dialogs; AFolders are created beside the program's.
  void OpenWindow(std::initializer_list<std::string> AFolders = {}) {
    TAppPaths p;
    p.ProgramDir = dir / "bin";
    p.HomeDir = dir / "home";
    p.ConfigHome = dir / "home/.config";
    std::filesystem::create_directories(p.ProgramDir);
    std::filesystem::create_directories(p.HomeDir);
    for (const std::string &d : AFolders) std::filesystem::create_directories(d);
    form1 = std::make_unique<TForm1>(platform, p);
    link = std::make_unique<TPresetsLink>(*form1, platform);
    form7 = std::make_unique<TForm7>(form1->Profile, *link, form1.get());
    form8 = std::make_unique<TForm8>(form1->Profile, *link, form7.get(), form1.get());
    form1->SetFormatDialogs(form7.get(), form8.get());
  }

  // Closes the window as the user would (a running batch is stopped) and frees it.
  void CloseWindow() {
    form1->FormCloseQuery();
    form8.reset();
    form7.reset();
    form1.reset();
  }
};
