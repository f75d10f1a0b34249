#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "AddSources.h"

namespace fs = std::filesystem;

namespace {

TEST(GetFilenamesTest, ListsFilesButNoFolders) {
  const fs::path root =
      fs::temp_directory_path() / ("qv_getfilenames_" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "sub");
  for (const char *name : {"y.avi", "x.txt", ".hidden", "noext", "sub/deep.avi"})
    std::ofstream(root / name) << "x";

  std::vector<std::string> all = GetFilenames(root.string(), "*.*");
  std::sort(all.begin(), all.end());
  const std::string r = root.string();
  EXPECT_EQ(all,
            (std::vector<std::string>{r + "/.hidden", r + "/noext", r + "/x.txt", r + "/y.avi"}));
  // A trailing "/" is not doubled; other masks ignore letter case.
  EXPECT_EQ(GetFilenames(r + "/", "*.AVI"), std::vector<std::string>{r + "/y.avi"});
  EXPECT_TRUE(GetFilenames(r + "/missing", "*.*").empty());
  fs::remove_all(root);
}

}  // namespace
