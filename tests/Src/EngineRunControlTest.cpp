// Run control in a worker thread: start, pause, resume, stop, and the terminate
// notification exactly once per conversion on every path.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "EngineTestSupport.h"

namespace {

class EngineRunControl : public enginetest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    FEngine->OnTerminate = [this](TCustomFFmpeg *) { ++FTerminations; };
    // Progress reports come from the worker's loop only: they show it is moving.
    FEngine->ReportInterval = 5000;
    FEngine->OnProgress = [this](TCustomFFmpeg *, int, int, int, float, float, int64_t, int64_t,
                                 int64_t) { ++FReports; };
  }
  // A copy task over a clip long enough to still be running when the test acts;
  // "re" reads it at its own speed.
  void PrepareCopy(const std::string &AOutName, double ASeconds = 30.0, bool ARealTime = true) {
    qvtest::TClipParams params;
    params.DurationSec = ASeconds;
    params.Width = 64;
    params.Height = 48;
    params.Audio.clear();
    FOut = OutPath(AOutName);
    if (ARealTime) FEngine->SetOption("re", "");
    ASSERT_TRUE(FEngine->OpenInputFile(qvtest::MakeClip(params))) << FEngine->LastErrMsg();
    FEngine->SetOption("vcodec", "copy");
    ASSERT_EQ(FEngine->OpenOutputFile(FOut), 1) << FEngine->LastErrMsg();
  }
  static bool WaitFor(const std::function<bool()> &ACond, int AMs = 10000) {
    for (int i = 0; i < AMs / 5; ++i) {
      if (ACond()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return ACond();
  }
  static int64_t FileSize(const std::string &APath) {
    struct stat sb {};
    return ::stat(APath.c_str(), &sb) == 0 ? sb.st_size : -1;
  }
  std::atomic<int> FTerminations{0};
  std::atomic<int> FReports{0};
  std::string FOut;
};

}  // namespace

TEST_F(EngineRunControl, StartingTwiceIgnoresTheSecondCall) {
  PrepareCopy("twice.mkv", 2.0, false);
  TConvertThread *t = FEngine->StartConvert(true);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(FEngine->StartConvert(true), nullptr);
  EXPECT_EQ(FEngine->StartConvert(false), nullptr);
  t->Resume();
  ASSERT_TRUE(WaitFor([this] { return FTerminations.load() == 1; }));
  FEngine->Stop(true);
  EXPECT_TRUE(FEngine->Finished());
  EXPECT_FALSE(FEngine->FatalException());
  EXPECT_EQ(FEngine->StartConvert(true), nullptr);  // terminated: needs a reset first
  EXPECT_EQ(FTerminations.load(), 1);
}

TEST_F(EngineRunControl, StartWithoutOutputTerminatesBeforeReturning) {
  qvtest::TClipParams params;
  ASSERT_TRUE(FEngine->OpenInputFile(qvtest::MakeClip(params)));
  EXPECT_EQ(FEngine->StartConvert(true), nullptr);
  EXPECT_EQ(FTerminations.load(), 1);
  EXPECT_TRUE(FEngine->FatalException());
  EXPECT_EQ(FEngine->FatalMessage(), "At least one output file must be specified");
  EXPECT_TRUE(Logged("At least one output file must be specified"));
  EXPECT_EQ(FEngine->nb_input_files(), 0);

  TCustomFFmpeg noInput(20);
  int count = 0;
  noInput.OnTerminate = [&count](TCustomFFmpeg *) { ++count; };
  noInput.SetOption("vcodec", "copy");
  ASSERT_EQ(noInput.OpenOutputFile(OutPath("no_input.mkv")), 1) << noInput.LastErrMsg();
  EXPECT_EQ(noInput.StartConvert(false), nullptr);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(noInput.FatalMessage(), "At least one input file must be specified");
}

TEST_F(EngineRunControl, PauseHoldsTheWorkerAndResumeLetsItFinish) {
  PrepareCopy("pause.mkv", 3.0);
  TConvertThread *t = FEngine->StartConvert(true);
  ASSERT_NE(t, nullptr);
  t->Resume();
  ASSERT_TRUE(WaitFor([this] { return FReports.load() > 0; }));
  FEngine->Pause();
  EXPECT_TRUE(FEngine->Paused());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let it reach the wait
  const int held = FReports.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(FReports.load(), held);
  EXPECT_EQ(FTerminations.load(), 0);
  // Others can still take the codec lock while the worker is held.
  { std::lock_guard<std::mutex> g(CodecLock()); }
  FEngine->Resume();
  ASSERT_TRUE(WaitFor([this] { return FTerminations.load() == 1; }));
  FEngine->Stop(true);
  EXPECT_TRUE(FEngine->Finished());
  EXPECT_NEAR(enginetest::Summarize(FOut).Duration, 3.0, 0.1);
}

TEST_F(EngineRunControl, StopWhilePausedReturnsWithAnUnfinishedValidFile) {
  PrepareCopy("stop_paused.mkv");
  TConvertThread *t = FEngine->StartConvert(true);
  ASSERT_NE(t, nullptr);
  t->Resume();
  ASSERT_TRUE(WaitFor([this] { return FReports.load() > 0; }));
  FEngine->Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  FEngine->Stop(true);
  EXPECT_FALSE(FEngine->Converting());
  EXPECT_FALSE(FEngine->Finished());
  EXPECT_FALSE(FEngine->FatalException());
  EXPECT_EQ(FTerminations.load(), 1);
  const enginetest::TFileSummary s = enginetest::Summarize(FOut);
  ASSERT_TRUE(s.Opened);
  EXPECT_LT(s.Duration, 30.0);
  // Ending the task afterwards adds no second notification.
  FEngine->EndTask(true);
  EXPECT_EQ(FTerminations.load(), 1);
}

TEST_F(EngineRunControl, EndTaskOnANeverStartedEngineNotifiesOnce) {
  FEngine->EndTask(true);
  EXPECT_EQ(FTerminations.load(), 1);
  FEngine->EndTask(true);
  EXPECT_EQ(FTerminations.load(), 1);
  EXPECT_FALSE(FEngine->Finished());
}

TEST_F(EngineRunControl, DestroyingARunningEngineStopsItFirst) {
  PrepareCopy("destroyed.mkv");
  TConvertThread *t = FEngine->StartConvert(true);
  ASSERT_NE(t, nullptr);
  t->Resume();
  ASSERT_TRUE(WaitFor([this] { return FReports.load() > 0; }));
  FEngine.reset();
  EXPECT_EQ(FTerminations.load(), 1);
}

TEST_F(EngineRunControl, MissingInputFolderAndUnwritableOutputFolderFailCleanly) {
  EXPECT_FALSE(FEngine->OpenInputFile("/nonexistent-folder/clip.mp4"));
  EXPECT_EQ(FEngine->LastErrMsg(), "/nonexistent-folder/clip.mp4: No such file or directory");
  EXPECT_EQ(FEngine->nb_input_files(), 0);

  ASSERT_TRUE(FEngine->OpenInputFile(qvtest::Fixture(qvtest::TFixture::Mp4)));
  FEngine->SetOption("vcodec", "copy");
  EXPECT_EQ(FEngine->OpenOutputFile("/nonexistent-folder/out.mkv"), -1);
  EXPECT_EQ(FEngine->LastErrMsg(), "/nonexistent-folder/out.mkv: No such file or directory");
  EXPECT_EQ(FEngine->nb_output_files(), 0);
  if (geteuid() != 0) {
    const std::string dir = qvtest::FixtureDir() + "/readonly";
    ::mkdir(dir.c_str(), 0555);
    ::chmod(dir.c_str(), 0555);
    EXPECT_EQ(FEngine->OpenOutputFile(dir + "/out.mkv"), -1);
    EXPECT_EQ(FEngine->LastErrMsg(), dir + "/out.mkv: Permission denied");
    ::chmod(dir.c_str(), 0755);
  }
  EXPECT_EQ(FEngine->StartConvert(false), nullptr);
  EXPECT_EQ(FEngine->FatalMessage(), "At least one output file must be specified");
}

TEST_F(EngineRunControl, AFailedRunLeavesNoEmptyOutputBehind) {
  ASSERT_TRUE(FEngine->OpenInputFile(qvtest::Fixture(qvtest::TFixture::Mp4)));
  FEngine->SetOption("vcodec", "copy");
  FEngine->SetOption("acodec", "copy");
  FEngine->SetOption("map", "0:5");
  FEngine->SetOption("map", "0:0");
  const std::string out = OutPath("failed.mkv");
  ASSERT_EQ(FEngine->OpenOutputFile(out), 1);
  EXPECT_EQ(FileSize(out), 0);
  EXPECT_EQ(FEngine->StartConvert(false), nullptr);
  EXPECT_TRUE(FEngine->FatalException());
  EXPECT_EQ(FEngine->FatalMessage(), "Could not find input stream #0.5");
  EXPECT_EQ(FTerminations.load(), 1);
  EXPECT_EQ(FileSize(out), -1);
}

TEST_F(EngineRunControl, StoppingFromInsideTheNotificationDoesNotWaitForItself) {
  PrepareCopy("inside.mkv", 1.0, false);
  FEngine->OnTerminate = [this](TCustomFFmpeg *AEngine) {
    AEngine->EndTask(true);
    AEngine->Stop(true);
    ++FTerminations;
  };
  TConvertThread *t = FEngine->StartConvert(true);
  ASSERT_NE(t, nullptr);
  t->Resume();
  t->Resume();  // a second resume starts nothing new
  ASSERT_TRUE(WaitFor([this] { return FTerminations.load() == 1; }));
  FEngine->Stop(true);
  EXPECT_TRUE(FEngine->Finished());
  EXPECT_EQ(FTerminations.load(), 1);
}
