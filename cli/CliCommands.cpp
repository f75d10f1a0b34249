#include "CliCommands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <iostream>

#include "AVProbe.h"
#include "AppPaths.h"
#include "ConvertCommand.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "PresetConvert.h"

namespace cli {
namespace {

struct TCommand {
  const char *Name;
  const char *Usage;
  int (*Run)(const std::vector<std::string> &, std::ostream &, std::ostream &);
};

// "-p ID" (or any long option) selects a preset batch; otherwise the words are the
// engine's own arguments and the command writes its progress to the terminal itself.
int Convert(const std::vector<std::string> &AArgs, std::ostream &AOut, std::ostream &AErr) {
  bool presetMode = false;
  for (const std::string &a : AArgs) {
    if (a == "-p" || a.rfind("--", 0) == 0) presetMode = true;
    if (a == "--") break;
  }
  if (!presetMode) return RunConvertCommand(AArgs);
  const char *term = std::getenv("TERM");
  const bool terminal =
      &AOut == &std::cout && ::isatty(STDOUT_FILENO) && !(term && std::string(term) == "dumb");
  return RunPresetConvert(AArgs, {AOut, AErr, terminal});
}

const TCommand kCommands[] = {
    {"info", "info FILE        print the media information of FILE", &Info},
    {"presets", "presets [--json] list the presets with their extension, codecs and options",
     &Presets},
    {"convert",
     "convert -p ID ... FILE|FOLDER ...\n"
     "                   convert with a preset (\"convert -p\" alone for its options)\n"
     "  convert ...      run one engine task with the engine's own arguments",
     &Convert},
};

void Usage(std::ostream &AErr) {
  AErr << "usage: quorvel-cli <command> ...\ncommands:\n";
  for (const TCommand &c : kCommands) AErr << "  " << c.Usage << "\n";
}

std::string ProgramFolder() {
  char buf[PATH_MAX] = {0};
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace

std::string LibAVFolder(const std::string &AProgramFolder) {
  // Beside the program, or <prefix>/lib/quorvel/LibAV when installed.
  return TAppPaths::FromEnvironment(AProgramFolder).ProgramFile("LibAV");
}

bool LoadLibrariesBesideProgram(TLibraries ALibraries, std::string &AErrMsg) {
  TFFmpegLoader &loader = FFLoader();
  if (loader.Loaded(ALibraries)) return true;
  loader.SetLibraryPath(LibAVFolder(ProgramFolder()));
  if (loader.Load(ALibraries)) return true;
  AErrMsg = loader.LastErrMsg();
  return false;
}

bool LoadLibrariesBesideProgram(std::string &AErrMsg) {
  return LoadLibrariesBesideProgram(kProbeLibraries, AErrMsg);
}

int Info(const std::vector<std::string> &AArgs, std::ostream &AOut, std::ostream &AErr) {
  if (AArgs.size() != 1 || AArgs[0].empty()) {
    AErr << "usage: quorvel-cli info FILE\n";
    return kExitUsage;
  }
  std::string err;
  if (!LoadLibrariesBesideProgram(err)) {
    AErr << err << "\n";
    return kExitFailed;
  }
  TAVProbe probe;
  if (!probe.LoadFile(AArgs[0], "")) {
    AErr << probe.LastErrMsg() << "\n";
    return kExitFailed;
  }
  AOut << probe.FileInfoText();
  return kExitOk;
}

int Run(const std::vector<std::string> &AArgs, std::ostream &AOut, std::ostream &AErr) {
  if (AArgs.empty()) {
    Usage(AErr);
    return kExitUsage;
  }
  for (const TCommand &c : kCommands)
    if (AArgs[0] == c.Name) return c.Run({AArgs.begin() + 1, AArgs.end()}, AOut, AErr);
  AErr << "quorvel-cli: unknown command \"" << AArgs[0] << "\"\n";
  Usage(AErr);
  return kExitUsage;
}

}  // namespace cli
