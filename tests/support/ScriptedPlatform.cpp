#include "ScriptedPlatform.h"

TMsgResult TScriptedPlatform::MessageBox(const std::string &AText, const std::string &ACaption,
                                         TMsgIcon AIcon, TMsgButtons AButtons) {
  Messages.push_back({AText, ACaption, AIcon, AButtons});
  if (MessageAnswers.empty()) return TMsgResult::Ok;
  TMsgResult r = MessageAnswers.front();
  MessageAnswers.pop_front();
  return r;
}

std::optional<std::string> TScriptedPlatform::ChooseFile(const std::string &ATitle,
                                                         const std::vector<TFileFilter> &AFilters) {
  ChooserTitles.push_back(ATitle);
  ChooserFilters.push_back(AFilters);
  if (FileAnswers.empty()) return std::nullopt;
  auto r = FileAnswers.front();
  FileAnswers.pop_front();
  return r;
}

std::vector<std::string> TScriptedPlatform::ChooseFiles(const std::string &ATitle,
                                                        const std::vector<TFileFilter> &AFilters) {
  ChooserTitles.push_back(ATitle);
  ChooserFilters.push_back(AFilters);
  if (FilesAnswers.empty()) return {};
  auto r = FilesAnswers.front();
  FilesAnswers.pop_front();
  return r;
}

std::optional<std::string> TScriptedPlatform::ChooseFolder(const std::string &ATitle) {
  ChooserTitles.push_back(ATitle);
  if (FolderAnswers.empty()) return std::nullopt;
  auto r = FolderAnswers.front();
  FolderAnswers.pop_front();
  return r;
}

bool TScriptedPlatform::OpenWithDefaultHandler(const std::string &APathOrUrl) {
  Opened.push_back(APathOrUrl);
  return OpenSucceeds;
}

bool TScriptedPlatform::RequestPowerOff() {
  ++PowerOffRequests;
  return true;
}

bool TScriptedPlatform::PlaySoundAsync(const std::string &AWavFile) {
  Sounds.push_back(AWavFile);
  return true;
}
