#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "OutputNaming.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards.
class OutputNamingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    FRoot = fs::temp_directory_path() /
            (std::string("qv_naming_") + info->name() + "_" + std::to_string(::getpid()));
    fs::remove_all(FRoot);
    fs::create_directories(FRoot / "out");
    fs::create_directories(FRoot / "src");
  }
  void TearDown() override { fs::remove_all(FRoot); }

  std::string P(const std::string &ARelative) const { return (FRoot / ARelative).string(); }
  void Touch(const std::string &ARelative, const std::string &ABytes = "x") const {
    std::ofstream(FRoot / ARelative, std::ios::binary) << ABytes;
  }

  fs::path FRoot;
};

TEST(PathPartsTest, NamesExtensionsAndColumns) {
  EXPECT_EQ(ExtractFileName("/a/b/clip.mp4"), "clip.mp4");
  EXPECT_EQ(ExtractFileDir("/a/b/clip.mp4"), "/a/b");
  EXPECT_EQ(ExtractFileExt("/a/b.d/clip"), "");  // the dot of a folder is no extension
  EXPECT_EQ(ExtractFileExt("/a/clip.tar.gz"), ".gz");
  EXPECT_EQ(StripFileExt("/a/clip.DAT"), "/a/clip");
  EXPECT_EQ(FormatColumnText("/a/clip.rmvb"), "RMVB");
  EXPECT_EQ(FormatColumnText("/a/noext"), "");
  EXPECT_EQ(JoinPath("/out/", "x.mp4"), "/out/x.mp4");
  EXPECT_EQ(JoinPath("/out", "x.mp4"), "/out/x.mp4");
}

TEST_F(OutputNamingTest, ExistingNameIsNumberedOrKeptByTheChoice) {
  Touch("out/clip.mp4");
  Touch("out/clip(New_1).mp4");
  EXPECT_EQ(DecideOutputName(P("out/clip.mp4"), TExistingFileChoice::NewName, {}),
            P("out/clip(New_2).mp4"));
  EXPECT_EQ(DecideOutputName(P("out/clip.mp4"), TExistingFileChoice::Overwrite, {}),
            P("out/clip.mp4"));
  EXPECT_EQ(DecideOutputName(P("out/other.mp4"), TExistingFileChoice::NewName, {}),
            P("out/other.mp4"));
}

TEST_F(OutputNamingTest, SourceIsNeverTheOutputEvenWhenOverwriting) {
  Touch("out/clip.mp4");
  // The same file under another spelling and through a link.
  fs::create_directory_symlink(FRoot / "out", FRoot / "link");
  for (const std::string &source :
       {P("out/clip.mp4"), P("out/../out/clip.mp4"), P("link/clip.mp4")})
    EXPECT_EQ(DecideOutputName(P("out/clip.mp4"), TExistingFileChoice::Overwrite, {source}),
              P("out/clip(New_1).mp4"))
        << source;
  // Another listed source is protected as well.
  Touch("out/b.mp4");
  EXPECT_EQ(DecideOutputName(P("out/b.mp4"), TExistingFileChoice::Overwrite,
                             {P("src/a.avi"), P("out/b.mp4")}),
            P("out/b(New_1).mp4"));
}

TEST_F(OutputNamingTest, GroupNamesTakeOnlyTheExtensionOfTheComposedName) {
  EXPECT_EQ(GroupOutputName(P("out"), "/in/a.rmvb", "/elsewhere/first.mp4"), P("out/a.mp4"));
  EXPECT_EQ(GroupOutputName(P("out") + "/", "/in/b.ts", "/x/y.mp4"), P("out/b.mp4"));
}

TEST_F(OutputNamingTest, StartDecidesNamesAgainInTheFolderInForce) {
  fs::create_directories(FRoot / "new(New_3)");
  struct Case {
    const char *what;
    std::vector<std::string> existing;
    std::string folder, slotName;
    TExistingFileChoice choice;
    std::string expected;
  } cases[] = {
      {"changed folder",
       {},
       "new(New_3)",
       "/old/clip.mp4",
       TExistingFileChoice::NewName,
       "new(New_3)/clip.mp4"},
      {"plain name deleted since",
       {},
       "out",
       "/old/clip(New_1).mp4",
       TExistingFileChoice::NewName,
       "out/clip.mp4"},
      {"plain name still there",
       {"out/clip.mp4"},
       "out",
       "/old/clip(New_4).mp4",
       TExistingFileChoice::NewName,
       "out/clip(New_1).mp4"},
      {"overwrite keeps the plain name",
       {"out/clip.mp4"},
       "out",
       "/old/clip(New_1).mp4",
       TExistingFileChoice::Overwrite,
       "out/clip.mp4"},
      {"an existing file is replaced only on request",
       {"out/clip.mp4"},
       "out",
       "/old/clip.mp4",
       TExistingFileChoice::NewName,
       "out/clip(New_1).mp4"},
  };
  for (const Case &c : cases) {
    for (const std::string &e : c.existing) Touch(e);
    EXPECT_EQ(RebuildOutputName(P(c.folder), c.slotName, c.choice, {}), P(c.expected)) << c.what;
    for (const std::string &e : c.existing) fs::remove(FRoot / e);
  }
}

TEST_F(OutputNamingTest, StartNeverOverwritesTheSource) {
  Touch("out/clip.mp4");
  EXPECT_EQ(RebuildOutputName(P("out"), "/old/clip.mp4", TExistingFileChoice::Overwrite,
                              {P("out/clip.mp4")}),
            P("out/clip(New_1).mp4"));
}

}  // namespace
