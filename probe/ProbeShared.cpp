#include "ProbeShared.h"

#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "FFmpegLoader/FFmpegLoader.h"
#include "ProbeTexts.h"

namespace probe_shared {

using probe_text::Format;

std::string TimeText(int64_t t) {
  if (t == static_cast<int64_t>(AV_NOPTS_VALUE)) return "N/A";
  const int64_t hours = t / 1000000 / 60 / 60;
  const int64_t minutes = (t / 1000000 / 60) % 60;
  const int64_t seconds = (t / 1000000) % 60;
  const int64_t millis = (t % 1000000) * 1000 / 1000000;
  return Format("%.2lld:%.2lld:%.2lld.%.3lld", static_cast<long long>(hours),
                static_cast<long long>(minutes), static_cast<long long>(seconds),
                static_cast<long long>(millis));
}

std::string SizeText(int64_t s) {
  if (s > 1073741824) return Format("%.2f GB", static_cast<double>(s) / 1073741824);
  if (s > 1048576) return Format("%.2f MB", static_cast<double>(s) / 1048576);
  if (s > 1024) return Format("%.2f KB", static_cast<double>(s) / 1024);
  return Format("%lld Byte", static_cast<long long>(s));
}

std::string ErrorText(const std::string &AName, int ACode) {
  // The codes of the table, and the codes this library generation uses for the same
  // conditions.
  const char *text = nullptr;
  if (ACode == -1163346256 || ACode == AVERROR_PATCHWELCOME)
    text = "Not yet implemented in FFmpeg";
  else if (ACode == -10043 || ACode == AVERROR_PROTOCOL_NOT_FOUND)
    text = "Unsupported network protocol";
  else if (ACode == -42 || ACode == AVERROR(EILSEQ) || ACode == AVERROR_DEMUXER_NOT_FOUND)
    text = "Unknown format";
  else if (ACode == -33)
    text = "Number syntax expected in filename";
  else if (ACode == -32 || ACode == AVERROR_EOF)
    text = "End of file";
  else if (ACode == -22 || ACode == AVERROR_INVALIDDATA)
    text = "Invalid data found when processing input";
  else if (ACode == -12)
    text = "Not enough memory";
  else if (ACode == -5)
    text = "I/O error";
  else if (ACode == -2)
    text = "No such file or directory";
  return AName + ": " + (text ? std::string(text) : Format("Error number %d occurred", ACode));
}

// File names are UTF-8 on this system, so every name the user can type is one the library
// can open as it is.
std::string LibraryFileName(const std::string &AFileName) {
  return AFileName;
}

std::string DecodedFileName(const std::string &ALibraryName) {
  static const std::string kPrefix = "unicode:utf8:";
  if (ALibraryName.size() >= 14 && ALibraryName.compare(0, kPrefix.size(), kPrefix) == 0)
    return ALibraryName.substr(kPrefix.size());
  return ALibraryName;
}

int64_t FileSizeOf(const std::string &AFileName) {
  struct stat st {};
  if (AFileName.empty() || stat(AFileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

std::string LocalTimeText(int64_t AUnixSeconds) {
  tzset();
  const time_t local = static_cast<time_t>(AUnixSeconds - timezone);
  struct tm tm {};
  gmtime_r(&local, &tm);
  char buf[32] = {0};
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

void Log(const void *ASender, TProbeLogLevel ALevel, const std::string &AMsg) {
  (void)ASender;
  (void)ALevel;
  (void)AMsg;
}

}  // namespace probe_shared
