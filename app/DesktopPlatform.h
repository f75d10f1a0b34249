// The platform of the running program: Qt dialogs, the desktop's default handlers, the
// system's power-off request and SDL sound. It refuses to be built inside the tests.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "core/Platform.h"

class TWavSound;

class TDesktopPlatform : public IPlatform {
 public:
  // Throws std::logic_error when QUORVEL_TEST is set.
  TDesktopPlatform();
  ~TDesktopPlatform() override;

  // Dialogs open over this window.
  void SetParentWindow(QWidget *AWindow) { FParent = AWindow; }

  TMsgResult MessageBox(const std::string &AText, const std::string &ACaption, TMsgIcon AIcon,
                        TMsgButtons AButtons) override;
  std::optional<std::string> ChooseFile(const std::string &ATitle,
                                        const std::vector<TFileFilter> &AFilters) override;
  std::vector<std::string> ChooseFiles(const std::string &ATitle,
                                       const std::vector<TFileFilter> &AFilters) override;
  std::optional<std::string> ChooseFolder(const std::string &ATitle) override;
  bool OpenWithDefaultHandler(const std::string &APathOrUrl) override;
  bool RequestPowerOff() override;
  bool PlaySoundAsync(const std::string &AWavFile) override;
  std::string SystemName() override;

 private:
  QPointer<QWidget> FParent;
  std::unique_ptr<TWavSound> FSound;
};
