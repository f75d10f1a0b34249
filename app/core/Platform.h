// What the desktop does for the program: modal messages, file and folder choosers,
// opening folders and addresses with their default handler, the power-off request,
// sounds and the system's name. The window uses nothing else of the desktop, so tests
// hand it a scripted double, and the real power-off cannot be reached from a test.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class TMsgIcon { Information, Warning, Question };
enum class TMsgButtons { Ok, OkCancel };
enum class TMsgResult { Ok, Cancel };

struct TFileFilter {
  std::string Name;      // "AVI文件 (*.avi)"
  std::string Patterns;  // "*.avi;*.AVI", separated by ';'
};

class IPlatform {
 public:
  virtual ~IPlatform() = default;

  virtual TMsgResult MessageBox(const std::string &AText, const std::string &ACaption,
                                TMsgIcon AIcon, TMsgButtons AButtons) = 0;
  // One existing file; nothing when cancelled. The first filter is preselected.
  virtual std::optional<std::string> ChooseFile(const std::string &ATitle,
                                                const std::vector<TFileFilter> &AFilters) = 0;
  // Several files; empty when cancelled.
  virtual std::vector<std::string> ChooseFiles(const std::string &ATitle,
                                               const std::vector<TFileFilter> &AFilters) = 0;
  // A folder; nothing when cancelled.
  virtual std::optional<std::string> ChooseFolder(const std::string &ATitle) = 0;
  // A folder, a web address or a "mailto:" link with the desktop's default handler.
  virtual bool OpenWithDefaultHandler(const std::string &APathOrUrl) = 0;
  // Asks the system to power the machine off.
  virtual bool RequestPowerOff() = 0;
  // Starts playing a WAV file and returns at once.
  virtual bool PlaySoundAsync(const std::string &AWavFile) = 0;
  // The running system's name ("Linux 6.1.0-18-amd64").
  virtual std::string SystemName() = 0;
};

// True inside the test suites (CTest sets QUORVEL_TEST=1): the real platform refuses
// to exist there, so no test can power the machine off or block on a dialog.
[[nodiscard]] bool RunningUnderTest();
