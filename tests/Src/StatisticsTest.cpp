// Encoder statistics in the progress line and the per-frame statistics file: the
// quantiser histogram, PSNR figures, the final quantiser of delayed encoders, and the
// pictures a filter graph still holds at the end of the input.
#include <cmath>
#include <fstream>
#include <regex>

#include "EngineTestSupport.h"

namespace {

class Statistics : public enginetest::EngineTest {
 protected:
  // Converts the 2 s fixture (50 pictures at 25 fps) without sound.
  void Convert(const std::vector<std::pair<std::string, std::string>> &AOut,
               const std::string &AName) {
    ASSERT_TRUE(FEngine->OpenInputFile(qvtest::Fixture(qvtest::TFixture::Mp4)))
        << FEngine->LastErrMsg();
    FEngine->SetOption("an", "");
    for (const auto &[n, v] : AOut) FEngine->SetOption(n, v);
    FOutput = OutPath(AName);
    ASSERT_EQ(FEngine->OpenOutputFile(FOutput), 1) << FEngine->LastErrMsg();
    FEngine->StartConvert(false);
    ASSERT_FALSE(FEngine->FatalException()) << FEngine->FatalMessage();
  }
  // Progress lines logged without a progress handler; the final one carries "L".
  std::vector<std::string> ProgressLines() {
    std::lock_guard<std::mutex> g(FLogLock);
    std::vector<std::string> lines;
    for (const auto &l : FLog)
      if (l.second.rfind("frame=", 0) == 0) lines.push_back(l.second);
    return lines;
  }
  std::string FinalLine() {
    for (const std::string &l : ProgressLines())
      if (std::regex_search(l, std::regex(R"(q=[-0-9.]+ L)"))) return l;
    return {};
  }
  std::string FOutput;
};

}  // namespace

TEST_F(Statistics, QuantiserHistogramCountsEveryReportInItsBin) {
  FEngine->ReportInterval = 0;
  Convert({{"vcodec", "mpeg4"}, {"qscale", "5"}, {"qphist", ""}}, "qphist.avi");
  const std::string last = FinalLine();
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      last, m, std::regex(R"(^frame=\s*50 fps=\s*\d+ q=5\.0 L([0-9A-F]{32})size=)")))
      << last;
  // Only bin 5 was ever hit; with one count per report its digit is log2 of about 50.
  const std::string digits = m[1];
  for (int i = 0; i < 32; ++i) {
    if (i == 5)
      EXPECT_GE(std::stoi(digits.substr(i, 1), nullptr, 16), 4) << digits;
    else
      EXPECT_EQ(digits[i], '0') << digits;
  }
}

TEST_F(Statistics, PsnrFiguresFollowTheQuantiser) {
  // A finer quantiser gives a higher signal-to-noise ratio on every plane.
  std::vector<std::array<double, 4>> figures;
  for (const char *q : {"2", "24"}) {
    FEngine = std::make_unique<TCustomFFmpeg>(20);
    FLog.clear();
    Convert({{"vcodec", "mpeg4"}, {"qscale", q}, {"psnr", ""}}, std::string("psnr") + q + ".avi");
    const std::string last = FinalLine();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        last, m,
        std::regex(R"(PSNR=Y:(\d+\.\d\d) U:(\d+\.\d\d) V:(\d+\.\d\d) \*:(\d+\.\d\d) size=)")))
        << last;
    std::array<double, 4> f{};
    for (int i = 0; i < 4; ++i) {
      f[i] = std::stod(m[i + 1]);
      EXPECT_GT(f[i], 15.0) << last;
      EXPECT_LT(f[i], 80.0) << last;
    }
    figures.push_back(f);
  }
  for (int i = 0; i < 4; ++i) EXPECT_GT(figures[0][i], figures[1][i] + 3.0);
}

TEST_F(Statistics, StatisticsFileHasOneLinePerEncodedPicture) {
  const std::string stats = OutPath("vstats.log");
  Convert({{"vcodec", "mpeg4"}, {"b", "200k"}, {"psnr", ""}, {"vstats_file", stats}}, "vstats.avi");
  FEngine.reset();  // closes the statistics file
  std::ifstream in(stats);
  std::string line;
  const std::regex format(
      R"(^frame= +(\d+) q= +\d+\.\d PSNR= +(\d+\.\d\d|inf) f_size= +(\d+) s_size= +(\d+)kB )"
      R"(time= (\d+\.\d{3}) br= +\d+\.\dkbits/s avg_br= +\d+\.\dkbits/s type= ([IPB])$)");
  int lines = 0, previousFrame = -1;
  int64_t bytes = 0;
  double lastTime = 0;
  std::string lastSize;
  while (std::getline(in, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, format)) << line;
    const int frame = std::stoi(m[1]);
    EXPECT_GT(frame, previousFrame);
    previousFrame = frame;
    if (lines == 0) EXPECT_EQ(m[6], "I");
    // A picture coded without loss has an infinite ratio.
    if (m[2] != "inf") EXPECT_GT(std::stod(m[2]), 15.0);
    bytes += std::stoll(m[3]);
    lastSize = m[4];
    lastTime = std::stod(m[5]);
    ++lines;
  }
  EXPECT_EQ(lines, 50);
  // The running size is the sum of the frame sizes; the clock reaches the clip's end.
  EXPECT_NEAR(std::stod(lastSize), bytes / 1024.0, 1.0);
  EXPECT_NEAR(lastTime, 2.0, 0.05);
}

TEST_F(Statistics, FinalReportShowsTheLastQuantiserOfDelayedEncoders) {
  struct TCase {
    const char *Codec, *Ext;
  };
  for (const TCase c : {TCase{"libx264", "mp4"}, TCase{"mpeg4", "avi"}}) {
    if (!qvtest::HasEncoder(c.Codec)) continue;
    FEngine = std::make_unique<TCustomFFmpeg>(20);
    float finalQuality = -2;
    FEngine->OnProgress = [&](TCustomFFmpeg *, int AFile, int, int, float AQ, float, int64_t,
                              int64_t, int64_t) {
      if (AFile == -1) finalQuality = AQ;
    };
    std::vector<std::pair<std::string, std::string>> opts{{"vcodec", c.Codec}};
    if (std::string(c.Codec) == "libx264") opts.push_back({"vpre", "libx264-default"});
    Convert(opts, std::string("lastq.") + c.Ext);
    EXPECT_GT(finalQuality, 0.0f) << c.Codec;
    EXPECT_LE(finalQuality, 51.0f) << c.Codec;
  }
}

TEST_F(Statistics, PicturesHeldByTheFilterGraphReachTheOutput) {
  // tpad and reverse keep pictures back until they learn that the input has ended; yadif
  // looks one picture ahead and gives its pictures in a finer time base.
  struct TCase {
    const char *Filter;
    int Pictures;
  };
  for (const TCase c : {TCase{"tpad=stop=10", 60}, TCase{"reverse", 50}, TCase{"yadif", 50}}) {
    FEngine = std::make_unique<TCustomFFmpeg>(20);
    Convert({{"vcodec", "mpeg4"}, {"vf", c.Filter}}, "held.avi");
    const enginetest::TFileSummary s = enginetest::Summarize(FOutput);
    ASSERT_EQ(s.Streams.size(), 1u) << c.Filter;
    EXPECT_EQ(s.Streams[0].Packets, c.Pictures) << c.Filter;
    EXPECT_NEAR(s.Streams[0].LastEnd, c.Pictures / 25.0, 0.05) << c.Filter;
  }
}
