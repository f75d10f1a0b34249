// Conversions that read from and write to the caller's stream objects.
#include <gtest/gtest.h>

#include <cstring>

#include "FFUtils/Streams.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegQueue/FFmpegQueue.h"
#include "FFmpegQueue/StreamIO.h"
#include "QueueTestSupport.h"

using namespace queuetest;

namespace {

class QueueStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FFLoader().Load(kQueueLibraries)) << FFLoader().LastErrMsg();
    Dir = OutputDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_TRUE(Source.LoadFromFile(ShortClip().c_str()));
  }
  std::string Dir;
  TMemoryStream Source;
  TFFmpegQueue Queue;
};

TEST_F(QueueStreams, ConvertsFromAMemoryStreamToAMemoryStream) {
  TMemoryStream target;
  const int t = Queue.AddTask(&Source, "clip.mp4");
  ASSERT_EQ(t, 0) << Queue.LastErrMsg();
  EXPECT_NEAR(Queue.InputFileContext(t, 0)->duration, 1000000, 100000);
  // mp4 goes back to the start of the file at the end: the stream must seek.
  TOutputOptions o;
  o.VideoCodec = "mpeg4";
  o.AudioCodec = "aac";
  ASSERT_TRUE(Queue.SetOutputStream(t, &target, "out.mp4", &o)) << Queue.LastErrMsg();
  EXPECT_EQ(Queue.Task(t)->OutputOptions(0)->FileName, StreamFileName(&target, "out.mp4"));

  std::vector<TTerminateInfo> ends;
  Queue.OnTerminate = [&](TCustomFFmpegQueue *, const TTerminateInfo &AInfo) {
    ends.push_back(AInfo);
  };
  Queue.Start(0);
  ASSERT_EQ(ends.size(), 2u);
  ASSERT_TRUE(ends[0].Finished) << ends[0].ExceptionMsg;

  ASSERT_GT(target.Size(), 1000);
  const std::string written = Dir + "out.mp4";
  ASSERT_TRUE(target.SaveToFile(written.c_str()));
  EXPECT_EQ(StreamCodecs(written), (std::vector<std::string>{"mpeg4", "aac"}));
  EXPECT_EQ(std::memcmp(target.Data().data() + 4, "ftyp", 4), 0);
}

TEST_F(QueueStreams, BadStreamsAndNamesAreRefused) {
  // A stream name is only ever the caller's own stream: typed as a file name, it opens
  // nothing.
  EXPECT_EQ(Queue.AddTask(StreamFileName(&Source, "clip.mp4"), ""), -1);
  EXPECT_EQ(Queue.AddTask(nullptr, "clip.mp4"), -1);
  EXPECT_EQ(Queue.LastErrMsg(), "No stream given");
  TMemoryStream garbage(std::vector<uint8_t>(4096, 0x5a));
  EXPECT_EQ(Queue.AddTask(&garbage, "x"), -1);
  EXPECT_NE(Queue.LastErrMsg().find(StreamFileName(&garbage, "x")), std::string::npos)
      << Queue.LastErrMsg();
  EXPECT_EQ(Queue.TasksCount(), 0);

  const int t = Queue.AddTask(&Source, "clip.mp4");
  ASSERT_EQ(t, 0) << Queue.LastErrMsg();
  TMemoryStream target;
  EXPECT_FALSE(Queue.SetOutputStream(t, &target, "out.nosuchformat"));
  EXPECT_NE(Queue.LastErrMsg().find("Unable to find a suitable output format"), std::string::npos)
      << Queue.LastErrMsg();
  EXPECT_FALSE(Queue.SetOutputStream(t, nullptr, "out.mkv"));
  EXPECT_EQ(Queue.Task(t)->nb_output_files(), 0);
  EXPECT_EQ(target.Size(), 0);
}

TEST(MemoryStream, ReadsWritesAndSeeksLikeAFile) {
  TMemoryStream s;
  EXPECT_EQ(s.Write("abcdef", 6), 6);
  EXPECT_EQ(s.Seek(2, SEEK_SET), 2);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4);
  EXPECT_STREQ(buf, "cdef");
  EXPECT_EQ(s.Read(buf, 8), 0);
  EXPECT_EQ(s.Seek(-1, SEEK_SET), -1);
  EXPECT_EQ(s.Seek(-2, SEEK_END), 4);
  EXPECT_EQ(s.Seek(4, SEEK_CUR), 8);  // past the end; writing fills the gap
  EXPECT_EQ(s.Write("z", 1), 1);
  EXPECT_EQ(s.Size(), 9);
  EXPECT_EQ(s.Data()[6], 0);
  EXPECT_EQ(s.Data()[8], 'z');
}

}  // namespace
