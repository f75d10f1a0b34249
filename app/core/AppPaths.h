// Where the program keeps its files on this system. Tests build one pointing at
// temporary folders so they never touch the real home.
#pragma once

#include <string>

struct TAppPaths {
  std::string ProgramDir;  // folder of the program file
  std::string HomeDir;     // the user's home
  std::string ConfigHome;  // the user's configuration folder ($XDG_CONFIG_HOME, ~/.config)

  // From the environment (HOME, XDG_CONFIG_HOME) for a program living in AProgramDir.
  [[nodiscard]] static TAppPaths FromEnvironment(const std::string &AProgramDir);

  // An installed program: <prefix>/bin beside <prefix>/share/quorvel.
  [[nodiscard]] bool Installed() const;

  // "system.ini" beside the program; when that folder cannot be written or the program
  // is installed (its folder is not the user's) the program's folder under the
  // configuration folder, which is created on demand.
  [[nodiscard]] std::string SettingsFile() const;
  // The same choice with the folder's writability given.
  [[nodiscard]] std::string SettingsFileFor(bool AProgramDirWritable) const;
  // "Quorvel视频输出" in the home folder.
  [[nodiscard]] std::string DefaultOutputFolder() const;
  // "快照" inside the default output folder.
  [[nodiscard]] std::string DefaultSnapshotFolder() const;
  // A file of the program's folder, e.g. "sounds/ring001.wav" or "LibAV". An installed
  // program that has no such file beside it takes <prefix>/share/quorvel/ARelative or
  // <prefix>/lib/quorvel/ARelative, whichever exists.
  [[nodiscard]] std::string ProgramFile(const std::string &ARelative) const;
};
