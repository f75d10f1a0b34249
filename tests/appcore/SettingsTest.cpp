#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "AppPaths.h"
#include "Settings.h"
#include "TempDir.h"

namespace {

struct Fixture {
  TTempDir dir;
  std::string path = dir / "system.ini";
  TIniFile ini{path};
  std::string defaultOut = dir / "home/Quorvel视频输出";
};

}  // namespace

TEST(Settings, OutputFolderRepairedWhenMissingErrorOrUnusable) {
  const struct {
    const char *Name;
    const char *File;  // nullptr: no file
  } cases[] = {
      {"no file", nullptr},
      {"no key", "[Skin]\nSetSkin=1\n"},
      {"Error", "[OutPath]\nOutPath=Error\n"},
      {"empty", "[OutPath]\nOutPath=\n"},
      {"relative path", "[OutPath]\nOutPath=out\n"},
      {"control bytes", "[OutPath]\nOutPath=/a\x01\x02\n"},
      {"invalid UTF-8", "[OutPath]\nOutPath=/a\xff\xfe\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    Fixture f;
    if (c.File) WriteFileBytes(f.path, c.File);
    EXPECT_EQ(ReadOutputFolder(f.ini, f.defaultOut), f.defaultOut);
    EXPECT_TRUE(DirectoryExists(f.defaultOut));
    EXPECT_EQ(f.ini.ReadString("OutPath", "OutPath", "Error"), f.defaultOut);
  }
}

TEST(Settings, StoredOutputFolderIsCreatedAndKept) {
  Fixture f;
  const std::string wanted = f.dir / "new/nested/out";
  f.ini.WriteString("OutPath", "OutPath", wanted);
  EXPECT_EQ(ReadOutputFolder(f.ini, f.defaultOut), wanted);
  EXPECT_TRUE(DirectoryExists(wanted));
  EXPECT_FALSE(DirectoryExists(f.defaultOut));
  EXPECT_EQ(f.ini.ReadString("OutPath", "OutPath", "Error"), wanted);
}

TEST(Settings, OutputFolderWrittenOnlyWhenItExists) {
  Fixture f;
  EXPECT_FALSE(WriteOutputFolder(f.ini, f.dir / "absent"));
  EXPECT_FALSE(f.ini.Exists());
  EXPECT_TRUE(WriteOutputFolder(f.ini, f.dir.Path()));
  EXPECT_EQ(f.ini.ReadString("OutPath", "OutPath", "Error"), f.dir.Path());
}

TEST(Settings, SkinIndexRepair) {
  const struct {
    const char *File;
    int Index;
    const char *Stored;
  } cases[] = {
      {nullptr, 0, "0"},
      {"[Skin]\nSetSkin=3\n", 3, "3"},
      {"[Skin]\nSetSkin=5\n", 5, "5"},
      {"[Skin]\nSetSkin=Error\n", 0, "0"},
      {"[Skin]\nSetSkin=\n", 0, "0"},
      {"[Skin]\nSetSkin=6\n", 0, "0"},
      {"[Skin]\nSetSkin=-1\n", 0, "0"},
      {"[Skin]\nSetSkin=blue\n", 0, "0"},
      {"[Skin]\nSetSkin=99999999999999999999\n", 0, "0"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.File ? c.File : "no file");
    Fixture f;
    if (c.File) WriteFileBytes(f.path, c.File);
    EXPECT_EQ(ReadSkinIndex(f.ini), c.Index);
    EXPECT_EQ(f.ini.ReadString("Skin", "SetSkin", "Error"), c.Stored);
  }
}

TEST(Settings, SnapshotPictureRepair) {
  const struct {
    const char *Value;  // nullptr: key missing
    const char *Type;
  } cases[] = {
      {nullptr, "BMP"}, {"Error", "BMP"}, {"", "BMP"},    {"TIF", "BMP"},
      {"jpg", "BMP"},   {"JPG", "JPG"},   {"GIF", "GIF"}, {"PNG", "PNG"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Value ? c.Value : "missing");
    Fixture f;
    WriteFileBytes(f.path, c.Value ? std::string("[SnapShot]\nPicture=") + c.Value + "\n" : "");
    EXPECT_EQ(ReadSnapshotPicture(f.ini), c.Type);
    EXPECT_EQ(f.ini.ReadString("SnapShot", "Picture", "Error"), c.Type);
  }
}

TEST(Settings, SnapshotDirDefaultsAndIsCreated) {
  Fixture f;
  const std::string def = f.dir / "home/Quorvel视频输出/快照";
  EXPECT_EQ(ReadSnapshotDir(f.ini, def), def);
  EXPECT_TRUE(DirectoryExists(def));
  EXPECT_EQ(f.ini.ReadString("SnapShot", "Dir", "Error"), def);
  const std::string mine = f.dir / "shots";
  WriteSnapshotDir(f.ini, mine);
  EXPECT_EQ(ReadSnapshotDir(f.ini, def), mine);
  EXPECT_TRUE(DirectoryExists(mine));
}

TEST(Settings, DocumentsAndSettingsRefusedOnlyOnVistaAnd7) {
  const std::string das = "/mnt/c/Documents and Settings/me";
  EXPECT_TRUE(FolderRefusedOnSystem("Windows 7", das));
  EXPECT_TRUE(FolderRefusedOnSystem("Windows vista", das));
  EXPECT_FALSE(FolderRefusedOnSystem("Windows Xp", das));
  EXPECT_FALSE(FolderRefusedOnSystem("Linux 6.1.0", das));
  EXPECT_FALSE(FolderRefusedOnSystem("Windows 7", "/home/me/videos"));
}

TEST(AppPaths, SettingsBesideProgramUnlessFolderReadOnly) {
  TTempDir dir;
  TAppPaths p;
  p.ProgramDir = dir / "bin";
  p.HomeDir = dir / "home";
  p.ConfigHome = dir / "home/.config";
  std::filesystem::create_directories(p.ProgramDir);
  EXPECT_EQ(p.SettingsFile(), p.ProgramDir + "/system.ini");
  EXPECT_EQ(p.DefaultOutputFolder(), p.HomeDir + "/Quorvel视频输出");
  EXPECT_EQ(p.DefaultSnapshotFolder(), p.HomeDir + "/Quorvel视频输出/快照");
  EXPECT_EQ(p.SettingsFileFor(false), p.ConfigHome + "/Quorvel/system.ini");
  EXPECT_TRUE(DirectoryExists(p.ConfigHome + "/Quorvel"));
  if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  std::filesystem::permissions(
      p.ProgramDir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_EQ(p.SettingsFile(), p.ConfigHome + "/Quorvel/system.ini");
  EXPECT_TRUE(DirectoryExists(p.ConfigHome + "/Quorvel"));
}
