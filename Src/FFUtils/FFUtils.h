// Small shared services of the engine, the probe and the player: texts for times,
// sizes, error codes and media types, calendar conversions, the option-text splitter
// and a few file helpers. Texts are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// "HH:MM:SS.mmm" of a time in µs; hours are not wrapped at 24. The unset time is "N/A".
[[nodiscard]] std::string TimeToStr(int64_t ATimeUs);
// "%.2f GB" / "%.2f MB" / "%.2f KB" above each unit, else "%d Byte".
[[nodiscard]] std::string SizeToStr(int64_t ASizeBytes);
// "<name>: <text of the library error code>".
[[nodiscard]] std::string ErrorToStr(const std::string &AName, int AErrorCode);
// The text of a library error code alone ("End of file", "Error number -99 occurred").
[[nodiscard]] std::string ErrorCodeText(int AErrorCode);
// "Video", "Audio", "Data", "Subtitle", "Attachment", else "Unknown".
[[nodiscard]] std::string MediaTypeToStr(int AMediaType);

// Date-times are days since 1899-12-30 with the time of day as the fraction, in local
// standard time (daylight saving is not applied).
[[nodiscard]] double UnixToLocalDateTime(int64_t ASeconds);
[[nodiscard]] int64_t LocalDateTimeToUnix(double ADateTime);
// Formats a date-time: yyyy yy mm m dd d hh h nn n (minutes) ss s zzz; text in quotes
// is copied as it stands, as is any other character.
[[nodiscard]] std::string FormatDateTime(const std::string &APattern, double ADateTime);

// Returns the text before the first ADelimiter (the whole text when there is none).
// With ARemove the source keeps only what follows the delimiter (nothing when none).
std::string Split(std::string &ASource, const std::string &ADelimiter, bool ARemove = true);
// Option text as the engine reads it: trimmed, every line break a single line feed and
// every literal "<CRLF>" a line feed too.
[[nodiscard]] std::string NormalizeOptionText(const std::string &AText);
// Removes leading and trailing white space.
[[nodiscard]] std::string Trim(const std::string &AText);

// Folder of the running program, with a trailing "/".
[[nodiscard]] std::string ProgramFolder();
// Size of a file in bytes, -1 when it does not exist or is not a file.
[[nodiscard]] int64_t GetFileSize(const std::string &AFileName);

// Reads a whole file into a buffer from the library allocator (release it with
// av_free), followed by a zero byte; ASize counts that byte. Returns 0, -1 when the
// file cannot be opened or read, -12 when the buffer cannot be allocated.
[[nodiscard]] int ReadWholeFile(const std::string &AFileName, char **ABuffer, size_t *ASize);
