// Setting up tasks: option records and their text forms becoming engine settings, and
// the list operations.
#include <gtest/gtest.h>

#include <filesystem>

#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegQueue/FFmpegQueue.h"
#include "MediaFixtures.h"
#include "QueueTestSupport.h"

using namespace queuetest;

namespace {

class QueueSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FFLoader().Load(kQueueLibraries)) << FFLoader().LastErrMsg();
    Clip = ShortClip();
    Dir = OutputDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  std::string Clip, Dir;
  TFFmpegQueue Queue;
};

TEST_F(QueueSetup, AudioCodecDefaultsAndQueuedNewAudioLines) {
  // The record's codec wins; the first ExtOptions line supplies a missing default; the
  // queued lines go, in order, to the streams the "newaudio" lines add.
  const struct {
    const char *field;
    const char *ext;
    std::vector<std::string> audio;
  } cases[] = {
      {"", "acodec=mp2", {"mp2"}},
      {"aac", "acodec=mp2\nnewaudio=", {"aac", "mp2"}},
      {"mp2", "newaudio=\nacodec=ac3\nnewaudio=", {"mp2", "ac3", "mp2"}},
      {"mp2", "newaudio=<CRLF>ACodec=ac3<CRLF>newaudio=", {"mp2", "ac3", "mp2"}},
  };
  int n = 0;
  for (const auto &c : cases) {
    const int t = Queue.AddTask(Clip, "vn=1");
    ASSERT_GE(t, 0) << Queue.LastErrMsg();
    TOutputOptions o;
    o.AudioCodec = c.field;
    o.ExtOptions = c.ext;
    ASSERT_TRUE(Queue.SetOutputFile(t, Dir + std::to_string(n++) + ".mkv", &o))
        << Queue.LastErrMsg();
    EXPECT_EQ(PlannedCodecs(*Queue.Task(t)), c.audio) << c.field << " / " << c.ext;
  }
  // The files written carry those streams.
  std::vector<TTerminateInfo> ends;
  Queue.OnTerminate = [&](TCustomFFmpegQueue *, const TTerminateInfo &AInfo) {
    ends.push_back(AInfo);
  };
  Queue.Start(0);
  ASSERT_EQ(ends.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_TRUE(ends[i].Finished) << ends[i].ExceptionMsg;
    EXPECT_EQ(StreamCodecs(Dir + std::to_string(i) + ".mkv"), cases[i].audio) << cases[i].ext;
  }
}

TEST_F(QueueSetup, TextFormsFillTheRecords) {
  const int t = Queue.AddTask(Clip, "TimeStart=250000\nre=0");
  ASSERT_GE(t, 0) << Queue.LastErrMsg();
  const TInputOptions *in = Queue.Task(t)->InputOptions(0);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->FileName, Clip);
  EXPECT_EQ(in->TimeStart, 250000);
  EXPECT_EQ(in->ExtOptions, "re=0\n");

  ASSERT_TRUE(Queue.SetOutputFile(t, Dir + "a.mkv",
                                  "Hook=0\nTimeLength=x\nTimeStart=1000\nacodec=copy\nvcodec=copy"))
      << Queue.LastErrMsg();
  const TOutputOptions *out = Queue.Task(t)->OutputOptions(0);
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(out->CustomHook);  // whatever the value
  EXPECT_FALSE(out->Join);
  EXPECT_EQ(out->TimeLength, NOPTS);
  EXPECT_EQ(out->TimeStart, 1000);
  EXPECT_EQ(out->ExtOptions, "acodec=copy\nvcodec=copy\n");
  EXPECT_EQ(out->FileName, Dir + "a.mkv");
  EXPECT_TRUE(Queue.Task(t)->FHasCustomHook);
}

TEST_F(QueueSetup, RecordFieldsReachTheEngine) {
  const int t = Queue.AddTask(Clip, static_cast<const TInputOptions *>(nullptr));
  ASSERT_GE(t, 0) << Queue.LastErrMsg();
  TOutputOptions o;
  o.AudioCodec = "copy";
  o.VideoCodec = "copy";
  o.AudioLanguage = "chi";
  o.AudioSampleRate = 22050;
  o.AudioChannels = -1;  // not applied: the engine keeps its value
  o.TimeLength = 500000;
  o.Info.Title = "Quorvel";
  o.Info.Year = 2026;
  o.Info.Track = 0;  // not applied
  ASSERT_TRUE(Queue.SetOutputFile(t, Dir + "a.mkv", &o)) << Queue.LastErrMsg();
  TFFmpeg &task = *Queue.Task(t);
  EXPECT_EQ(task.Faudio_sample_rate, 22050);
  EXPECT_EQ(task.Faudio_channels, 2);
  EXPECT_EQ(task.TotalOutputDuration(), 500000);
  EXPECT_EQ(PlannedCodecs(task), (std::vector<std::string>{"copy", "copy"}));
}

TEST_F(QueueSetup, FailuresReturnTheReason) {
  // An input that cannot be opened: -1, the engine's text, nothing added.
  EXPECT_EQ(Queue.AddTask(Dir + "missing.avi", ""), -1);
  EXPECT_NE(Queue.LastErrMsg().find("missing.avi"), std::string::npos) << Queue.LastErrMsg();
  EXPECT_EQ(Queue.TasksCount(), 0);

  // A bad value from the engine is caught.
  const int t = Queue.AddTask(Clip, "");
  ASSERT_EQ(t, 0);
  EXPECT_FALSE(Queue.SetOutputFile(t, Dir + "a.mkv", "acodec=copy\nvcodec=copy\ns=bad"));
  EXPECT_EQ(Queue.LastErrMsg(), "Incorrect frame size");
  EXPECT_EQ(Queue.Task(t)->nb_output_files(), 0);
  EXPECT_EQ(Queue.Task(t)->OutputOptions(0), nullptr);

  // Outputs are capped by the task's capacity.
  Queue.CustomMaxFiles = 2;
  const int small = Queue.AddTask(Clip, "");
  ASSERT_EQ(small, 1);
  for (int i = 0; i < 2; ++i)
    ASSERT_TRUE(
        Queue.SetOutputFile(small, Dir + std::to_string(i) + ".mkv", "acodec=copy\nvcodec=copy"))
        << Queue.LastErrMsg();
  EXPECT_FALSE(Queue.SetOutputFile(small, Dir + "x.mkv", ""));
  EXPECT_EQ(Queue.LastErrMsg(), "max output files 2 reached");
  ASSERT_TRUE(Queue.AddInputFile(small, Clip, ""));
  EXPECT_FALSE(Queue.AddInputFile(small, Clip, ""));
  EXPECT_EQ(Queue.LastErrMsg(), "max input files 2 reached");

  // Indexes out of range are refused.
  EXPECT_THROW((void)Queue.SetOutputFile(5, Dir + "y.mkv", ""), EFFmpegQueueError);
  EXPECT_THROW(Queue.RemoveTask(-1), EFFmpegQueueError);
  EXPECT_THROW((void)Queue.InputFileContext(0, 1), EFFmpegQueueError);
}

TEST_F(QueueSetup, DefaultCapacityIsTwentyOutputs) {
  const int t = Queue.AddTask(Clip, "");
  ASSERT_GE(t, 0);
  for (int i = 0; i < 20; ++i)
    ASSERT_TRUE(
        Queue.SetOutputFile(t, Dir + std::to_string(i) + ".mkv", "acodec=copy\nvcodec=copy"))
        << i << ": " << Queue.LastErrMsg();
  EXPECT_FALSE(Queue.SetOutputFile(t, Dir + "20.mkv", "acodec=copy\nvcodec=copy"));
  EXPECT_EQ(Queue.LastErrMsg(), "max output files 20 reached");
}

TEST_F(QueueSetup, ListOperationsKeepIndexesAndProbes) {
  const std::string other = qvtest::Fixture(qvtest::TFixture::Wav);
  ASSERT_EQ(Queue.AddTask(Clip, ""), 0);
  ASSERT_EQ(Queue.AddTask(other, ""), 1);
  ASSERT_EQ(Queue.AddTask(Clip, ""), 2);
  AVFormatContext *wav = Queue.InputFileContext(1, 0);
  ASSERT_NE(wav, nullptr);
  EXPECT_EQ(Queue.Task(1)->ExistingAVProbe(0)->FileHandle(), wav);
  EXPECT_GT(wav->duration, 0);

  Queue.Exchange(0, 1);
  EXPECT_EQ(Queue.InputFileContext(0, 0), wav);
  EXPECT_EQ(Queue.Task(0)->TaskIndex, 0);
  Queue.RemoveTask(0);
  EXPECT_EQ(Queue.TasksCount(), 2);
  EXPECT_NE(Queue.InputFileContext(0, 0), wav);
  EXPECT_EQ(Queue.Task(1)->TaskIndex, 1);

  // Preview switches reach the tasks already queued and the ones added later.
  Queue.SetPreview(true);
  Queue.SetPreviewBitmap(true);
  EXPECT_EQ(Queue.Task(0)->PostHooks(), phPreview | phBitmap);
  Queue.SetPreview(false);
  ASSERT_EQ(Queue.AddTask(Clip, ""), 2);
  EXPECT_EQ(Queue.Task(2)->PostHooks(), unsigned(phBitmap));
  EXPECT_EQ(Queue.Task(1)->PostHooks(), unsigned(phBitmap));

  Queue.ClearTasks();
  EXPECT_EQ(Queue.TasksCount(), 0);
}

// Stands in for the media probe: borrows containers and counts what it is given.
class TFakeProbe {
 public:
  virtual ~TFakeProbe() = default;
  virtual void SetFileHandle(AVFormatContext *AValue) {
    FHandle = AValue;
    ++Calls;
  }
  [[nodiscard]] AVFormatContext *FileHandle() const { return FHandle; }
  int Calls = 0;

 private:
  AVFormatContext *FHandle = nullptr;
};

TEST_F(QueueSetup, TasksProbeTheirInputsWithTheProbeGiven) {
  TFFmpegQueue queue(QueueProbeFactory<TFakeProbe>());
  ASSERT_NE(ProbeAs<TFakeProbe>(queue.AVProbe()), nullptr);
  ASSERT_EQ(queue.AddTask(Clip, ""), 0);
  ASSERT_TRUE(queue.AddInputFile(0, Clip, ""));
  for (int i = 0; i < 2; ++i) {
    auto *probe = ProbeAs<TFakeProbe>(queue.Task(0)->ExistingAVProbe(i));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->FileHandle(), queue.InputFileContext(0, i));
    EXPECT_EQ(probe->Calls, 1);
  }
}

TEST(QueueLibraries, LoadsTheQueueSetFromThePathGiven) {
  TFFmpegQueue queue;
  ASSERT_TRUE(queue.LoadAVLib(FFLoader().LibraryPath()));
  EXPECT_TRUE(queue.AVLibLoaded());
  EXPECT_EQ(queue.Version(), "3.3");
}

}  // namespace
