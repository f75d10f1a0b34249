#include "OutputNaming.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

std::string ExtractFileName(const std::string &APath) {
  const std::size_t slash = APath.find_last_of('/');
  return slash == std::string::npos ? APath : APath.substr(slash + 1);
}

std::string ExtractFileDir(const std::string &APath) {
  const std::size_t slash = APath.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : APath.substr(0, slash);
}

std::string ExtractFileExt(const std::string &APath) {
  const std::size_t slash = APath.find_last_of('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = APath.find_last_of('.');
  if (dot == std::string::npos || dot < start) return {};
  return APath.substr(dot);
}

std::string StripFileExt(const std::string &APath) {
  return APath.substr(0, APath.size() - ExtractFileExt(APath).size());
}

std::string FormatColumnText(const std::string &APath) {
  std::string ext = ExtractFileExt(APath);
  if (!ext.empty()) ext.erase(0, 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return ext;
}

std::string JoinPath(const std::string &AFolder, const std::string &AName) {
  if (AFolder.empty()) return AName;
  if (AFolder.back() == '/') return AFolder + AName;
  return AFolder + "/" + AName;
}

bool PathExists(const std::string &APath) {
  struct stat sb {};
  return !APath.empty() && ::lstat(APath.c_str(), &sb) == 0;
}

bool SameFile(const std::string &A, const std::string &B) {
  struct stat a {
  }, b{};
  if (A.empty() || B.empty()) return false;
  if (::stat(A.c_str(), &a) != 0 || ::stat(B.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string NumberedName(const std::string &ABase, const std::string &AExt) {
  for (long n = 1;; ++n) {
    std::string name = ABase + "(New_" + std::to_string(n) + ")" + AExt;
    if (!PathExists(name)) return name;
  }
}

namespace {

bool IsProtected(const std::string &AName, const std::vector<std::string> &AProtected) {
  return std::any_of(AProtected.begin(), AProtected.end(),
                     [&](const std::string &p) { return SameFile(AName, p); });
}

// The rule shared by add and start: ABase + AExt unless it exists and may not be
// replaced.
std::string Decide(const std::string &ABase, const std::string &AExt, TExistingFileChoice AChoice,
                   const std::vector<std::string> &AProtected) {
  const std::string name = ABase + AExt;
  if (!PathExists(name)) return name;
  if (AChoice == TExistingFileChoice::Overwrite && !IsProtected(name, AProtected)) return name;
  return NumberedName(ABase, AExt);
}

}  // namespace

std::string DecideOutputName(const std::string &AName, TExistingFileChoice AChoice,
                             const std::vector<std::string> &AProtected) {
  return Decide(StripFileExt(AName), ExtractFileExt(AName), AChoice, AProtected);
}

std::string GroupOutputName(const std::string &AOutputFolder, const std::string &ASource,
                            const std::string &AProfileOutputName) {
  return JoinPath(AOutputFolder, StripFileExt(ExtractFileName(ASource))) +
         ExtractFileExt(AProfileOutputName);
}

std::string RebuildOutputName(const std::string &AOutputFolder, const std::string &ASlotOutputName,
                              TExistingFileChoice AChoice,
                              const std::vector<std::string> &AProtected) {
  const std::string file = ExtractFileName(ASlotOutputName);
  const std::string ext = ExtractFileExt(file);
  // Only the file name is searched: a folder may carry "(New_" in its own name.
  std::string base = file.substr(0, file.size() - ext.size());
  const std::size_t mark = file.find("(New_");
  if (mark != std::string::npos) base = file.substr(0, mark);
  return Decide(JoinPath(AOutputFolder, base), ext, AChoice, AProtected);
}
