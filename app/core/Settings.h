// The keys of system.ini and the rules that read, repair and write them. Every read
// uses "Error" as its default, so a missing key and a key holding "Error" are alike; a
// value that cannot be used is replaced by the built-in default, which is written back.
#pragma once

#include <string>

#include "IniFile.h"

inline constexpr char kIniError[] = "Error";
inline constexpr int kSkinCount = 6;

// Creates the folder with its missing parents. A folder that cannot be created is not
// an error here: the caller goes on with the path as it is.
void ForceDirectories(const std::string &AFolder);
[[nodiscard]] bool DirectoryExists(const std::string &AFolder);

// Start-up: the output folder in force. Uses the stored folder when it is a usable
// absolute path (creating it if needed); otherwise creates the default folder and
// stores it.
[[nodiscard]] std::string ReadOutputFolder(TIniFile &AIni, const std::string &ADefaultFolder);
// Stores the folder, only if it exists. True when written.
bool WriteOutputFolder(TIniFile &AIni, const std::string &AFolder);

// Start-up: the skin index 0..5. A missing file, "Error", an empty value, text that is
// not a decimal integer or an index out of range all give skin 0, and "0" is stored.
[[nodiscard]] int ReadSkinIndex(TIniFile &AIni);
void WriteSkinIndex(TIniFile &AIni, int AIndex);

// "BMP", "JPG", "GIF" or "PNG". Anything else (missing, "Error", "TIF" …) gives "BMP",
// which is stored.
[[nodiscard]] std::string ReadSnapshotPicture(TIniFile &AIni);
void WriteSnapshotPicture(TIniFile &AIni, const std::string &AType);

// The snapshot folder (created if needed); the default folder is created and stored
// when the stored one is missing or unusable.
[[nodiscard]] std::string ReadSnapshotDir(TIniFile &AIni, const std::string &ADefaultFolder);
void WriteSnapshotDir(TIniFile &AIni, const std::string &AFolder);

// The folder choices refuse "Documents and Settings" on the two systems whose
// permissions forbid writing there.
[[nodiscard]] bool FolderRefusedOnSystem(const std::string &ASystemName,
                                         const std::string &AFolder);
