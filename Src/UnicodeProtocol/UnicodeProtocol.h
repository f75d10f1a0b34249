// File names for the media libraries. A name the libraries' 8-bit form cannot spell is
// handed over as "unicode:utf8:" followed by its UTF-8 text; this generation of the
// libraries no longer takes registered protocols, so such names are served through the
// libraries' custom I/O by the open functions below. Use them (and the matching close
// functions) wherever a file name is opened.
#pragma once

#include <string>

struct AVDictionary;
struct AVFormatContext;
struct AVIOContext;
struct AVInputFormat;

inline constexpr const char *kUnicodePrefix = "unicode:utf8:";

// True when the name starts with a protocol prefix the libraries handle themselves
// ("unicode:", "stream:", "gopher:", "http:", "pipe:", "rtp:", "tcp:", "udp:").
[[nodiscard]] bool HasProtocolPrefix(const std::string &AFileName);

// The name to give the libraries. ACodeSet is the 8-bit character set of the library
// side (iconv name); the file system takes UTF-8 names as they are, so the default keeps
// every valid name unchanged. A name without a protocol prefix that the character set
// cannot spell becomes "unicode:utf8:" + the name.
[[nodiscard]] std::string ToLibraryFileName(const std::string &AFileName,
                                            const char *ACodeSet = "UTF-8");
// The file name behind a library name: a "unicode:utf8:" name loses its prefix, any other
// is converted from ACodeSet.
[[nodiscard]] std::string FromLibraryFileName(const std::string &ALibraryName,
                                              const char *ACodeSet = "UTF-8");
[[nodiscard]] bool IsUnicodeFileName(const std::string &AName);

// avformat_open_input that also opens "unicode:utf8:" names. Same contract: on failure
// *APs is freed and set to null and a library error code is returned.
[[nodiscard]] int OpenMediaInput(AVFormatContext **APs, const std::string &AUrl,
                                 const AVInputFormat *AFormat, AVDictionary **AOptions);
// avformat_close_input that also releases the custom I/O of a "unicode:utf8:" input.
void CloseMediaInput(AVFormatContext **APs);

// avio_open for any name; AFlags are AVIO_FLAG_READ / _WRITE / _READ_WRITE. Writing
// creates the file anew. A "unicode:utf8:" name that cannot be opened gives
// AVERROR(ENOENT).
[[nodiscard]] int OpenMediaIO(AVIOContext **APb, const std::string &AUrl, int AFlags);
// avio_closep for a context from OpenMediaIO (flushes written data first).
void CloseMediaIO(AVIOContext **APb);
