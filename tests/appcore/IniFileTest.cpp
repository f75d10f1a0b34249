#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "IniFile.h"
#include "TempDir.h"

TEST(IniFile, WriteThenReadEachKeyKeepsOtherLines) {
  TTempDir dir;
  const std::string path = dir / "system.ini";
  WriteFileBytes(path, "; kept comment\r\n[Other]\r\nx = 1\r\n");
  TIniFile ini(path);
  EXPECT_TRUE(ini.WriteString("OutPath", "OutPath", "/data/输出"));
  EXPECT_TRUE(ini.WriteString("Skin", "SetSkin", "3"));
  EXPECT_TRUE(ini.WriteString("Skin", "SetSkin", "4"));  // replaced, not repeated
  EXPECT_TRUE(ini.WriteString("SnapShot", "Picture", "PNG"));
  EXPECT_TRUE(ini.WriteString("SnapShot", "Dir", "/data/snap"));

  EXPECT_EQ(ini.ReadString("OutPath", "OutPath", "Error"), "/data/输出");
  EXPECT_EQ(ini.ReadString("skin", "SETSKIN", "Error"), "4");  // names ignore case
  EXPECT_EQ(ini.ReadString("SnapShot", "Picture", "Error"), "PNG");
  EXPECT_EQ(ini.ReadString("SnapShot", "Dir", "Error"), "/data/snap");
  EXPECT_EQ(ini.ReadString("Other", "x", "Error"), "1");
  EXPECT_EQ(ini.ReadString("Other", "missing", "Error"), "Error");
  EXPECT_EQ(ini.ReadString("Missing", "x", "Error"), "Error");

  const std::string text = ReadFileBytes(path);
  EXPECT_NE(text.find("; kept comment"), std::string::npos);
  EXPECT_EQ(text.find("SetSkin=3"), std::string::npos);
  // "Dir" joined the existing SnapShot section instead of opening a second one.
  EXPECT_EQ(text.find("[SnapShot]"), text.rfind("[SnapShot]"));
}

TEST(IniFile, MissingFileReadsDefaultAndIsCreatedByAWrite) {
  TTempDir dir;
  TIniFile ini(dir / "system.ini");
  EXPECT_FALSE(ini.Exists());
  EXPECT_EQ(ini.ReadString("Skin", "SetSkin", "Error"), "Error");
  EXPECT_FALSE(ini.Exists());  // reading never creates it
  EXPECT_TRUE(ini.WriteString("Skin", "SetSkin", "0"));
  EXPECT_TRUE(ini.Exists());
  EXPECT_EQ(ReadFileBytes(dir / "system.ini"), "[Skin]\nSetSkin=0\n");
}

TEST(IniFile, DamagedFilesNeverBreakReadsOrWrites) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
  const std::string hugeLine = "[Skin]\nSetSkin=" + std::string(3u << 20, '7') + "\n";
  const struct {
    const char *Name;
    std::string Bytes;
    std::string ExpectSkin;  // what reading Skin/SetSkin gives
  } cases[] = {
      {"binary garbage", garbage, "Error"},
      {"garbage around a good key", garbage + "\n[Skin]\nSetSkin=2\n" + garbage, "2"},
      {"huge line", hugeLine, "Error"},
      {"oversized file", std::string(TIniFile::kMaxFileBytes + 10, '['), "Error"},
      {"NUL bytes in the value", std::string("[Skin]\nSetSkin=1\0\0x\n", 21),
       std::string("1\0\0x", 4)},
      {"unterminated section", "[Skin\nSetSkin=5\n", "Error"},
      {"byte order mark", "\xEF\xBB\xBF[Skin]\nSetSkin=5\n", "5"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    TTempDir dir;
    const std::string path = dir / "system.ini";
    WriteFileBytes(path, c.Bytes);
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Skin", "SetSkin", "Error"), c.ExpectSkin);
    EXPECT_TRUE(ini.WriteString("OutPath", "OutPath", "/x"));
    EXPECT_EQ(ini.ReadString("OutPath", "OutPath", "Error"), "/x");
  }
}

TEST(IniFile, OversizedFileIsMovedAsideNotLost) {
  TTempDir dir;
  const std::string path = dir / "system.ini";
  const std::string big(TIniFile::kMaxFileBytes + 1, 'z');
  WriteFileBytes(path, big);
  TIniFile ini(path);
  EXPECT_TRUE(ini.WriteString("Skin", "SetSkin", "0"));
  EXPECT_EQ(ReadFileBytes(path + ".bad").size(), big.size());
  EXPECT_EQ(ini.ReadString("Skin", "SetSkin", "Error"), "0");
}

TEST(IniFile, ValueCannotPlantAnotherKey) {
  TTempDir dir;
  TIniFile ini(dir / "system.ini");
  EXPECT_TRUE(ini.WriteString("OutPath", "OutPath", "/a\n[Skin]\nSetSkin=9"));
  EXPECT_EQ(ini.ReadString("Skin", "SetSkin", "Error"), "Error");
}

TEST(IniFile, UnwritableFolderReportsFailureAndKeepsFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  TTempDir dir;
  const std::string path = dir / "system.ini";
  WriteFileBytes(path, "[Skin]\nSetSkin=2\n");
  std::filesystem::permissions(
      dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  TIniFile ini(path);
  EXPECT_FALSE(ini.WriteString("Skin", "SetSkin", "3"));
  EXPECT_EQ(ini.ReadString("Skin", "SetSkin", "Error"), "2");
}
