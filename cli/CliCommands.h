// quorvel-cli's commands. Each command is one function over its arguments and two output
// streams so that tests run them in process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "FFmpegLoader/FFmpegLoader.h"

namespace cli {

// Exit codes shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Dispatches "quorvel-cli <command> ARGS..." (AArgs without the program name).
[[nodiscard]] int Run(const std::vector<std::string> &AArgs, std::ostream &AOut,
                      std::ostream &AErr);

// "info FILE": the media information text of FILE.
[[nodiscard]] int Info(const std::vector<std::string> &AArgs, std::ostream &AOut,
                       std::ostream &AErr);

// "presets [--json]": the catalogue as aligned text or as a JSON array.
[[nodiscard]] int Presets(const std::vector<std::string> &AArgs, std::ostream &AOut,
                          std::ostream &AErr);

// Loads a component's libraries as the window program does: from the "LibAV" folder beside
// the program when it has them, else through the system search. False with the loader's
// message in AErrMsg.
[[nodiscard]] bool LoadLibrariesBesideProgram(std::string &AErrMsg);
[[nodiscard]] bool LoadLibrariesBesideProgram(TLibraries ALibraries, std::string &AErrMsg);
// The "LibAV" folder of a program in AProgramFolder: beside it, else the installed
// <prefix>/lib/quorvel/LibAV; a folder without the libraries leaves them to the system
// search.
[[nodiscard]] std::string LibAVFolder(const std::string &AProgramFolder);

}  // namespace cli
