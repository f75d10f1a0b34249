// Listing the files of a folder for "添加整个目录".
#pragma once

#include <string>
#include <vector>

// Full paths of the entries of AFolder that match AMask and are not folders, in the
// order the file system reports them; sub-folders are not searched. Nothing when the
// folder does not exist. "*.*" matches every name (also one without a dot); other masks
// are shell patterns compared without regard to letter case.
[[nodiscard]] std::vector<std::string> GetFilenames(const std::string &AFolder,
                                                    const std::string &AMask);
