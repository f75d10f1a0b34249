// A platform for tests: dialogs answer from a script, everything the program asks of
// the desktop is recorded, and nothing reaches the real desktop or power switch.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "Platform.h"

class TScriptedPlatform : public IPlatform {
 public:
  struct TMessage {
    std::string Text, Caption;
    TMsgIcon Icon;
    TMsgButtons Buttons;
  };

  // Answers, consumed in order. An empty script answers Ok / cancels choosers.
  std::deque<TMsgResult> MessageAnswers;
  std::deque<std::optional<std::string>> FileAnswers;
  std::deque<std::vector<std::string>> FilesAnswers;
  std::deque<std::optional<std::string>> FolderAnswers;
  std::string System = "Linux 6.1.0";
  bool OpenSucceeds = true;

  // What the program asked for.
  std::vector<TMessage> Messages;
  std::vector<std::string> ChooserTitles;
  std::vector<std::vector<TFileFilter>> ChooserFilters;
  std::vector<std::string> Opened;
  std::vector<std::string> Sounds;
  int PowerOffRequests = 0;

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
  std::string SystemName() override { return System; }
};
