// Engine-utility texts and the log entry the probe uses, kept behind one small header so
// that the probe calls the shared engine utilities through a single seam.
#pragma once

#include <cstdint>
#include <string>

namespace probe_shared {

// "%.2d:%.2d:%.2d.%.3d" of a time in microseconds; "N/A" for the unset value.
[[nodiscard]] std::string TimeText(int64_t AMicroseconds);
// "%.2f GB" / "%.2f MB" / "%.2f KB" / "%d Byte".
[[nodiscard]] std::string SizeText(int64_t ABytes);
// "<name>: <text of the library error code>".
[[nodiscard]] std::string ErrorText(const std::string &AName, int ACode);
// Library name -> file name and back ("unicode:utf8:" names decode to their UTF-8 name).
[[nodiscard]] std::string LibraryFileName(const std::string &AFileName);
[[nodiscard]] std::string DecodedFileName(const std::string &ALibraryName);
// Size of a file in the file system, -1 when it does not exist.
[[nodiscard]] int64_t FileSizeOf(const std::string &AFileName);
// Unix seconds as local "yyyy-mm-dd hh:nn:ss" with the standard (not daylight) offset.
[[nodiscard]] std::string LocalTimeText(int64_t AUnixSeconds);

enum class TProbeLogLevel { Error, Warning };
void Log(const void *ASender, TProbeLogLevel ALevel, const std::string &AMsg);

}  // namespace probe_shared
