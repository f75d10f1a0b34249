#include "AppPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

std::string Join(const std::string &ADir, const std::string &AName) {
  if (ADir.empty()) return AName;
  if (ADir.back() == '/') return ADir + AName;
  return ADir + "/" + AName;
}

bool Exists(const std::string &APath) {
  return ::access(APath.c_str(), F_OK) == 0;
}

bool Writable(const std::string &ADir) {
  return !ADir.empty() && ::access(ADir.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

TAppPaths TAppPaths::FromEnvironment(const std::string &AProgramDir) {
  TAppPaths p;
  p.ProgramDir = AProgramDir;
  const char *home = std::getenv("HOME");
  if (home && *home) {
    p.HomeDir = home;
  } else if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
    p.HomeDir = pw->pw_dir;
  } else {
    p.HomeDir = "/tmp";
  }
  const char *config = std::getenv("XDG_CONFIG_HOME");
  // Only an absolute path counts, as the base-directory rules demand.
  p.ConfigHome = (config && config[0] == '/') ? std::string(config) : Join(p.HomeDir, ".config");
  return p;
}

bool TAppPaths::Installed() const {
  return !ProgramDir.empty() && Exists(Join(ProgramDir, "../share/quorvel"));
}

std::string TAppPaths::SettingsFile() const {
  if (Installed()) return SettingsFileFor(false);
  std::string beside = Join(ProgramDir, "system.ini");
  // An existing file we may write is still used where it is.
  return SettingsFileFor(Writable(ProgramDir) || ::access(beside.c_str(), W_OK) == 0);
}

std::string TAppPaths::SettingsFileFor(bool AProgramDirWritable) const {
  if (AProgramDirWritable) return Join(ProgramDir, "system.ini");
  std::string dir = Join(ConfigHome, "Quorvel");
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return Join(dir, "system.ini");
}

std::string TAppPaths::DefaultOutputFolder() const {
  return Join(HomeDir, "Quorvel视频输出");
}

std::string TAppPaths::DefaultSnapshotFolder() const {
  return Join(DefaultOutputFolder(), "快照");
}

std::string TAppPaths::ProgramFile(const std::string &ARelative) const {
  const std::string beside = Join(ProgramDir, ARelative);
  if (Exists(beside) || !Installed()) return beside;
  for (const char *folder : {"../share/quorvel", "../lib/quorvel"}) {
    const std::string installed = Join(Join(ProgramDir, folder), ARelative);
    if (Exists(installed)) return installed;
  }
  return beside;
}
