#include <gtest/gtest.h>

#include <filesystem>

#include "AppPaths.h"
#include "TempDir.h"

// Installed under a prefix: settings go to the configuration folder even when the
// program's folder can be written (root), and the program's files are found under
// share/quorvel or lib/quorvel unless a copy sits beside the program.
TEST(AppPaths, InstalledProgramKeepsItsFilesUnderThePrefix) {
  TTempDir dir;
  TAppPaths p;
  p.ProgramDir = dir / "usr/bin";
  p.HomeDir = dir / "home";
  p.ConfigHome = dir / "home/.config";
  std::filesystem::create_directories(p.ProgramDir);
  EXPECT_FALSE(p.Installed());
  EXPECT_EQ(p.ProgramFile("sounds/cam.wav"), p.ProgramDir + "/sounds/cam.wav");

  std::filesystem::create_directories(dir / "usr/share/quorvel/sounds");
  std::filesystem::create_directories(dir / "usr/lib/quorvel/LibAV");
  WriteFileBytes(dir / "usr/share/quorvel/sounds/cam.wav", "RIFF");
  ASSERT_TRUE(p.Installed());
  EXPECT_EQ(p.SettingsFile(), p.ConfigHome + "/Quorvel/system.ini");
  EXPECT_EQ(p.ProgramFile("sounds/cam.wav"), p.ProgramDir + "/../share/quorvel/sounds/cam.wav");
  EXPECT_EQ(p.ProgramFile("LibAV"), p.ProgramDir + "/../lib/quorvel/LibAV");
  // Missing everywhere: the name beside the program, as before.
  EXPECT_EQ(p.ProgramFile("sounds/ring001.wav"), p.ProgramDir + "/sounds/ring001.wav");
  // A copy beside the program wins.
  std::filesystem::create_directories(p.ProgramDir + "/LibAV");
  EXPECT_EQ(p.ProgramFile("LibAV"), p.ProgramDir + "/LibAV");
}
