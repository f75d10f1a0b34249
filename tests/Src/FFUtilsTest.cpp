#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "FFUtils/FFUtils.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegQueue/OptionRecords.h"

namespace fs = std::filesystem;

TEST(FFUtils, TimeText) {
  const struct {
    int64_t us;
    const char *text;
  } cases[] = {
      {0, "00:00:00.000"},   {3723004000, "01:02:03.004"}, {360000000000, "100:00:00.000"},
      {999, "00:00:00.000"},  // below a millisecond rounds toward zero
      {NOPTS, "N/A"},
  };
  for (const auto &c : cases) EXPECT_EQ(TimeToStr(c.us), c.text) << c.us;
}

TEST(FFUtils, SizeTextSwitchesUnitOnlyAboveEachBoundary) {
  const struct {
    int64_t size;
    const char *text;
  } cases[] = {
      {-1, "-1 Byte"},
      {0, "0 Byte"},
      {1024, "1024 Byte"},
      {1025, "1.00 KB"},
      {1048576, "1024.00 KB"},
      {1048577, "1.00 MB"},
      {1073741824, "1024.00 MB"},
      {1073741825, "1.00 GB"},
      {5LL * 1073741824 + 536870912, "5.50 GB"},
  };
  for (const auto &c : cases) EXPECT_EQ(SizeToStr(c.size), c.text) << c.size;
}

TEST(FFUtils, ErrorTextMapsThisGenerationsCodes) {
  const struct {
    int code;
    const char *text;
  } cases[] = {
      {AVERROR(ENOENT), "a.avi: No such file or directory"},
      {-99, "a.avi: Error number -99 occurred"},
      {AVERROR_EOF, "a.avi: End of file"},
      {AVERROR_INVALIDDATA, "a.avi: Invalid data found when processing input"},
      {AVERROR(EINVAL), "a.avi: Invalid data found when processing input"},
      {AVERROR(ENOMEM), "a.avi: Not enough memory"},
      {AVERROR(EIO), "a.avi: I/O error"},
      {AVERROR(EDOM), "a.avi: Number syntax expected in filename"},
      {AVERROR_PATCHWELCOME, "a.avi: Not yet implemented in FFmpeg"},
      {AVERROR_PROTOCOL_NOT_FOUND, "a.avi: Unsupported network protocol"},
      {AVERROR_DEMUXER_NOT_FOUND, "a.avi: Unknown format"},
  };
  for (const auto &c : cases) EXPECT_EQ(ErrorToStr("a.avi", c.code), c.text) << c.code;
}

TEST(FFUtils, MediaTypeNames) {
  const char *names[] = {"Unknown", "Video", "Audio", "Data", "Subtitle", "Attachment", "Unknown"};
  for (int t = -1; t <= 5; ++t) EXPECT_EQ(MediaTypeToStr(t), names[t + 1]) << t;
}

TEST(FFUtils, SplitTakesTheFirstPartAndOptionallyConsumesIt) {
  const struct {
    const char *source, *delim;
    bool remove;
    const char *result, *rest;
  } cases[] = {
      {"b=500k", "=", true, "b", "500k"},
      {"b=5=0", "=", true, "b", "5=0"},
      {"novalue", "=", true, "novalue", ""},
      {"novalue", "=", false, "novalue", "novalue"},
      {"a=1", "=", false, "a", "a=1"},
      {"=x", "=", true, "", "x"},
      {"", "\n", true, "", ""},
      {"one<CRLF>two", "<CRLF>", true, "one", "two"},
  };
  for (const auto &c : cases) {
    std::string src = c.source;
    EXPECT_EQ(Split(src, c.delim, c.remove), c.result) << c.source;
    EXPECT_EQ(src, c.rest) << c.source;
  }
}

TEST(FFUtils, OptionTextBecomesLinesSplitByLineFeed) {
  EXPECT_EQ(NormalizeOptionText("  a=1\r\nb=2\rc=3<CRLF>d=4\n  "), "a=1\nb=2\nc=3\nd=4");
  std::string text = NormalizeOptionText("threads=2<CRLF>g=12");
  EXPECT_EQ(Split(text, "\n"), "threads=2");
  EXPECT_EQ(Split(text, "\n"), "g=12");
  EXPECT_TRUE(text.empty());
}

TEST(FFUtils, CalendarConversionsUseStandardTimeOffset) {
  const char *old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  // Eight hours east of UTC, with a daylight-saving rule that must be ignored.
  setenv("TZ", "XST-8XDT,M3.5.0,M10.5.0", 1);
  EXPECT_DOUBLE_EQ(UnixToLocalDateTime(0), 25569.0 + 8.0 / 24.0);
  // 2021-07-01 12:00:00 UTC is 20:00 local standard time.
  const int64_t summer = 1625140800;
  const double dt = UnixToLocalDateTime(summer);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", dt), "2021-07-01 20:00:00");
  EXPECT_EQ(LocalDateTimeToUnix(dt), summer);
  EXPECT_EQ(FormatDateTime("d/m/yy h:n \"at\" zzz", dt), "1/7/21 20:0 at 000");
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
}

TEST(FFUtils, FileHelpers) {
  const fs::path dir = fs::path(testing::TempDir()) / "qv_fileutils";
  fs::remove_all(dir);
  fs::create_directories(dir);
  EXPECT_EQ(GetFileSize((dir / "missing").string()), -1);
  EXPECT_EQ(GetFileSize(dir.string()), -1);
  { std::ofstream(dir / "sparse", std::ios::binary); }
  fs::resize_file(dir / "sparse", 3LL * 1073741824);  // sparse: costs no disk space
  EXPECT_EQ(GetFileSize((dir / "sparse").string()), 3LL * 1073741824);

  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(fs::exists(folder + "test_Src"));
  fs::remove_all(dir);
}

TEST(FFUtils, ReadWholeFileAddsATerminatingZero) {
  ASSERT_TRUE(FFLoader().Load(avUtil)) << FFLoader().LastErrMsg();
  const fs::path file = fs::path(testing::TempDir()) / "qv_stats.log";
  { std::ofstream(file, std::ios::binary) << "pass one"; }
  char *buf = nullptr;
  size_t size = 0;
  ASSERT_EQ(ReadWholeFile(file.string(), &buf, &size), 0);
  EXPECT_EQ(size, 9u);
  EXPECT_STREQ(buf, "pass one");
  ff::util.av_free(buf);
  EXPECT_EQ(ReadWholeFile(file.string() + ".missing", &buf, &size), -1);
  EXPECT_EQ(buf, nullptr);
  fs::remove(file);
}
