#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <vector>

#include "AVProbe.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegLogger/FFmpegLogger.h"
#include "MediaFixtures.h"
#include "ProbeTexts.h"

namespace {

using qvtest::TFixture;

std::vector<std::string> Lines(const std::string &AText) {
  std::vector<std::string> out;
  std::istringstream in(AText);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::string LineStartingWith(const std::string &AText, const std::string &APrefix) {
  for (const std::string &l : Lines(AText))
    if (l.rfind(APrefix, 0) == 0) return l;
  return "";
}

std::string Copy(const std::string &AFrom, const std::string &ADir, const std::string &AName) {
  const std::string to = ADir + "/" + AName;
  std::filesystem::copy_file(AFrom, to, std::filesystem::copy_options::overwrite_existing);
  return to;
}

class Probe : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FFLoader().Load(kQueueLibraries)) << FFLoader().LastErrMsg();
  }
  TAVProbe P;
};

TEST(ProbeLibraries, LoadFileBeforeTheLibrariesAreLoadedRaisesTheFirstMissingOne) {
  // Every library of the process goes, so that the check starts from nothing.
  FFLoader().Unload(kPlayerLibraries);
  FFLoader().Unload(TLibraries{avCodec, avDevice, avFilter, avFormat, avUtil, swScale, swResample});
  TAVProbe probe;
  try {
    (void)probe.LoadFile("/nonexistent.avi");
    FAIL() << "no error raised";
  } catch (const EAVProbeError &e) {
    EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
  }
  ASSERT_TRUE(FFLoader().Load(avCodec));
  EXPECT_THROW(probe.SetFileHandle(nullptr), EAVProbeError);
  try {
    (void)probe.LoadFile("/nonexistent.avi");
  } catch (const EAVProbeError &e) {
    EXPECT_STREQ(e.what(), "LibAVFormat not loaded.");
  }
  EXPECT_FALSE(probe.AVLibLoaded());
  ASSERT_TRUE(probe.LoadAVLib(""));
  EXPECT_TRUE(probe.AVLibLoaded());
  EXPECT_FALSE(probe.LoadFile("/nonexistent.avi"));
}

struct TCountCase {
  TFixture Kind;
  int Streams, Video, Audio, Subtitle, FirstVideo, FirstAudio;
};

class ProbeCounts : public ::testing::TestWithParam<TCountCase> {};

TEST_P(ProbeCounts, CountStreamsOfEachKindAndTheirFirstIndexes) {
  const TCountCase &c = GetParam();
  const std::string path = qvtest::Fixture(c.Kind);
  TAVProbe p;
  ASSERT_TRUE(p.LoadFile(path)) << p.LastErrMsg();
  EXPECT_EQ(p.StreamCount(), c.Streams);
  EXPECT_EQ(p.VideoStreamCount(), c.Video);
  EXPECT_EQ(p.AudioStreamCount(), c.Audio);
  EXPECT_EQ(p.SubtitleStreamCount(), c.Subtitle);
  EXPECT_EQ(p.FirstVideoStreamIndex(), c.FirstVideo);
  EXPECT_EQ(p.FirstAudioStreamIndex(), c.FirstAudio);
  EXPECT_EQ(p.FirstSubtitleStreamIndex(), -1);
  EXPECT_EQ(p.FileSize(), static_cast<int64_t>(std::filesystem::file_size(path)));
  EXPECT_EQ(p.FileName(), path);
  p.CloseFile();
  EXPECT_EQ(p.FileHandle(), nullptr);
  EXPECT_EQ(p.StreamCount(), -1);
  EXPECT_EQ(p.FirstAudioStreamIndex(), -1);
  EXPECT_EQ(p.FileSize(), -1);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProbeCounts,
                         ::testing::Values(TCountCase{TFixture::VideoTwoAudio, 3, 1, 2, 0, 0, 1},
                                           TCountCase{TFixture::AudioFirst, 2, 1, 1, 0, 1, 0},
                                           TCountCase{TFixture::AudioOnly, 1, 0, 1, 0, -1, 0},
                                           TCountCase{TFixture::MpegPs, 2, 1, 1, 0, 0, 1},
                                           TCountCase{TFixture::Avi, 2, 1, 1, 0, 0, 1}),
                         [](const auto &AInfo) {
                           return std::string(qvtest::FixtureName(AInfo.param.Kind));
                         });

TEST_F(Probe, StreamRecordsCarryTheStreamsFacts) {
  ASSERT_TRUE(P.LoadFile(qvtest::Fixture(TFixture::VideoTwoAudio))) << P.LastErrMsg();
  const TVideoStreamInfo v = P.FirstVideoStreamInfo();
  EXPECT_EQ(v.CodecName, "mpeg4(MPEG-4 part 2)");
  EXPECT_EQ(v.Width, 160);
  EXPECT_EQ(v.Height, 120);
  EXPECT_FLOAT_EQ(v.AspectRatio, 160.0f / 120.0f);
  EXPECT_EQ(v.PixFmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(v.FrameRate.num, 25);
  EXPECT_EQ(v.FrameRate.den, 1);
  EXPECT_EQ(v.StartTimeScaled, v.StartTime * 1000);  // 1/1000 time base
  const TAudioStreamInfo a1 = P.AudioStreamInfo(1), a2 = P.AudioStreamInfo(2);
  EXPECT_EQ(a1.Language, "eng");
  EXPECT_EQ(a1.CodecName.rfind("aac(", 0), 0u) << a1.CodecName;
  EXPECT_EQ(a1.Channels, 2);
  EXPECT_EQ(a1.SampleRate, 44100);
  EXPECT_EQ(a1.SampleFormat, AV_SAMPLE_FMT_FLTP);
  EXPECT_EQ(a2.Language, "fre");
  EXPECT_EQ(a2.CodecName.rfind("mp2", 0), 0u) << a2.CodecName;
  EXPECT_TRUE(P.IsVideoStream(0));
  EXPECT_TRUE(P.IsAudioStream(2));
  EXPECT_FALSE(P.IsSubtitleStream(1));

  ASSERT_TRUE(P.LoadFile(qvtest::Fixture(TFixture::Mp4)));
  const TVideoStreamInfo mp4 = P.FirstVideoStreamInfo();
  EXPECT_EQ(mp4.DurationScaled, 2000000);
  EXPECT_EQ(mp4.Duration, 2 * 12800);
  EXPECT_EQ(P.FirstAudioStreamInfo().DurationScaled, 2000000);
}

TEST_F(Probe, MisuseLeavesResetRecordsAndNamesTheFault) {
  const auto expectResetVideo = [](const TVideoStreamInfo &v) {
    EXPECT_EQ(v.CodecName, "");
    EXPECT_EQ(v.Width, -1);
    EXPECT_EQ(v.BitRate, -1);
    EXPECT_EQ(v.DurationScaled, -1);
    EXPECT_FLOAT_EQ(v.AspectRatio, -1.0f);
    EXPECT_EQ(v.FrameRate.num, -1);
    EXPECT_EQ(v.FrameRate.den, -1);
  };
  // Without a file.
  EXPECT_EQ(P.FileInfoText(), "");
  EXPECT_EQ(P.LastErrMsg(), "file not loaded.");
  expectResetVideo(P.FirstVideoStreamInfo());
  EXPECT_EQ(P.FileStreamInfo().Duration, -1);
  EXPECT_EQ(P.FileStreamInfo().Year, -1);
  EXPECT_FALSE(P.IsAudioStream(0));

  ASSERT_TRUE(P.LoadFile(qvtest::Fixture(TFixture::VideoTwoAudio)));
  struct TCase {
    std::function<void()> Call;
    const char *Msg;
  };
  const TCase cases[] = {
      {[&] { EXPECT_EQ(P.FirstSubtitleStreamInfo().CodecName, ""); }, "no subtitle stream."},
      {[&] { EXPECT_EQ(P.AudioStreamInfo(0).Channels, -1); }, "stream #0 is not audio stream."},
      {[&] { expectResetVideo(P.VideoStreamInfo(1)); }, "stream #1 is not video stream."},
      {[&] { EXPECT_EQ(P.SubtitleStreamInfo(2).Language, ""); },
       "stream #2 is not subtitle stream."},
      {[&] { expectResetVideo(P.VideoStreamInfo(3)); }, "stream index #3 is invalid."},
      {[&] { EXPECT_FALSE(P.IsVideoStream(-1)); }, "stream index #-1 is invalid."},
      {[&] { EXPECT_FALSE(P.IsVideoStream(P.StreamCount())); }, "stream index #3 is invalid."},
  };
  for (const TCase &c : cases) {
    c.Call();
    EXPECT_EQ(P.LastErrMsg(), c.Msg);
  }
  // Success does not clear the last error.
  EXPECT_EQ(P.FirstVideoStreamInfo().Width, 160);
  EXPECT_EQ(P.LastErrMsg(), "stream index #3 is invalid.");

  ASSERT_TRUE(P.LoadFile(qvtest::Fixture(TFixture::AudioOnly)));
  expectResetVideo(P.FirstVideoStreamInfo());
  EXPECT_EQ(P.LastErrMsg(), "no video stream.");
  EXPECT_EQ(P.FirstAudioStreamInfo().SampleRate, 44100);
  (void)P.FirstAudioStreamInfo();
  EXPECT_EQ(P.AudioStreamInfo(-5).Channels, 2);
}

TEST_F(Probe, ForcedFormatIsLookedUpByName) {
  const std::string ts = qvtest::Fixture(TFixture::MpegTs);
  EXPECT_FALSE(P.LoadFile(ts, "no_such_format"));
  EXPECT_EQ(P.LastErrMsg(), "Unknown input format: no_such_format");
  EXPECT_EQ(P.StreamCount(), -1);
  EXPECT_EQ(P.AudioStreamCount(), -1);
  ASSERT_TRUE(P.LoadFile(ts, "mpegts"));
  EXPECT_EQ(P.ForceFormat(), "mpegts");
  EXPECT_EQ(P.FormatName(), "mpegts");
  P.CloseFile();
  EXPECT_EQ(P.ForceFormat(), "");
}

// Broken and foreign input never crashes the probe and leaves no container behind.
TEST_F(Probe, CorruptInputGivesFalseWithTheOpenOrAnalysisMessage) {
  const std::string dir = qvtest::FixtureDir();
  std::vector<std::string> files = {qvtest::Fixture(TFixture::ZeroLength),
                                    qvtest::Fixture(TFixture::Truncated)};
  {
    std::mt19937 rng(1234);
    std::string bytes(8192, '\0');
    for (char &b : bytes) b = static_cast<char>(rng());
    files.push_back(dir + "/random.avi");
    std::ofstream(files.back(), std::ios::binary).write(bytes.data(), bytes.size());
  }
  {
    files.push_back(dir + "/notes.mp4");
    std::ofstream out(files.back());
    for (int i = 0; i < 50; ++i) out << "This is a plain text file, line " << i << ".\n";
  }
  for (const std::string &f : files) {
    SCOPED_TRACE(f);
    EXPECT_FALSE(P.LoadFile(f));
    const std::string &m = P.LastErrMsg();
    EXPECT_TRUE(m == f + ": Invalid data found when processing input" ||
                m == f + ": could not find codec parameters" || m == f + ": End of file")
        << m;
    EXPECT_EQ(P.FileHandle(), nullptr);
    EXPECT_EQ(P.StreamCount(), -1);
  }
  EXPECT_FALSE(P.LoadFile(dir + "/missing.avi"));
  EXPECT_EQ(P.LastErrMsg(), dir + "/missing.avi: No such file or directory");
}

TEST_F(Probe, FaultsGoToTheSharedLogWithTheProbeAsSender) {
  struct TEntry {
    const void *Sender;
    TLogLevel Level;
    std::string Msg;
  };
  std::vector<TEntry> entries;
  GlobalLogger().SetTriggerEventInMainThread(false);
  GlobalLogger().SetOnLog([&](const void *s, uint32_t, TLogLevel l, const std::string &m) {
    if (s == &P) entries.push_back({s, l, m});
  });
  (void)P.FileInfoText();
  const std::string missing = qvtest::FixtureDir() + "/100%s missing.avi";
  EXPECT_FALSE(P.LoadFile(missing));
  GlobalLogger().SetOnLog(nullptr);
  GlobalLogger().SetTriggerEventInMainThread(true);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].Level, llWarning);
  EXPECT_EQ(entries[0].Msg, "file not loaded.");
  EXPECT_EQ(entries[1].Level, llError);
  EXPECT_EQ(entries[1].Msg, missing + ": No such file or directory");
}

// A name the libraries' 8-bit form cannot spell is opened through the program's own I/O.
TEST_F(Probe, NameThatIsNoValidTextOpensThroughCustomIO) {
  const std::string name = qvtest::FixtureDir() + "/clip\xff\xfe.mkv";
  std::filesystem::copy_file(qvtest::Fixture(TFixture::Mkv), name,
                             std::filesystem::copy_options::overwrite_existing);
  ASSERT_TRUE(P.LoadFile(name)) << P.LastErrMsg();
  EXPECT_TRUE(P.FileHandle()->flags & AVFMT_FLAG_CUSTOM_IO);
  EXPECT_EQ(P.FileName(), name);
  EXPECT_EQ(P.FormatName(), "matroska,webm");
  EXPECT_EQ(P.StreamCount(), 2);
  EXPECT_EQ(P.FileSize(), static_cast<int64_t>(std::filesystem::file_size(name)));
  EXPECT_EQ(LineStartingWith(P.FileInfoText(), "File Name: "), "File Name: " + name);
  P.CloseFile();
  EXPECT_EQ(P.FileHandle(), nullptr);
}

TEST_F(Probe, BorrowedContainerSurvivesCloseFile) {
  AVFormatContext *ic = nullptr;
  ASSERT_EQ(
      ff::format.avformat_open_input(&ic, qvtest::Fixture(TFixture::Mp4).c_str(), nullptr, nullptr),
      0);
  ASSERT_GE(ff::format.avformat_find_stream_info(ic, nullptr), 0);
  P.SetFileHandle(ic);
  EXPECT_EQ(P.FileHandle(), ic);
  EXPECT_EQ(P.StreamCount(), 2);
  EXPECT_EQ(P.FirstVideoStreamIndex(), 0);
  P.CloseFile();
  EXPECT_EQ(P.StreamCount(), -1);
  // Still open for its owner: it reads on (a freed context would fail under the sanitizer).
  AVPacket *pkt = ff::codec.av_packet_alloc();
  EXPECT_EQ(ff::format.av_read_frame(ic, pkt), 0);
  ff::codec.av_packet_free(&pkt);
  // A new file replaces a borrowed one without closing it either.
  P.SetFileHandle(ic);
  ASSERT_TRUE(P.LoadFile(qvtest::Fixture(TFixture::Wav)));
  EXPECT_EQ(ic->nb_streams, 2u);
  ff::format.avformat_close_input(&ic);
}

// A QuickTime file padded with zeros stays loadable: the reader takes the zeros for one last
// atom that runs to the end of the file and skips it.
TEST_F(Probe, SizeLineFollowsTheSizeThresholdsUpToSparseGigabytes) {
  qvtest::TClipParams params;
  params.Container = "mov";
  params.VideoCodec.clear();
  params.DurationSec = 0.02;
  params.Audio = {qvtest::Track("pcm_s16le", 8000, 1)};
  const std::string wav = qvtest::MakeClip(params);
  ASSERT_LT(std::filesystem::file_size(wav), 1024u);
  struct TSize {
    int64_t Bytes;
    const char *Line;
  };
  const TSize sizes[] = {{1024, "File Size: 1024 Byte"},
                         {1025, "File Size: 1.00 KB"},
                         {1048577, "File Size: 1.00 MB"},
                         {1073741824, "File Size: 1024.00 MB"},
                         {1073741825, "File Size: 1.00 GB"}};
  const std::string padded = Copy(wav, qvtest::FixtureDir(), "padded.mov");
  for (const TSize &s : sizes) {
    SCOPED_TRACE(s.Bytes);
    ASSERT_EQ(truncate(padded.c_str(), s.Bytes), 0);
    ASSERT_TRUE(P.LoadFile(padded)) << P.LastErrMsg();
    EXPECT_EQ(P.FileSize(), s.Bytes);
    EXPECT_EQ(LineStartingWith(P.FileInfoText(), "File Size:"), s.Line);
  }
  P.CloseFile();
  std::filesystem::remove(padded);
}

TEST_F(Probe, UnknownDurationAndBitRateShowNA) {
  qvtest::TClipParams raw;
  raw.Container = "m4v";
  raw.Audio.clear();
  ASSERT_TRUE(P.LoadFile(qvtest::MakeClip(raw))) << P.LastErrMsg();
  const std::string text = P.FileInfoText();
  EXPECT_EQ(LineStartingWith(text, "Duration:"), "Duration: N/A");
  EXPECT_EQ(LineStartingWith(text, "Bit Rate:"), "Bit Rate: N/A");
  EXPECT_EQ(P.FileStreamInfo().Duration, -1);
  const std::string stream = LineStartingWith(text, "Stream #0");
  EXPECT_NE(stream.find(", Duration: N/A"), std::string::npos) << stream;
  EXPECT_EQ(stream.find(" fps"), std::string::npos) << stream;
}

TEST(ProbeText, RateNumbersUseTwoDecimalsWholeNumbersOrThousands) {
  const std::pair<double, const char *> cases[] = {
      {25, ", 25 fps"},        {30000.0 / 1001, ", 29.97 fps"},
      {23.976, ", 23.98 fps"}, {1000, ", 1k fps"},
      {90000, ", 90k fps"},    {12800, ", 12800 fps"},
      {0.5, ", 0.50 fps"},     {100000, ", 100k fps"}};
  for (const auto &[value, text] : cases) EXPECT_EQ(probe_text::RateNumber(value, "fps"), text);
  EXPECT_EQ(probe_text::SecondsText(1500000), "1.500000");
  EXPECT_EQ(probe_text::SecondsText(-40000), "-0.040000");
  EXPECT_EQ(probe_text::DisplayKey("TPE1"), "artist");
  EXPECT_EQ(probe_text::DisplayKey("TT2"), "title");
  EXPECT_EQ(probe_text::DisplayKey("TSOP"), "authorsort");
  EXPECT_EQ(probe_text::DisplayKey("tpe1"), "tpe1");
  EXPECT_EQ(probe_text::DisplayKey("service_name"), "service_name");
}

// The whole text of a transport stream: program block with its tags, then the program's
// streams; a stream whose only tag is "language" shows it in the line and gets no block.
TEST_F(Probe, InformationTextOfAProgramStreamLineForLine) {
  qvtest::TClipParams params;
  params.Container = "mpegts";
  params.Extension = "ts";
  params.VideoCodec = "mpeg2video";
  params.Audio = {qvtest::Track("mp2", 44100, 2, 128000, "eng")};
  const std::string path = qvtest::MakeClip(params);
  ASSERT_TRUE(P.LoadFile(path));
  const std::vector<std::string> lines = Lines(P.FileInfoText());
  const std::vector<std::string> expected = {
      "File Name: " + path,
      "Format Name: mpegts",
      "Format Long Name: MPEG-TS (MPEG-2 Transport Stream)",
      "File Size: 66.46 KB",
      "Duration: 00:00:02.011",
      "StartTime: 0.029089",
      "Bit Rate: 270 kb/s",
      "Program 1 N/A@N/A",
      "  Metadata:",
      "    service_name    : Service01",
      "    service_provider: FFmpeg",
      "Stream #0[0x100], 1/90000: Video: mpeg2video (Main) ([2][0][0][0] / 0x0002), "
      "yuv420p(tv, progressive), 160x120 [SAR 1:1 DAR 4:3], 25 fps, 25 tbr, 90k tbn, "
      "StartTime: 0.040000, Duration: 00:00:02.000",
      "Stream #1[0x101](eng), 1/90000: Audio: mp2 ([3][0][0][0] / 0x0003), 44100 Hz, stereo, "
      "fltp, 128 kb/s, StartTime: 0.029089, Duration: 00:00:02.011"};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(P.FileInfoText().back(), '\n');
}

TEST_F(Probe, TagsFillTheFileRecordAndTheMetadataBlock) {
  ASSERT_TRUE(P.LoadFile(qvtest::Fixture(TFixture::Tagged))) << P.LastErrMsg();
  const TFileStreamInfo f = P.FileStreamInfo();
  EXPECT_EQ(f.Title, "Test Tone");
  EXPECT_EQ(f.Author, "Quorvel");
  EXPECT_EQ(f.Album, "Fixtures");
  EXPECT_EQ(f.Genre, "Test");
  EXPECT_EQ(f.Comment, "generated");
  EXPECT_EQ(f.Track, 7);
  EXPECT_EQ(f.Year, 2024);
  EXPECT_EQ(f.TimeStamp, 0);
  EXPECT_GT(f.Duration, 1900000);
  const std::string text = P.FileInfoText();
  EXPECT_NE(text.find("\nMetadata:\n  title           : Test Tone\n  artist          : Quorvel\n"),
            std::string::npos)
      << text;
}

// The time stamp is shown in local time with the standard offset only (no daylight saving).
TEST_F(Probe, TimeStampLineUsesTheStandardTimeZoneOffset) {
  qvtest::TClipParams params;
  params.Container = "matroska";
  params.Extension = "mkv";
  params.DurationSec = 0.5;
  params.Tags = {{"creation_time", "2020-07-02T03:04:05.000000Z"}};
  ASSERT_TRUE(P.LoadFile(qvtest::MakeClip(params)));
  EXPECT_EQ(P.FileStreamInfo().TimeStamp, 1593659045);
  const char *oldTz = getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  const std::string line = LineStartingWith(P.FileInfoText(), "Time Stamp:");
  oldTz ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
  EXPECT_EQ(line, "Time Stamp: 2020-07-02 04:04:05");
}

TEST_F(Probe, VideoRatesFollowTheNumberRules) {
  qvtest::TClipParams params;
  params.Container = "matroska";
  params.Extension = "mkv";
  params.DurationSec = 0.5;
  params.FrameRateNum = 30000;
  params.FrameRateDen = 1001;
  params.Audio.clear();
  ASSERT_TRUE(P.LoadFile(qvtest::MakeClip(params)));
  const std::string line = LineStartingWith(P.FileInfoText(), "Stream #0");
  EXPECT_NE(line.find(", 29.97 fps, 29.97 tbr, 1k tbn, StartTime: 0.000000"), std::string::npos)
      << line;
}

}  // namespace
