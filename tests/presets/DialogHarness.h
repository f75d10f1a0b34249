// Shared set-up of the dialog tests: a main-window double and the two dialogs wired
// like the program entry wires them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "ConversionProfile.h"
#include "FormatChooser.h"
#include "OptionsDialog.h"
#include "PresetsHost.h"

struct FakeHost : TPresetsHost {
  QString Folder = QStringLiteral("/home/u/Quorvel视频输出");
  std::vector<std::pair<QString, QString>> Messages;
  int FocusCalls = 0;

  QString OutputFolderText() const override { return Folder; }
  void FocusOutputFolder() override { ++FocusCalls; }
  void ShowInformation(const QString &title, const QString &text) override {
    Messages.emplace_back(title, text);
  }
};

struct Dialogs {
  FakeHost Host;
  TConversionProfile Profile;
  TForm7 Chooser{Profile, Host};
  TForm8 Options{Profile, Host, &Chooser};

  // Runs the chooser modally as the main window does; act runs inside its loop and must
  // end it. Returns the chooser's dialog result.
  int RunChooser(std::function<void()> act) {
    WhenModal(&Chooser, std::move(act));
    return Chooser.exec();
  }

  // Runs act once dialog is showing in its modal loop; a dialog still open five seconds
  // later is a failure and is closed so the run goes on.
  static void WhenModal(QDialog *dialog, std::function<void()> act) {
    auto *poll = new QTimer(dialog);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, dialog, [dialog, poll, act = std::move(act)] {
      if (!dialog->isVisible() || QApplication::activeModalWidget() != dialog) return;
      poll->stop();
      poll->deleteLater();
      act();
    });
    poll->start();
    QTimer::singleShot(5000, dialog, [dialog] {
      if (dialog->isVisible()) {
        ADD_FAILURE() << "dialog left open: " << dialog->windowTitle().toStdString();
        dialog->done(QDialog::Rejected);
      }
    });
  }

  // "下一步" in the chooser, with act run inside the options dialog's loop.
  void NextThen(std::function<void()> act) {
    WhenModal(&Options, std::move(act));
    Chooser.suiButton1->click();
  }

  // Picks the preset shown at bar entry barRow, position row.
  void Pick(int barRow, int row) {
    Chooser.CategoryBar->setCurrentRow(barRow);
    emit Chooser.CategoryBar->itemClicked(Chooser.CategoryBar->item(barRow));
    Chooser.suiListView4->setCurrentRow(row);
  }

  // The single-file add: reset, record the source, choose, confirm.
  void BeginAdd(const char *source = "/media/v/clip.rmvb") {
    Profile.Reset();
    Profile.AFileName = source;
  }
};

inline QString Current(const QComboBox *c) {
  return c->currentText();
}

inline QStringList ItemsOf(const QComboBox *c) {
  QStringList items;
  for (int i = 0; i < c->count(); ++i) items << c->itemText(i);
  return items;
}
