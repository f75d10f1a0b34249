// The generated media must be what its header promises, as an independent reader sees it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "MediaFixtures.h"

namespace {

using qvtest::TFixture;

// Runs ffprobe and returns one "codec|type|w|h" or "codec|type|rate|channels" line per stream.
// Streams listed again under programs and the empty side-data lines are dropped.
std::string Streams(const std::string &APath) {
  const std::string cmd =
      "ffprobe -v error -show_entries "
      "stream=index,codec_type,codec_name,width,height,channels,sample_rate "
      "-of compact=p=0:nk=1 '" +
      APath + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE *)> p(popen(cmd.c_str(), "r"), pclose);
  std::map<int, std::string> byIndex;
  char buf[512];
  while (p && fgets(buf, sizeof buf, p.get())) {
    std::string line(buf);
    while (!line.empty() && (line.back() == '\n' || line.back() == '|')) line.pop_back();
    const size_t bar = line.find('|');
    if (line.empty() || bar == std::string::npos) continue;
    byIndex[std::stoi(line.substr(0, bar))] = line.substr(bar + 1);
  }
  std::string out;
  for (const auto &[i, s] : byIndex) out += s + "\n";
  return out;
}

struct TFixtureCase {
  TFixture Kind;
  const char *Extension;
  const char *Streams;  // ffprobe's view, codec names of the system's decoders
};

class FixtureFiles : public ::testing::TestWithParam<TFixtureCase> {};

TEST_P(FixtureFiles, OpenInAnIndependentReaderWithTheStreamsPromised) {
  const TFixtureCase &c = GetParam();
  const std::string path = qvtest::Fixture(c.Kind);
  EXPECT_EQ(std::filesystem::path(path).extension().string(), c.Extension);
  EXPECT_EQ(Streams(path), c.Streams);
}

INSTANTIATE_TEST_SUITE_P(
    Named, FixtureFiles,
    ::testing::Values(
        TFixtureCase{TFixture::Mp4, ".mp4", "mpeg4|video|160|120\naac|audio|44100|2\n"},
        TFixtureCase{TFixture::Mkv, ".mkv", "mpeg4|video|160|120\nflac|audio|44100|2\n"},
        TFixtureCase{TFixture::MpegPs, ".mpg", "mpeg2video|video|160|120\nmp2|audio|44100|2\n"},
        TFixtureCase{TFixture::MpegTs, ".ts", "mpeg2video|video|160|120\nmp2|audio|44100|2\n"},
        TFixtureCase{TFixture::Wav, ".wav", "pcm_s16le|audio|22050|1\n"},
        TFixtureCase{TFixture::VideoTwoAudio, ".mkv",
                     "mpeg4|video|160|120\naac|audio|44100|2\nmp2|audio|44100|2\n"},
        TFixtureCase{TFixture::AudioFirst, ".mkv", "aac|audio|44100|2\nmpeg4|video|160|120\n"},
        TFixtureCase{TFixture::SixChannels, ".mkv", "mpeg4|video|160|120\naac|audio|48000|6\n"},
        TFixtureCase{TFixture::Subtitled, ".mkv",
                     "mpeg4|video|160|120\npcm_s16le|audio|22050|1\nsubrip|subtitle|N/A|N/A\n"
                     "dvd_subtitle|subtitle|160|120\n"}),
    [](const auto &AInfo) { return std::string(qvtest::FixtureName(AInfo.param.Kind)); });

// The FLV reader lists streams in the order their first packets arrive: audio first here.
TEST(FixtureFiles, Mp3AviAndFlvCarryMp3WhenTheEncoderIsThere) {
  const bool lame = qvtest::HasEncoder("libmp3lame");
  const std::string a = lame ? "mp3" : "mp2";
  EXPECT_EQ(Streams(qvtest::Fixture(TFixture::Mp3)), a + "|audio|44100|2\n");
  EXPECT_EQ(Streams(qvtest::Fixture(TFixture::Avi)),
            "mpeg4|video|160|120\n" + a + "|audio|44100|2\n");
  EXPECT_EQ(Streams(qvtest::Fixture(TFixture::Flv)),
            std::string(lame ? "mp3" : "aac") + "|audio|44100|2\nflv1|video|160|120\n");
}

TEST(FixtureFiles, SameParamsAreWrittenOnceAndIsDeterministic) {
  qvtest::TClipParams params;
  params.DurationSec = 0.4;
  params.Container = "avi";
  params.Audio = {qvtest::Track("pcm_s16le", 8000, 1)};
  const std::string a = qvtest::MakeClip(params);
  EXPECT_EQ(qvtest::MakeClip(params), a);
  const std::string b = qvtest::FixtureDir() + "/again.avi";
  qvtest::WriteClip(params, b);
  auto bytes = [](const std::string &p) {
    std::FILE *f = std::fopen(p.c_str(), "rb");
    std::string s;
    char buf[4096];
    size_t n;
    while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    if (f) std::fclose(f);
    return s;
  };
  EXPECT_EQ(bytes(a), bytes(b));
  EXPECT_GT(bytes(a).size(), 1000u);
}

TEST(FixtureFiles, BrokenFilesAreWhatTheySay) {
  EXPECT_EQ(std::filesystem::file_size(qvtest::Fixture(TFixture::ZeroLength)), 0u);
  EXPECT_EQ(std::filesystem::file_size(qvtest::Fixture(TFixture::Truncated)), 3000u);
}

TEST(FixtureFiles, UnknownEncoderIsReported) {
  qvtest::TClipParams params;
  params.VideoCodec = "no-such-encoder";
  EXPECT_THROW((void)qvtest::MakeClip(params), std::runtime_error);
}

}  // namespace
