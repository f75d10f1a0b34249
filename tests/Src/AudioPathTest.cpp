// The audio path on PCM sources with chosen samples and time stamps: volume, layout and
// rate conversion, and the sync methods' silence, drops and dead band.
#include <algorithm>

#include "EncodeTestSupport.h"

using encodetest::ReadPcm;
using encodetest::TPcm;
using encodetest::TSegment;
using encodetest::WritePcmMkv;

namespace {

class AudioPath : public enginetest::EngineTest {
 protected:
  // Converts APath into a 16-bit WAV with the given output options; returns its samples.
  TPcm ToWav(const std::string &AInput,
             const std::vector<std::pair<std::string, std::string>> &AOpts,
             const std::string &AName, const std::string &AInputOffset = {}) {
    FEngine = std::make_unique<TCustomFFmpeg>(20);
    TCustomFFmpeg &e = *FEngine;
    if (!AInputOffset.empty()) e.SetOption("itsoffset", AInputOffset);
    EXPECT_TRUE(e.OpenInputFile(AInput)) << e.LastErrMsg();
    e.SetOption("acodec", "pcm_s16le");
    for (const auto &[n, v] : AOpts) e.SetOption(n, v);
    const std::string out = OutPath(AName);
    EXPECT_EQ(e.OpenOutputFile(out), 1) << e.LastErrMsg();
    e.StartConvert(false);
    EXPECT_FALSE(e.FatalException()) << e.FatalMessage();
    return ReadPcm(out);
  }
  static std::string Source(const std::string &AName, int ARate, int AChannels,
                            const std::vector<TSegment> &ASegments) {
    const std::string p = OutPath(AName);
    WritePcmMkv(p, ARate, AChannels, ASegments);
    return p;
  }
};

}  // namespace

TEST_F(AudioPath, VolumeScalesEverySampleAndClips) {
  const std::string src = Source("vol_src.mkv", 44100, 2, {{0.0, 4096, -1}});
  const TPcm in = ReadPcm(src);
  ASSERT_EQ(in.Samples.size(), 4096u * 2);
  for (int vol : {512, 0, 256, 128}) {
    SCOPED_TRACE(vol);
    const TPcm out = ToWav(src, {{"vol", std::to_string(vol)}}, "vol.wav");
    ASSERT_EQ(out.Samples.size(), in.Samples.size());
    for (size_t i = 0; i < in.Samples.size(); ++i) {
      const int expected = std::clamp((in.Samples[i] * vol + 128) >> 8, -32768, 32767);
      ASSERT_EQ(out.Samples[i], expected) << "sample " << i << " was " << in.Samples[i];
    }
  }
}

TEST_F(AudioPath, Stereo48kToMono44k) {
  const std::string src = Source("rs_src.mkv", 48000, 2, {{0.0, 48000, 8000}});
  const TPcm out = ToWav(src, {{"ar", "44100"}, {"ac", "1"}}, "rs.wav");
  EXPECT_EQ(out.Rate, 44100);
  EXPECT_EQ(out.Channels, 1);
  EXPECT_NEAR(static_cast<double>(out.Samples.size()), 44100.0, 64.0);
  ASSERT_GT(out.Samples.size(), 30000u);
  EXPECT_NEAR(out.Samples[22050], 8000, 800);  // both channels mixed into one
}

// Sources whose audio starts late or has a gap in the middle; the output's length tells
// what the sync method inserted.
TEST_F(AudioPath, SyncMethodsInsertSilenceOnlyBeyondTheThreshold) {
  struct TCase {
    const char *Name;
    std::vector<TSegment> Segments;
    const char *Offset;  // input time offset: the audio starts that late
    const char *Async;
    double ExpectedSeconds;
    double SilentUntil;  // seconds of leading silence expected
  };
  const std::vector<TCase> cases = {
      {"late start, sync 1", {{0.0, 44100, 5000}}, "0.5", "1", 1.5, 0.5},
      {"late start, no sync", {{0.0, 44100, 5000}}, "0.5", "0", 1.0, 0.0},
      {"gap of 0.05 s (under the threshold)",
       {{0.0, 44100, 5000}, {1.05, 44100, 5000}},
       "",
       "1",
       2.0,
       0.0},
      {"gap of 0.2 s", {{0.0, 44100, 5000}, {1.2, 44100, 5000}}, "", "1", 2.2, 0.0},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string src = Source("sync_src.mkv", 44100, 1, c.Segments);
    const TPcm out = ToWav(src, {{"async", c.Async}}, "sync.wav", c.Offset);
    ASSERT_EQ(out.Channels, 1);
    EXPECT_NEAR(out.Samples.size() / 44100.0, c.ExpectedSeconds, 0.005);
    const size_t silent = static_cast<size_t>(c.SilentUntil * 44100);
    ASSERT_GT(out.Samples.size(), silent + 100);
    if (silent > 0) {
      EXPECT_TRUE(std::all_of(out.Samples.begin(), out.Samples.begin() + silent - 64,
                              [](int16_t s) { return s == 0; }));
    }
    EXPECT_EQ(out.Samples[silent + 64], 5000);
  }
}
