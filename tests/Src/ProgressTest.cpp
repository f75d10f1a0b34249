// Progress events of running conversions: rate, values before and without video, and
// the final report after a stop.
#include <atomic>

#include "EngineTestSupport.h"

namespace {

struct TEvent {
  int FileIndex, Frame, Fps;
  float Quality, BitRate;
  int64_t Size, Duration, Total;
  int64_t At;  // µs since the start
};

class Progress : public enginetest::EngineTest {
 protected:
  void Record() {
    const int64_t start = ff::util.av_gettime_relative();
    FEngine->OnProgress = [this, start](TCustomFFmpeg *, int AFile, int AFrame, int AFps, float AQ,
                                        float ARate, int64_t ASize, int64_t ADur, int64_t ATotal) {
      std::lock_guard<std::mutex> g(FEventLock);
      FEvents.push_back({AFile, AFrame, AFps, AQ, ARate, ASize, ADur, ATotal,
                         ff::util.av_gettime_relative() - start});
    };
  }
  void Open(const std::string &AInput, const std::vector<std::pair<std::string, std::string>> &AIn,
            const std::vector<std::pair<std::string, std::string>> &AOut,
            const std::string &AName) {
    for (const auto &[n, v] : AIn) FEngine->SetOption(n, v);
    ASSERT_TRUE(FEngine->OpenInputFile(AInput)) << FEngine->LastErrMsg();
    for (const auto &[n, v] : AOut) FEngine->SetOption(n, v);
    ASSERT_EQ(FEngine->OpenOutputFile(OutPath(AName)), 1) << FEngine->LastErrMsg();
  }
  std::mutex FEventLock;
  std::vector<TEvent> FEvents;
};

}  // namespace

TEST_F(Progress, AboutTwoEventsPerSecondAndNoneBeforeTheFirstEncodedPicture) {
  Record();
  // Read at the source's own pace: 2 s of media take 2 s.
  Open(qvtest::Fixture(qvtest::TFixture::Mp4), {{"re", ""}},
       {{"vcodec", "mpeg4"}, {"acodec", "mp2"}}, "rate.avi");
  FEngine->StartConvert(false);
  ASSERT_FALSE(FEngine->FatalException()) << FEngine->FatalMessage();
  ASSERT_GE(FEvents.size(), 2u);
  const TEvent &last = FEvents.back();
  EXPECT_EQ(last.FileIndex, -1);
  EXPECT_EQ(last.Frame, 50);
  EXPECT_GT(last.Size, 0);
  EXPECT_NEAR(last.Duration / 1e6, 2.0, 0.1);
  const size_t periodic = FEvents.size() - 1;
  EXPECT_GE(periodic, 2u);
  EXPECT_LE(periodic, 5u);
  for (size_t i = 0; i + 1 < FEvents.size(); ++i) {
    EXPECT_EQ(FEvents[i].FileIndex, 0);
    EXPECT_GE(FEvents[i].Frame, 1);
    if (i > 0) EXPECT_GE(FEvents[i].At - FEvents[i - 1].At, 450000);
  }

  // With every packet reported, the first event still waits for the first picture.
  FEngine = std::make_unique<TCustomFFmpeg>(20);
  FEvents.clear();
  Record();
  FEngine->ReportInterval = 0;
  Open(qvtest::Fixture(qvtest::TFixture::AudioFirst), {}, {{"vcodec", "mpeg4"}, {"acodec", "mp2"}},
       "every.avi");
  FEngine->StartConvert(false);
  ASSERT_FALSE(FEvents.empty());
  for (const TEvent &e : FEvents) EXPECT_GE(e.Frame, 1);
}

TEST_F(Progress, AudioOnlyReportsNoFrameNumbers) {
  Record();
  FEngine->ReportInterval = 0;
  Open(qvtest::Fixture(qvtest::TFixture::Wav), {}, {{"acodec", "mp2"}}, "audio.mp2");
  FEngine->StartConvert(false);
  ASSERT_FALSE(FEngine->FatalException()) << FEngine->FatalMessage();
  ASSERT_GE(FEvents.size(), 3u);
  for (const TEvent &e : FEvents) {
    EXPECT_EQ(e.Frame, -1);
    EXPECT_EQ(e.Fps, -1);
    EXPECT_EQ(e.Quality, -1.0f);
  }
  EXPECT_EQ(FEvents.back().FileIndex, -1);
  EXPECT_NEAR(FEvents.back().Duration / 1e6, 2.0, 0.1);
}

TEST_F(Progress, StoppedConversionStillGivesTheFinalReport) {
  Record();
  FEngine->ReportInterval = 0;
  std::atomic<bool> stopped{false};
  auto record = FEngine->OnProgress;
  FEngine->OnProgress = [&](TCustomFFmpeg *AEngine, int AFile, int AFrame, int AFps, float AQ,
                            float ARate, int64_t ASize, int64_t ADur, int64_t ATotal) {
    record(AEngine, AFile, AFrame, AFps, AQ, ARate, ASize, ADur, ATotal);
    if (AFrame >= 10 && !stopped.exchange(true)) AEngine->Stop(false);
  };
  std::atomic<int> terminated{0};
  FEngine->OnTerminate = [&](TCustomFFmpeg *) { ++terminated; };
  Open(qvtest::Fixture(qvtest::TFixture::Mp4), {}, {{"vcodec", "mpeg4"}, {"acodec", "mp2"}},
       "stopped.avi");
  TConvertThread *t = FEngine->StartConvert(true);
  ASSERT_NE(t, nullptr);
  t->Resume();
  t->Join();
  EXPECT_EQ(terminated, 1);
  EXPECT_FALSE(FEngine->Finished());
  std::lock_guard<std::mutex> g(FEventLock);
  ASSERT_FALSE(FEvents.empty());
  const TEvent &last = FEvents.back();
  EXPECT_EQ(last.FileIndex, -1);
  EXPECT_GE(last.Frame, 10);
  EXPECT_LT(last.Frame, 50);
  EXPECT_GT(last.Size, 0);
}
