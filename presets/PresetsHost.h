// What the chooser and the options dialog need from the main window. The main window
// implements it; tests give a double that answers messages without a real box.
#pragma once

#include <QString>

class TPresetsHost {
 public:
  virtual ~TPresetsHost() = default;
  // The output folder as shown in the main window's output-folder field.
  virtual QString OutputFolderText() const = 0;
  // After the chooser was cancelled: focus the output-folder field, repaint the window.
  virtual void FocusOutputFolder() = 0;
  // A modal information box with a single OK button.
  virtual void ShowInformation(const QString &title, const QString &text) = 0;
};
