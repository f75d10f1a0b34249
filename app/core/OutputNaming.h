// Output file names of the conversion list: the name a source gets when it is added,
// the "(New_n)" rule for names that already exist, and the name decided again when the
// batch starts. Paths use "/". A source file is never an output: a name that resolves
// to a protected file (the row's own source, any listed source) is always renamed.
#pragma once

#include <string>
#include <vector>

// The list "如果输出文件存在：".
enum class TExistingFileChoice {
  NewName = 0,    // "自动生成相应的新文件名"
  Overwrite = 1,  // "直接覆盖该文件"
};

// "clip.mp4" of "/a/b/clip.mp4".
[[nodiscard]] std::string ExtractFileName(const std::string &APath);
// "/a/b" of "/a/b/clip.mp4"; empty for a bare name.
[[nodiscard]] std::string ExtractFileDir(const std::string &APath);
// ".mp4" of "/a/b/clip.mp4" (the last dot of the file name, with it); empty if none.
[[nodiscard]] std::string ExtractFileExt(const std::string &APath);
// The path without the extension of its file name.
[[nodiscard]] std::string StripFileExt(const std::string &APath);
// The extension without its dot, upper-case: the list's format columns ("MP4").
[[nodiscard]] std::string FormatColumnText(const std::string &APath);
// AFolder + "/" + AName, without doubling a trailing "/".
[[nodiscard]] std::string JoinPath(const std::string &AFolder, const std::string &AName);

// Something (file, folder, anything) exists under that name.
[[nodiscard]] bool PathExists(const std::string &APath);
// Both names lead to the same existing file (links and "." / ".." resolved).
[[nodiscard]] bool SameFile(const std::string &A, const std::string &B);

// ABase + "(New_" + n + ")" + AExt for the first n = 1, 2, ... that does not exist.
[[nodiscard]] std::string NumberedName(const std::string &ABase, const std::string &AExt);

// The name an output gets when it is added: AName itself unless it exists; then with
// NewName the first free "(New_n)" name, with Overwrite AName (the file will be
// replaced) — except that a name resolving to one of AProtected is always numbered.
[[nodiscard]] std::string DecideOutputName(const std::string &AName, TExistingFileChoice AChoice,
                                           const std::vector<std::string> &AProtected);

// Output name of one source of a several-files or folder add: the output folder + "/" +
// the source's name without its extension + the extension of the name the options
// dialog composed for the group.
[[nodiscard]] std::string GroupOutputName(const std::string &AOutputFolder,
                                          const std::string &ASource,
                                          const std::string &AProfileOutputName);

// The name decided again when the batch starts: the file-name part of the slot's name
// in the folder in force, with a "(New_" number cut off and the existing-file rule of
// DecideOutputName applied to what is on disk now.
[[nodiscard]] std::string RebuildOutputName(const std::string &AOutputFolder,
                                            const std::string &ASlotOutputName,
                                            TExistingFileChoice AChoice,
                                            const std::vector<std::string> &AProtected);
