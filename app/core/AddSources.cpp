#include "AddSources.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <cstring>

#include "OutputNaming.h"

std::vector<std::string> GetFilenames(const std::string &AFolder, const std::string &AMask) {
  std::vector<std::string> names;
  DIR *dir = ::opendir(AFolder.c_str());
  if (!dir) return names;
  while (const dirent *entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (AMask != "*.*" && ::fnmatch(AMask.c_str(), entry->d_name, FNM_CASEFOLD) != 0) continue;
    const std::string path = JoinPath(AFolder, entry->d_name);
    struct stat sb {};
    if (::stat(path.c_str(), &sb) == 0 && S_ISDIR(sb.st_mode)) continue;
    names.push_back(path);
  }
  ::closedir(dir);
  return names;
}
