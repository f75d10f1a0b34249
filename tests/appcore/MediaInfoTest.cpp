#include <gtest/gtest.h>

#include <string>

#include "AVProbe.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "MediaFixtures.h"
#include "MediaInfo.h"

namespace {

using qvtest::TFixture;

struct TCutCase {
  const char *Name;
  std::string Text;
  std::string Video, Audio, Size, Time, Bit;
};

const std::string kHead =
    "File Name: /m/a.mp4\r\nFormat Name: mov,mp4\r\nFormat Long Name: QuickTime / MOV\r\n"
    "File Size: 1.50 MB\r\nDuration: 00:01:23.456\r\nStartTime: 0.000000\r\n"
    "Bit Rate: 1234 kb/s\r\n";
const std::string kVideoLine =
    "Stream #0(und), 1/12800: Video: mpeg4, yuv420p, 160x120, 25 fps, StartTime: 0.000000, "
    "Duration: 00:01:23.400\r\n";
const std::string kAudioLine =
    "Stream #1(und), 1/44100: Audio: aac (LC), 44100 Hz, stereo, fltp, StartTime: 0.000000, "
    "Duration: 00:01:23.456\r\n";

std::string Lf(std::string s) {
  for (size_t at; (at = s.find("\r\n")) != std::string::npos;) s.erase(at, 1);
  return s;
}

std::string UpToFirstStartTime(const std::string &AText) {
  return AText.substr(0, AText.find(", StartTime:") + 1);
}

const std::string kNotApplicable =
    "File Name: x\r\nFile Size: 1024 Byte\r\nDuration: N/A\r\nBit Rate: N/A\r\n"
    "Metadata:\r\n  title           : t\r\n" +
    kVideoLine;

class CutPieces : public ::testing::TestWithParam<TCutCase> {};

TEST_P(CutPieces, PiecesOfTheInformationText) {
  const TCutCase &c = GetParam();
  // Lines ended by a bare line feed read the same as lines ended by "\r\n".
  for (const std::string &text : {c.Text, Lf(c.Text)}) {
    TMediaInfoFields f;
    CutInfoPieces(text, f);
    EXPECT_EQ(f.T_FileInfo_V, c.Video);
    EXPECT_EQ(f.T_FileInfo_A, c.Audio);
    EXPECT_EQ(f.T_FileSize, c.Size);
    EXPECT_EQ(f.T_FileTime, c.Time);
    EXPECT_EQ(f.T_FileBit, c.Bit);
  }
}

const std::string kVideoPiece = "Video: mpeg4, yuv420p, 160x120, 25 fps";
const std::string kAudioPiece = "Audio: aac (LC), 44100 Hz, stereo, fltp";

INSTANTIATE_TEST_SUITE_P(
    Texts, CutPieces,
    ::testing::Values(
        TCutCase{"VideoThenAudio", kHead + kVideoLine + kAudioLine, kVideoPiece, kAudioPiece,
                 " 1.50 MB", " 00:01:23", " 1234 kb/s"},
        // The video piece is found after the audio stream's start time.
        TCutCase{"AudioFirst", kHead + kAudioLine + kVideoLine, kVideoPiece, kAudioPiece,
                 " 1.50 MB", " 00:01:23", " 1234 kb/s"},
        // Without video the piece is the text's first characters, up to the comma of the
        // first start time (the dialog then shows "无").
        TCutCase{"AudioOnly", kHead + kAudioLine, UpToFirstStartTime(kHead + kAudioLine),
                 kAudioPiece, " 1.50 MB", " 00:01:23", " 1234 kb/s"},
        // A stream after the first start time without one of its own has no piece.
        TCutCase{"NoOwnStartTime",
                 kHead + kAudioLine + "Stream #1, 1/25: Video: mpeg4, 25 fps, Duration: N/A\r\n",
                 "", kAudioPiece, " 1.50 MB", " 00:01:23", " 1234 kb/s"},
        // Unknown duration and bit rate, a bit rate of five digits, tags before the
        // streams, no container start time: each piece is the rest of its own line.
        TCutCase{"NotApplicableAndLongValues", kNotApplicable, kVideoPiece,
                 UpToFirstStartTime(kNotApplicable), " 1024 Byte", " N/A", " N/A"},
        TCutCase{"FiveDigitBitRate",
                 "File Size: 2.00 GB\r\nDuration: 01:02:03.004\r\nBit Rate: 12345 kb/s\r\n", "", "",
                 " 2.00 GB", " 01:02:03", " 12345 kb/s"},
        TCutCase{"Empty", "", "", "", "", "", ""}),
    [](const ::testing::TestParamInfo<TCutCase> &AInfo) { return std::string(AInfo.param.Name); });

TEST(MediaInfoLabels, LabelTextsFromTheFields) {
  TMediaInfoFields f;
  f.T_FileName = "/home/u/电影/clip.v2.mkv";
  f.T_FileInfo_V = "File Name: /home/u/clip.mp3";
  f.T_Video_Width = "-1";
  f.T_Video_Height = "-1";
  f.T_Video_BitRate = "0";
  f.T_Audio_BitRate = "128";
  f.T_Audio_Channels = "1";
  TMediaInfoLabels l = MediaInfoLabels(f);
  EXPECT_EQ(l.FileName, "clip.v2.mkv" + std::string(22, ' '));
  EXPECT_EQ(l.Extension, ".mkv");
  EXPECT_EQ(l.Resolution, "-1*-1");
  EXPECT_EQ(l.VideoBitRate, "0  kbps");
  EXPECT_EQ(l.AudioBitRate, "128  kbps");
  EXPECT_EQ(l.VideoStream, "无");
  EXPECT_EQ(l.Channels, "单声道");

  f.T_FileName = "noext";
  f.T_FileInfo_V = "Video: h264";
  f.T_Audio_Channels = "2";
  l = MediaInfoLabels(f);
  EXPECT_EQ(l.Extension, "");
  EXPECT_EQ(l.VideoStream, "Video: h264");
  EXPECT_EQ(l.Channels, "立体声  ");
  for (const char *other : {"6", "-1", "0"}) {
    f.T_Audio_Channels = other;
    EXPECT_FALSE(MediaInfoLabels(f).Channels.has_value()) << other;
  }
}

TEST(MediaInfoLabels, FrameRateTwoDecimals) {
  EXPECT_EQ(FrameRateText(25, 1), "25.00");
  EXPECT_EQ(FrameRateText(30000, 1001), "29.97");
  EXPECT_EQ(FrameRateText(-1, -1), "1.00");
  EXPECT_EQ(FrameRateText(25, 0), "0.00");
}

class GatherMediaInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FFLoader().Load(kQueueLibraries)) << FFLoader().LastErrMsg();
  }
  TAVProbe Probe;
};

TEST_F(GatherMediaInfoTest, AudioOnlyFileHasTheProbesEmptyVideoValues) {
  const std::string file = qvtest::Fixture(TFixture::AudioOnly);
  const TMediaInfoFields f = GatherMediaInfo(Probe, file);
  EXPECT_EQ(f.T_FileName, file);
  EXPECT_EQ(f.T_FormatName, "mp3");
  EXPECT_EQ(f.T_FileInfoText, Probe.FileInfoText());
  EXPECT_EQ(f.T_Video_Width + "*" + f.T_Video_Height, "-1*-1");
  EXPECT_EQ(f.T_Video_FrameRate_num, "1.00");
  EXPECT_EQ(f.T_Video_BitRate, "0");
  EXPECT_EQ(f.T_FileInfo_V.substr(0, 9), "File Name");
  EXPECT_EQ(f.T_FileInfo_A.rfind("Audio: mp3", 0), 0u) << f.T_FileInfo_A;
  EXPECT_EQ(f.T_FileInfo_A.find("StartTime"), std::string::npos);
  EXPECT_EQ(f.T_Audio_SampleRate, "44100");
  EXPECT_EQ(f.T_Audio_Channels, "2");
  EXPECT_EQ(f.T_FileTime, " 00:00:02");
  EXPECT_EQ(f.T_FileBit.rfind(" ", 0), 0u);
  EXPECT_NE(f.T_FileBit.find(" kb/s"), std::string::npos) << f.T_FileBit;
}

TEST_F(GatherMediaInfoTest, AudioFirstFileFindsTheVideoAfterTheAudioStream) {
  const TMediaInfoFields f = GatherMediaInfo(Probe, qvtest::Fixture(TFixture::AudioFirst));
  EXPECT_EQ(f.T_FileInfo_V.rfind("Video: mpeg4", 0), 0u) << f.T_FileInfo_V;
  EXPECT_NE(f.T_FileInfo_V.find("160x120"), std::string::npos);
  EXPECT_EQ(f.T_FileInfo_V.find("StartTime"), std::string::npos);
  EXPECT_EQ(f.T_FileInfo_A.rfind("Audio: aac", 0), 0u) << f.T_FileInfo_A;
  EXPECT_EQ(f.T_Video_Width + "*" + f.T_Video_Height, "160*120");
  EXPECT_EQ(f.T_Video_FrameRate_num, "25.00");
  EXPECT_EQ(f.T_Audio_Channels, "2");
}

TEST_F(GatherMediaInfoTest, UnreadableFileGivesEmptyTexts) {
  const TMediaInfoFields f = GatherMediaInfo(Probe, qvtest::Fixture(TFixture::ZeroLength));
  EXPECT_EQ(f.T_FileName, "");
  EXPECT_EQ(f.T_FileInfoText, "");
  EXPECT_EQ(f.T_Audio_SampleRate, "-1");
  EXPECT_EQ(f.T_Video_FrameRate_num, "1.00");
}

}  // namespace
