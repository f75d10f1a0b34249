#include "FFUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "FFmpegLoader/FFmpegLoader.h"

namespace {

constexpr int64_t kNoPts = std::numeric_limits<int64_t>::min();

std::string Format(const char *AFormat, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char *AFormat, ...) {
  char buf[256];
  va_list args;
  va_start(args, AFormat);
  std::vsnprintf(buf, sizeof buf, AFormat, args);
  va_end(args);
  return buf;
}

// y-m-d of the proleptic Gregorian calendar from days since 1970-01-01.
void CivilFromDays(int64_t z, int64_t &y, unsigned &m, unsigned &d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

// The local standard-time offset in days (east of UTC positive).
double LocalOffsetDays() {
  tzset();
  return -static_cast<double>(timezone) / 86400.0;
}

constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 as days since 1899-12-30

}  // namespace

std::string TimeToStr(int64_t ATimeUs) {
  if (ATimeUs == kNoPts) return "N/A";
  const int64_t hours = ATimeUs / 1000000 / 60 / 60;
  const int64_t minutes = (ATimeUs / 1000000 / 60) % 60;
  const int64_t seconds = (ATimeUs / 1000000) % 60;
  const int64_t millis = (ATimeUs % 1000000) * 1000 / 1000000;
  return Format("%.2d:%.2d:%.2d.%.3d", static_cast<int>(hours), static_cast<int>(minutes),
                static_cast<int>(seconds), static_cast<int>(millis));
}

std::string SizeToStr(int64_t ASizeBytes) {
  if (ASizeBytes > 1073741824) return Format("%.2f GB", ASizeBytes / 1073741824.0);
  if (ASizeBytes > 1048576) return Format("%.2f MB", ASizeBytes / 1048576.0);
  if (ASizeBytes > 1024) return Format("%.2f KB", ASizeBytes / 1024.0);
  return Format("%lld Byte", static_cast<long long>(ASizeBytes));
}

std::string ErrorCodeText(int AErrorCode) {
  // This generation reports some conditions under new codes; each condition keeps the
  // text it always had.
  switch (AErrorCode) {
    case AVERROR_PATCHWELCOME:
      return "Not yet implemented in FFmpeg";
    case -10043:  // the old code of an unsupported protocol
    case AVERROR(EPROTONOSUPPORT):
    case AVERROR_PROTOCOL_NOT_FOUND:
      return "Unsupported network protocol";
    case -42:  // the old code of an unknown format
    case AVERROR(EILSEQ):
    case AVERROR_DEMUXER_NOT_FOUND:
      return "Unknown format";
    case AVERROR(EDOM):
      return "Number syntax expected in filename";
    case AVERROR_EOF:
      return "End of file";
    case AVERROR(EINVAL):
    case AVERROR_INVALIDDATA:
      return "Invalid data found when processing input";
    case AVERROR(ENOMEM):
      return "Not enough memory";
    case AVERROR(EIO):
      return "I/O error";
    case AVERROR(ENOENT):
      return "No such file or directory";
    default:
      return Format("Error number %d occurred", AErrorCode);
  }
}

std::string ErrorToStr(const std::string &AName, int AErrorCode) {
  return AName + ": " + ErrorCodeText(AErrorCode);
}

std::string MediaTypeToStr(int AMediaType) {
  switch (AMediaType) {
    case 0:
      return "Video";
    case 1:
      return "Audio";
    case 2:
      return "Data";
    case 3:
      return "Subtitle";
    case 4:
      return "Attachment";
    default:
      return "Unknown";
  }
}

double UnixToLocalDateTime(int64_t ASeconds) {
  return LocalOffsetDays() + static_cast<double>(ASeconds) / 86400.0 + kUnixEpochDays;
}

int64_t LocalDateTimeToUnix(double ADateTime) {
  return std::llround((ADateTime - kUnixEpochDays - LocalOffsetDays()) * 86400.0);
}

std::string FormatDateTime(const std::string &APattern, double ADateTime) {
  // Whole milliseconds, rounded, so that 12:00:00 is not shown as 11:59:59.999.
  const int64_t totalMs = std::llround(ADateTime * 86400000.0);
  int64_t days = totalMs / 86400000;
  int64_t msOfDay = totalMs % 86400000;
  if (msOfDay < 0) {
    msOfDay += 86400000;
    --days;
  }
  int64_t year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(days - static_cast<int64_t>(kUnixEpochDays), year, month, day);
  const int hour = static_cast<int>(msOfDay / 3600000);
  const int minute = static_cast<int>(msOfDay / 60000 % 60);
  const int second = static_cast<int>(msOfDay / 1000 % 60);
  const int milli = static_cast<int>(msOfDay % 1000);

  std::string out;
  size_t i = 0;
  auto starts = [&](const char *tok) { return APattern.compare(i, std::strlen(tok), tok) == 0; };
  while (i < APattern.size()) {
    const char c = APattern[i];
    if (c == '"' || c == '\'') {
      const size_t end = APattern.find(c, i + 1);
      const size_t stop = end == std::string::npos ? APattern.size() : end;
      out.append(APattern, i + 1, stop - i - 1);
      i = stop == APattern.size() ? stop : stop + 1;
    } else if (starts("yyyy")) {
      out += Format("%.4lld", static_cast<long long>(year)), i += 4;
    } else if (starts("yy")) {
      out += Format("%.2lld", static_cast<long long>(year % 100)), i += 2;
    } else if (starts("mm")) {
      out += Format("%.2u", month), i += 2;
    } else if (starts("m")) {
      out += Format("%u", month), i += 1;
    } else if (starts("dd")) {
      out += Format("%.2u", day), i += 2;
    } else if (starts("d")) {
      out += Format("%u", day), i += 1;
    } else if (starts("hh")) {
      out += Format("%.2d", hour), i += 2;
    } else if (starts("h")) {
      out += Format("%d", hour), i += 1;
    } else if (starts("nn")) {
      out += Format("%.2d", minute), i += 2;
    } else if (starts("n")) {
      out += Format("%d", minute), i += 1;
    } else if (starts("ss")) {
      out += Format("%.2d", second), i += 2;
    } else if (starts("s")) {
      out += Format("%d", second), i += 1;
    } else if (starts("zzz")) {
      out += Format("%.3d", milli), i += 3;
    } else {
      out += c, i += 1;
    }
  }
  return out;
}

std::string Split(std::string &ASource, const std::string &ADelimiter, bool ARemove) {
  const size_t pos = ADelimiter.empty() ? std::string::npos : ASource.find(ADelimiter);
  if (pos == std::string::npos) {
    std::string result = ASource;
    if (ARemove) ASource.clear();
    return result;
  }
  std::string result = ASource.substr(0, pos);
  if (ARemove) ASource.erase(0, pos + ADelimiter.size());
  return result;
}

std::string Trim(const std::string &AText) {
  const char *ws = " \t\r\n\v\f";
  const size_t first = AText.find_first_not_of(ws);
  if (first == std::string::npos) return {};
  const size_t last = AText.find_last_not_of(ws);
  return AText.substr(first, last - first + 1);
}

std::string NormalizeOptionText(const std::string &AText) {
  const std::string text = Trim(AText);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text.compare(i, 6, "<CRLF>") == 0) {
      out += '\n';
      i += 5;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string ProgramFolder() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return "./";
  path.resize(static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

int64_t GetFileSize(const std::string &AFileName) {
  struct stat st {};
  if (AFileName.empty() || ::stat(AFileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

int ReadWholeFile(const std::string &AFileName, char **ABuffer, size_t *ASize) {
  *ABuffer = nullptr;
  *ASize = 0;
  FILE *f = std::fopen(AFileName.c_str(), "rb");
  if (f == nullptr) return -1;
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
    std::fclose(f);
    return -1;
  }
  char *buf = static_cast<char *>(ff::util.av_malloc(static_cast<size_t>(size) + 1));
  if (buf == nullptr) {
    std::fclose(f);
    return AVERROR(ENOMEM);
  }
  const size_t got = std::fread(buf, 1, static_cast<size_t>(size), f);
  std::fclose(f);
  if (got != static_cast<size_t>(size)) {
    ff::util.av_free(buf);
    return -1;
  }
  buf[size] = '\0';
  *ABuffer = buf;
  *ASize = static_cast<size_t>(size) + 1;
  return 0;
}
