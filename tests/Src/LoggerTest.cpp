#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "FFUtils/MainThread.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegLogger/FFmpegLogger.h"

namespace {

struct Line {
  const void *Sender;
  uint32_t ThreadID;
  TLogLevel Level;
  std::string Msg;
  bool InMainThread;
};

// Every test gets the process's sink with a recording handler and default settings.
class Logger : public testing::Test {
 protected:
  void SetUp() override {
    TFFLogger &sink = GlobalLogger();
    sink.SetTriggerEventInMainThread(false);
    sink.SetLogLevel(llInfo);
    sink.SetOnLog([this](const void *s, uint32_t tid, TLogLevel l, const std::string &m) {
      std::lock_guard<std::mutex> guard(FLock);
      FLines.push_back({s, tid, l, m, IsMainThread()});
    });
  }
  void TearDown() override {
    GlobalLogger().SetOnLog(nullptr);
    GlobalLogger().SetTriggerEventInMainThread(true);
    SetMainThreadCaller(nullptr);
  }
  std::vector<Line> Lines() {
    std::lock_guard<std::mutex> guard(FLock);
    return FLines;
  }
  static void LoadAVUtil() {
    ASSERT_TRUE(FFLoader().Load(avUtil)) << FFLoader().LastErrMsg();
    GlobalLogger().InstallAVLogCallback();
  }

  std::mutex FLock;
  std::vector<Line> FLines;
};

}  // namespace

TEST(LoggerLevels, LibraryLevelMapping) {
  const struct {
    int av;
    TLogLevel level;
  } cases[] = {{-100, llQuiet}, {-8, llQuiet},   {-1, llPanic}, {0, llPanic},    {7, llPanic},
               {8, llFatal},    {16, llError},   {23, llError}, {24, llWarning}, {32, llInfo},
               {40, llVerbose}, {47, llVerbose}, {48, llDebug}, {56, llDebug}};
  for (const auto &c : cases) EXPECT_EQ(AVToLogLevel(c.av), c.level) << c.av;
  for (int l = llQuiet; l <= llDebug; ++l)
    EXPECT_EQ(AVToLogLevel(LogLevelToAV(static_cast<TLogLevel>(l))), l);
  EXPECT_EQ(LogLevelToAV(llQuiet), AV_LOG_QUIET);
  EXPECT_EQ(LogLevelToAV(llDebug), AV_LOG_DEBUG);
}

TEST_F(Logger, LevelFilter) {
  const struct {
    TLogLevel sink, message;
    bool delivered;
  } cases[] = {
      {llError, llWarning, false}, {llError, llError, true},    {llError, llVerbose, true},
      {llError, llQuiet, true},    {llQuiet, llVerbose, false}, {llQuiet, llQuiet, true},
      {llQuiet, llPanic, false},   {llInfo, llDebug, false},    {llDebug, llDebug, true},
  };
  TFFLogger &sink = GlobalLogger();
  for (const auto &c : cases) {
    FLines.clear();
    sink.SetLogLevel(c.sink);
    sink.Log(this, c.message, std::string("100% sure"));
    ASSERT_EQ(Lines().size(), c.delivered ? 1u : 0u) << c.sink << " " << c.message;
    if (c.delivered) {
      EXPECT_EQ(FLines[0].Msg, "100% sure");
      EXPECT_EQ(FLines[0].Sender, this);
      EXPECT_EQ(FLines[0].Level, c.message);
      EXPECT_EQ(FLines[0].ThreadID, CurrentThreadID());
    }
  }
  sink.SetLogLevel(llInfo);
  sink.Log(nullptr, llInfo, "%s=%d", "frames", 25);
  EXPECT_EQ(Lines().back().Msg, "frames=25");
  const std::string name = "/tmp/100%s%n.avi";
  sink.Log(nullptr, llInfo, name.c_str());  // a text without arguments is no format
  EXPECT_EQ(Lines().back().Msg, name);
}

TEST_F(Logger, OptLogLevelTakesNamesAndNumbers) {
  const struct {
    const char *arg;
    TLogLevel level;
  } cases[] = {{"warning", llWarning}, {"WARNING", llWarning}, {"24", llWarning},  {"20", llError},
               {"quiet", llQuiet},     {"-8", llQuiet},        {"Debug", llDebug}, {"99", llDebug}};
  TFFLogger &sink = GlobalLogger();
  for (const auto &c : cases) {
    sink.SetLogLevel(llInfo);
    EXPECT_TRUE(sink.OptLogLevel(c.arg)) << c.arg;
    EXPECT_EQ(sink.LogLevel(), c.level) << c.arg;
  }
  sink.SetLogLevel(llInfo);
  EXPECT_FALSE(sink.OptLogLevel("loud"));
  EXPECT_FALSE(sink.OptLogLevel("24x"));
  EXPECT_EQ(sink.LogLevel(), llInfo);
}

TEST_F(Logger, OnlyOneSinkAtATime) {
  TFFLogger &sink = GlobalLogger();
  EXPECT_THROW(TFFLogger second, std::logic_error);
  EXPECT_EQ(&GlobalLogger(), &sink);
  // Destroying the sink frees the place: the window's own sink becomes the instance, and
  // after it is gone the next GlobalLogger call creates a fresh one without a handler.
  delete &sink;
  {
    TFFLogger mine;
    EXPECT_EQ(&GlobalLogger(), &mine);
    EXPECT_TRUE(mine.TriggerEventInMainThread());
    EXPECT_EQ(mine.LogLevel(), AVToLogLevel(CurrentAVLogLevel()));
  }
  EXPECT_FALSE(GlobalLogger().HasOnLog());
}

TEST_F(Logger, LibraryLinesAreAssembledAndFilteredByTheLibraryLevel) {
  LoadAVUtil();
  TFFLogger &sink = GlobalLogger();
  sink.SetLogLevel(llWarning);
  EXPECT_EQ(CurrentAVLogLevel(), AV_LOG_WARNING);
  ff::util.av_log(nullptr, AV_LOG_ERROR, "abc");
  EXPECT_TRUE(Lines().empty());
  ff::util.av_log(nullptr, AV_LOG_INFO, "dropped\n");  // above the library level
  ff::util.av_log(nullptr, AV_LOG_ERROR, "def\nsecond %d", 2);
  ff::util.av_log(nullptr, AV_LOG_WARNING, " line\n");
  const std::vector<Line> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].Msg, "abcdef");
  EXPECT_EQ(lines[0].Level, llError);
  EXPECT_EQ(lines[0].Sender, &sink);
  EXPECT_EQ(lines[1].Msg, "second 2 line");
  EXPECT_EQ(lines[1].Level, llWarning);
}

TEST_F(Logger, LibraryLineWithAContextStartsWithItsPrefix) {
  LoadAVUtil();
  AVClass cls{};
  cls.class_name = "qvtest";
  cls.item_name = ff::util.av_default_item_name;
  cls.version = LIBAVUTIL_VERSION_INT;
  struct {
    const AVClass *avclass;
  } context{&cls};
  ff::util.av_log(&context, AV_LOG_ERROR, "opened");
  ff::util.av_log(&context, AV_LOG_ERROR, " twice\n");  // continues the line: no prefix
  char expected[128];
  std::snprintf(expected, sizeof expected, "[qvtest @ %p]opened twice",
                static_cast<void *>(&context));
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_EQ(Lines()[0].Msg, expected);
}

TEST_F(Logger, PartialLinesOfTwoThreadsStayApartAndReachTheMainThread) {
  LoadAVUtil();
  TQueuedMainThreadCaller caller;
  SetMainThreadCaller(&caller);
  GlobalLogger().SetTriggerEventInMainThread(true);

  std::atomic<int> step{0};
  std::atomic<uint32_t> tidA{0}, tidB{0};
  std::atomic<int> finished{0};
  auto waitFor = [&](int s) {
    while (step.load() < s) std::this_thread::yield();
  };
  std::thread a([&] {
    tidA = CurrentThreadID();
    ff::util.av_log(nullptr, AV_LOG_ERROR, "a1 ");
    step = 1;
    waitFor(2);
    ff::util.av_log(nullptr, AV_LOG_ERROR, "a2\n");
    ++finished;
  });
  std::thread b([&] {
    tidB = CurrentThreadID();
    waitFor(1);
    ff::util.av_log(nullptr, AV_LOG_ERROR, "b1 ");
    ff::util.av_log(nullptr, AV_LOG_ERROR, "b2\n");
    step = 2;
    ++finished;
  });
  // The workers wait in Synchronize until the main thread serves them.
  while (finished.load() < 2) PumpMessages();
  a.join();
  b.join();
  const std::vector<Line> lines = Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].Msg, "b1 b2");
  EXPECT_EQ(lines[0].ThreadID, tidB.load());
  EXPECT_EQ(lines[1].Msg, "a1 a2");
  EXPECT_EQ(lines[1].ThreadID, tidA.load());
  for (const Line &l : lines) EXPECT_TRUE(l.InMainThread);
}
