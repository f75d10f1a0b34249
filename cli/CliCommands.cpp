#include "CliCommands.h"

#include <unistd.h>

#include <climits>

#include "AVProbe.h"
#include "ConvertCommand.h"
#include "FFmpegLoader/FFmpegLoader.h"

namespace cli {
namespace {

struct TCommand {
  const char *Name;
  const char *Usage;
  int (*Run)(const std::vector<std::string> &, std::ostream &, std::ostream &);
};

// The conversion command writes its progress and report to the terminal itself.
int Convert(const std::vector<std::string> &AArgs, std::ostream &, std::ostream &) {
  return RunConvertCommand(AArgs);
}

const TCommand kCommands[] = {
    {"info", "info FILE        print the media information of FILE", &Info},
    {"convert", "convert ...      run one conversion task", &Convert},
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

bool LoadLibrariesBesideProgram(std::string &AErrMsg) {
  TFFmpegLoader &loader = FFLoader();
  if (loader.Loaded(kProbeLibraries)) return true;
  loader.SetLibraryPath(ProgramFolder() + "LibAV");
  if (loader.Load(kProbeLibraries)) return true;
  AErrMsg = loader.LastErrMsg();
  return false;
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
