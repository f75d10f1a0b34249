// The video path: frame clock (duplicates, frame limit), the custom hook and frame-hook
// modules changing the encoded pictures, and the user's filter description.
#include <numeric>

#include "EncodeTestSupport.h"

using encodetest::LumaMeans;

namespace {

using TOptions = std::vector<std::pair<std::string, std::string>>;

class VideoPath : public enginetest::EngineTest {
 protected:
  // Converts AInput to an MPEG-4 AVI; false when the run did not finish.
  bool ToAvi(const std::string &AInput, const TOptions &AOpts, const std::string &AOut) {
    TCustomFFmpeg &e = *FEngine;
    EXPECT_TRUE(e.OpenInputFile(AInput)) << e.LastErrMsg();
    e.SetOption("vcodec", "mpeg4");
    e.SetOption("an", "");
    e.SetOption("qscale", "2");
    for (const auto &[n, v] : AOpts) e.SetOption(n, v);
    EXPECT_EQ(e.OpenOutputFile(AOut), 1) << e.LastErrMsg();
    e.StartConvert(false);
    return e.Finished() && !e.FatalException();
  }
  static double Mean(const std::vector<double> &AValues) {
    return AValues.empty() ? -1
                           : std::accumulate(AValues.begin(), AValues.end(), 0.0) / AValues.size();
  }
};

}  // namespace

TEST_F(VideoPath, ConstantRateDuplicatesOneFrameInFiveFrom25To30) {
  const std::string out = OutPath("dup30.avi");
  ASSERT_TRUE(ToAvi(qvtest::Fixture(qvtest::TFixture::Mp4), {{"r", "30"}, {"vsync", "1"}}, out))
      << FEngine->FatalMessage();
  EXPECT_GE(FEngine->Fnb_frames_dup, 8);
  EXPECT_LE(FEngine->Fnb_frames_dup, 11);
  EXPECT_EQ(FEngine->Fnb_frames_drop, 0);
  const auto s = enginetest::Summarize(out);
  EXPECT_EQ(s.Streams.at(0).Packets, 50 + FEngine->Fnb_frames_dup);
}

TEST_F(VideoPath, FrameLimitStopsAtThatFrame) {
  qvtest::TClipParams params;
  params.DurationSec = 5;
  params.Audio.clear();
  const std::string out = OutPath("vframes.avi");
  ASSERT_TRUE(ToAvi(qvtest::MakeClip(params), {{"vframes", "100"}}, out)) << FEngine->FatalMessage();
  EXPECT_EQ(enginetest::Summarize(out).Streams.at(0).Packets, 100);
}

TEST_F(VideoPath, CustomHookDrawingIntoTheBitmapChangesTheEncodedPictures) {
  const std::string src = qvtest::Fixture(qvtest::TFixture::Mp4);
  const std::string plain = OutPath("plain.avi");
  ASSERT_TRUE(ToAvi(src, {}, plain));
  const double plainMean = Mean(LumaMeans(plain));

  FEngine = std::make_unique<TCustomFFmpeg>(20);
  int calls = 0, lastNumber = 0;
  FEngine->OnCustomHook = [&](TCustomFFmpeg *, TFrameBitmap &ABitmap, int AFrameNumber, int64_t,
                              bool &AUpdate, bool &) {
    ++calls;
    lastNumber = AFrameNumber;
    EXPECT_EQ(ABitmap.Width, 160);
    EXPECT_EQ(ABitmap.Height, 120);
    std::fill(ABitmap.Pixels.begin(), ABitmap.Pixels.end(), 255);
    AUpdate = true;
  };
  const std::string white = OutPath("white.avi");
  ASSERT_TRUE(ToAvi(src, {}, white)) << FEngine->FatalMessage();
  EXPECT_EQ(calls, 50);
  EXPECT_EQ(lastNumber, 50);
  const std::vector<double> means = LumaMeans(white);
  ASSERT_EQ(means.size(), 50u);
  EXPECT_LT(plainMean, 180);
  for (double m : means) EXPECT_GT(m, 225);

  // A handler that asks to stop is not called again; the pictures after it are untouched.
  FEngine = std::make_unique<TCustomFFmpeg>(20);
  calls = 0;
  FEngine->OnCustomHook = [&](TCustomFFmpeg *, TFrameBitmap &ABitmap, int, int64_t, bool &,
                              bool &AStopHook) {
    ++calls;
    std::fill(ABitmap.Pixels.begin(), ABitmap.Pixels.end(), 255);
    AStopHook = true;
  };
  const std::string once = OutPath("once.avi");
  ASSERT_TRUE(ToAvi(src, {}, once));
  EXPECT_EQ(calls, 1);
  const std::vector<double> onceMeans = LumaMeans(once);
  ASSERT_EQ(onceMeans.size(), 50u);
  EXPECT_GT(onceMeans[0], 225);
  EXPECT_NEAR(onceMeans[10], plainMean, 10);
}

TEST_F(VideoPath, HookModuleProcessesEveryPicture) {
  const std::string out = OutPath("vhook.avi");
  ASSERT_TRUE(ToAvi(qvtest::Fixture(qvtest::TFixture::Mp4),
                    {{"vhook", std::string(QV_FILL_HOOK) + " 200"}}, out))
      << FEngine->FatalMessage();
  const std::vector<double> means = LumaMeans(out);
  ASSERT_EQ(means.size(), 50u);
  for (double m : means) EXPECT_NEAR(m, 200, 3);
}

TEST_F(VideoPath, HookModuleLoadingResults) {
  struct TCase {
    std::vector<std::string> Args;
    int Result;
  };
  const std::vector<TCase> cases = {
      {{}, -2},
      {{"/nonexistent/hook.so"}, -1},
      {{QV_PROCESS_ONLY_HOOK}, 0},
      {{QV_PROCESS_ONLY_HOOK, "1"}, -2},  // arguments but nothing to configure them
      {{QV_FILL_HOOK, "fail"}, -22},
      {{QV_FILL_HOOK, "10"}, 0},
      {{QV_FILL_HOOK}, 0},  // loaded once, a second entry
  };
  TFrameHookChain chain;
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Args.empty() ? "none" : c.Args.back());
    EXPECT_EQ(chain.Add(c.Args), c.Result);
  }
  EXPECT_EQ(chain.Size(), 3u);
  EXPECT_THROW(FEngine->SetOption("vhook", "/nonexistent/hook.so"), FFmpegException);
}

TEST_F(VideoPath, FilterDescriptionIsAppliedAndAnInvalidOneFailsTheRun) {
  const std::string src = qvtest::Fixture(qvtest::TFixture::Mp4);
  const std::string plain = OutPath("vf_plain.avi");
  ASSERT_TRUE(ToAvi(src, {}, plain));
  const std::string negated = OutPath("vf_negate.avi");
  FEngine = std::make_unique<TCustomFFmpeg>(20);
  ASSERT_TRUE(ToAvi(src, {{"vf", "negate"}, {"s", "320x240"}}, negated)) << FEngine->FatalMessage();
  const auto s = enginetest::Summarize(negated);
  EXPECT_EQ(s.Streams.at(0).Width, 320);
  EXPECT_EQ(s.Streams.at(0).Packets, 50);
  EXPECT_NEAR(Mean(LumaMeans(negated)), 16 + 235 - Mean(LumaMeans(plain)), 15);

  FEngine = std::make_unique<TCustomFFmpeg>(20);
  EXPECT_FALSE(ToAvi(src, {{"vf", "nosuchfilter=1"}}, OutPath("vf_bad.avi")));
  EXPECT_EQ(FEngine->FatalMessage(), "Error opening filters!");
}

TEST_F(VideoPath, DeinterlacingKeepsEveryPictureWithItsOwnTime) {
  // The moving marker tells which source picture a prepared one is: its left edge is at
  // 4 × the picture's number, modulo 146, on the fixture's 160 pixels.
  std::vector<std::pair<int64_t, int>> seen;
  FEngine->OnCustomHook = [&](TCustomFFmpeg *, TFrameBitmap &ABitmap, int, int64_t APTS,
                              bool &AUpdate, bool &) {
    AUpdate = false;
    int x = -1;
    for (int i = 0; i < ABitmap.Width && x < 0; ++i) {
      const uint8_t *p = ABitmap.Row(2) + 3 * i;
      if (p[0] < 70 && p[1] < 70 && p[2] < 70) x = i;
    }
    seen.emplace_back(APTS, x);
  };
  const std::string out = OutPath("deinterlaced.avi");
  ASSERT_TRUE(ToAvi(qvtest::Fixture(qvtest::TFixture::Mp4), {{"deinterlace", ""}}, out))
      << FEngine->FatalMessage();
  EXPECT_FALSE(Logged("Deinterlacing failed."));
  ASSERT_EQ(seen.size(), 50u);
  for (const auto &[pts, x] : seen) {
    const int k = static_cast<int>(std::llround(pts * 25 / 1e6));
    EXPECT_NEAR(x, ((k * 4) % 146) & ~1, 2) << "picture " << k;
  }
  EXPECT_EQ(enginetest::Summarize(out).Streams.at(0).Packets, 50);
}
