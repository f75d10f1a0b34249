#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "FFUtils/MainThread.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "MediaFixtures.h"
#include "Player.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Records what the player reports, in the main thread.
struct TRecorder {
  std::vector<int64_t> Positions;
  std::vector<TPlayState> States;
  int FileOpens = 0;
  int64_t Duration = 0;
  int FrameWidth = 0, FrameHeight = 0;

  void Attach(TFFPlayer &APlayer) {
    APlayer.OnFileOpen = [this](TFFPlayer *, int64_t d, int fw, int fh, int &, int &) {
      ++FileOpens;
      Duration = d;
      FrameWidth = fw;
      FrameHeight = fh;
    };
    APlayer.OnPosition = [this](TFFPlayer *, int64_t pts) { Positions.push_back(pts); };
    APlayer.OnState = [this](TFFPlayer *, TPlayState s) { States.push_back(s); };
  }
  [[nodiscard]] bool Saw(TPlayState AState) const {
    return std::find(States.begin(), States.end(), AState) != States.end();
  }
  [[nodiscard]] int64_t LastPosition() const { return Positions.empty() ? -1 : Positions.back(); }
};

// How long a wait for something that must happen may take. Generous, because other
// builds and test processes share the machine; a passing test never waits this long.
constexpr std::chrono::milliseconds kPatience = 20000ms;

// Serves the player's main-thread calls until APredicate holds or the time is up.
template <typename P>
bool PumpUntil(P APredicate, std::chrono::milliseconds ATimeout) {
  auto end = std::chrono::steady_clock::now() + ATimeout;
  for (;;) {
    PumpMessages();
    if (APredicate()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
}

void Pump(std::chrono::milliseconds ATime) {
  PumpUntil([] { return false; }, ATime);
}

// Fails the whole run instead of hanging when a call never returns.
class TWatchdog {
 public:
  explicit TWatchdog(std::chrono::seconds ALimit) {
    FThread = std::thread([this, ALimit] {
      std::unique_lock<std::mutex> lock(FLock);
      if (!FCond.wait_for(lock, ALimit, [this] { return FDone; })) {
        std::fprintf(stderr, "watchdog: call did not return (deadlock)\n");
        std::abort();
      }
    });
  }
  ~TWatchdog() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FDone = true;
    }
    FCond.notify_all();
    FThread.join();
  }

 private:
  std::mutex FLock;
  std::condition_variable FCond;
  bool FDone = false;
  std::thread FThread;
};

}  // namespace

class PlayerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // No sound card on test machines: SDL's silent driver keeps real-time pacing.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ASSERT_TRUE(FFLoader().Load(kPlayerLibraries)) << FFLoader().LastErrMsg();
    // Events reach this thread only when the test pumps, as in a busy window program.
    SetMainThreadCaller(&Caller);
    qvtest::TClipParams params;  // mpeg4 160 × 120, 25 fps, 16-bit tone, red top-left quadrant
    params.Container = "avi";
    params.Audio = {qvtest::Track("pcm_s16le", 22050, 1)};
    ClipPath = qvtest::MakeClip(params);
    params.DurationSec = 1.0;
    ShortPath = qvtest::MakeClip(params);
    TonePath = qvtest::Fixture(qvtest::TFixture::Wav);
    Dir = qvtest::FixtureDir();
    ff::util.av_log_set_level(AV_LOG_QUIET);
  }
  static void TearDownTestSuite() { SetMainThreadCaller(nullptr); }
  static std::string Clip() { return ClipPath; }
  static std::string Short() { return ShortPath; }
  static std::string Tone() { return TonePath; }
  static inline TQueuedMainThreadCaller Caller;
  static inline std::string Dir, ClipPath, ShortPath, TonePath;
};

TEST_F(PlayerTest, OpenPausedShowsTheFirstPictureAndWaitsForResume) {
  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  ASSERT_TRUE(player.Open(Clip(), nullptr, true)) << player.LastErrMsg();
  EXPECT_EQ(rec.FileOpens, 1);
  EXPECT_NEAR(rec.Duration, 2000000, 50000);
  EXPECT_EQ(rec.FrameWidth, 160);
  EXPECT_EQ(rec.FrameHeight, 120);
  ASSERT_TRUE(PumpUntil([&] { return rec.Saw(psPause); }, kPatience));
  // The first picture goes up at the next display step; then nothing moves.
  ASSERT_TRUE(PumpUntil([&] { return player.CurrentPTS() == 0; }, kPatience));
  Pump(200ms);
  EXPECT_TRUE(player.Paused());
  EXPECT_EQ(player.PlayState(), psPause);
  EXPECT_EQ(player.CurrentPTS(), 0);

  int64_t pts = -2;
  const TPlayerBitmap &bmp = player.CurrentFrame(&pts);
  ASSERT_EQ(bmp.Width, 160);
  ASSERT_EQ(bmp.Height, 120);
  EXPECT_EQ(pts, 0);
  const uint8_t *px = bmp.Row(40) + 40 * 3;  // top-left quadrant: red
  EXPECT_GT(px[0], 200);
  EXPECT_LT(px[1], 60);
  EXPECT_LT(px[2], 60);

  player.Resume();
  EXPECT_FALSE(player.Paused());
  EXPECT_TRUE(PumpUntil([&] { return rec.LastPosition() > 300000; }, kPatience));
  EXPECT_TRUE(rec.Saw(psResume));
  player.Stop(true);
  EXPECT_TRUE(rec.Saw(psStop));
  EXPECT_TRUE(player.Paused());  // nothing open
}

TEST_F(PlayerTest, UnreadableFilesFailWithoutFileOpenEvent) {
  std::string garbage = Dir + "/garbage.avi";
  std::ofstream(garbage) << std::string(4096, 'x');
  std::string cut = Dir + "/cut.avi";
  {
    std::ifstream in(Clip(), std::ios::binary);
    std::vector<char> head(200);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    std::ofstream(cut, std::ios::binary)
        .write(head.data(), static_cast<std::streamsize>(head.size()));
  }
  for (const std::string &name : {Dir + "/missing.avi", garbage, cut}) {
    SCOPED_TRACE(name);
    TFFPlayer player;
    TRecorder rec;
    rec.Attach(player);
    EXPECT_FALSE(player.Open(name, nullptr, true));
    EXPECT_FALSE(player.LastErrMsg().empty());
    Pump(50ms);
    EXPECT_EQ(rec.FileOpens, 0);
    EXPECT_TRUE(rec.States.empty());
    EXPECT_TRUE(player.Paused());
  }
}

TEST_F(PlayerTest, LongAndNonAsciiFileNamesOpen) {
  // More than 1024 characters in all, through nested folders.
  std::string dir = Dir;
  for (int i = 0; i < 6; ++i) dir += "/" + std::string(200, static_cast<char>('a' + i));
  fs::create_directories(dir);
  std::string longName = dir + "/预览 clip.avi";
  ASSERT_GT(longName.size(), 1024u);
  fs::copy_file(Clip(), longName);
  TFFPlayer player;
  ASSERT_TRUE(player.Open(longName, nullptr, true)) << player.LastErrMsg();
  EXPECT_EQ(player.FileName(), longName);
  player.Stop(true);
}

TEST(PlayerEventQueue, ConsecutiveEntriesOfOneKindCollapseAndTheRingKeepsTen) {
  TPlayerEventQueue q;
  q.Add(TPlayerEventQueue::ekPosition, 1);
  q.Add(TPlayerEventQueue::ekPosition, 2);
  q.Add(TPlayerEventQueue::ekState, psPause);
  q.Add(TPlayerEventQueue::ekState, psResume);
  q.Add(TPlayerEventQueue::ekPosition, 3);
  ASSERT_EQ(q.Count(), 3);
  TPlayerEventQueue::TEntry e;
  ASSERT_TRUE(q.Take(e, 0ms));
  EXPECT_EQ(e.Kind, TPlayerEventQueue::ekPosition);
  EXPECT_EQ(e.Value, 2);
  ASSERT_TRUE(q.Take(e, 0ms));
  EXPECT_EQ(e.Value, psResume);
  ASSERT_TRUE(q.Take(e, 0ms));
  EXPECT_EQ(e.Value, 3);
  EXPECT_FALSE(q.Take(e, 0ms));

  // Alternating kinds never collapse: a full ring drops the oldest.
  for (int i = 0; i < 13; ++i)
    q.Add(i % 2 ? TPlayerEventQueue::ekState : TPlayerEventQueue::ekPosition, i);
  ASSERT_EQ(q.Count(), TPlayerEventQueue::kCapacity);
  ASSERT_TRUE(q.Take(e, 0ms));
  EXPECT_EQ(e.Value, 3);
}

TEST(PlayerPosition, OnlyMovesOfMoreThanTenMillisecondsAreReported) {
  struct Case {
    int64_t Last, Pos;
    bool Reported;
  } cases[] = {
      {TFFPlayer::kUnset, 0, true}, {0, 10000, false},   {0, 10001, true},
      {20000, 10000, false},        {20000, 9999, true}, {500000, 500000, false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(TFFPlayer::IsPositionChange(c.Last, c.Pos), c.Reported) << c.Last << " -> " << c.Pos;
}

TEST_F(PlayerTest, PositionReportsCollapseWhileTheMainThreadIsBusy) {
  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  ASSERT_TRUE(player.Open(Clip(), nullptr, false)) << player.LastErrMsg();
  ASSERT_TRUE(PumpUntil([&] { return !rec.Positions.empty(); }, kPatience));
  // Busy: nothing is delivered for 600 ms while playback moves on.
  std::this_thread::sleep_for(600ms);
  size_t before = rec.Positions.size();
  int64_t now = player.CurrentPTS();
  Pump(30ms);
  // The backlog of about fifteen reports arrives as the call already waiting plus one
  // with the latest position.
  ASSERT_GT(rec.Positions.size(), before);
  size_t reached = before;
  while (reached < rec.Positions.size() && rec.Positions[reached] < now - 20000) ++reached;
  ASSERT_LT(reached, rec.Positions.size());
  EXPECT_LE(reached - before, 1u);
  // Paused, the position stands still and nothing more is reported.
  player.Pause();
  Pump(100ms);
  size_t paused = rec.Positions.size();
  Pump(300ms);
  EXPECT_EQ(rec.Positions.size(), paused);
  player.Stop(true);
}

TEST_F(PlayerTest, SeekBeyondTheDurationGoesToTheEnd) {
  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  ASSERT_TRUE(player.Open(Clip(), nullptr, true)) << player.LastErrMsg();
  ASSERT_TRUE(PumpUntil([&] { return rec.Saw(psPause); }, kPatience));
  player.Seek(int64_t{60000000}, 0, true);
  player.Resume();
  EXPECT_TRUE(PumpUntil([&] { return rec.Saw(psEnd); }, kPatience));
  EXPECT_GE(rec.LastPosition(), 1900000);
  EXPECT_LE(rec.LastPosition(), 2000000);
  // A seek back clears the end: it is raised again when the end comes again.
  rec.States.clear();
  player.Seek(int64_t{1700000}, 0, true);
  EXPECT_TRUE(PumpUntil([&] { return rec.Saw(psEnd); }, kPatience));
  player.Stop(true);
}

TEST_F(PlayerTest, EndOfFileRaisesEndAndKeepsTheFileOpen) {
  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  ASSERT_TRUE(player.Open(Short(), nullptr, false)) << player.LastErrMsg();
  ASSERT_TRUE(PumpUntil([&] { return rec.Saw(psEnd); }, kPatience));
  EXPECT_EQ(player.PlayState(), psEnd);
  EXPECT_GE(rec.LastPosition(), 900000);
  EXPECT_EQ(player.VideoStreamIndex(), 0);
  EXPECT_FALSE(rec.Saw(psStop));
  player.Stop(true);
  EXPECT_TRUE(rec.Saw(psStop));
}

TEST_F(PlayerTest, StopWithWaitingDuringEventDeliveryReturns) {
  // From the main thread while the event thread waits for it to deliver.
  {
    TFFPlayer player;
    TRecorder rec;
    rec.Attach(player);
    ASSERT_TRUE(player.Open(Clip(), nullptr, false)) << player.LastErrMsg();
    std::this_thread::sleep_for(300ms);  // events pile up, one delivery is waiting
    TWatchdog dog(20s);
    player.Stop(true);
    EXPECT_EQ(player.PlayState(), psStop);
    EXPECT_TRUE(rec.Saw(psStop));
  }
  // From inside a handler that the event thread is delivering.
  {
    TFFPlayer player;
    bool stopped = false;
    player.OnPosition = [&](TFFPlayer *p, int64_t) {
      if (!stopped) {
        stopped = true;
        p->Stop(true);
      }
    };
    ASSERT_TRUE(player.Open(Clip(), nullptr, false)) << player.LastErrMsg();
    TWatchdog dog(20s);
    ASSERT_TRUE(PumpUntil([&] { return stopped; }, kPatience));
    EXPECT_EQ(player.PlayState(), psStop);
  }
}

TEST_F(PlayerTest, AudioOnlyFilesHaveNoCurrentFrameAndPlayByTheAudioClock) {
  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  ASSERT_TRUE(player.Open(Tone(), nullptr, false)) << player.LastErrMsg();
  EXPECT_EQ(rec.FrameWidth, -1);
  EXPECT_EQ(rec.FrameHeight, -1);
  EXPECT_EQ(player.VideoStreamIndex(), -1);
  EXPECT_EQ(player.AudioStreamIndex(), 0);
  int64_t pts = 0;
  const TPlayerBitmap &bmp = player.CurrentFrame(&pts);
  EXPECT_EQ(bmp.Width, 0);
  EXPECT_EQ(bmp.Height, 0);
  EXPECT_EQ(pts, -1);
  // The position follows the sound device in real time.
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([&] { return rec.LastPosition() >= 500000; }, kPatience));
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GT(elapsed, 0.3);
  EXPECT_TRUE(PumpUntil([&] { return rec.Saw(psEnd); }, kPatience));
  player.Stop(true);
}

TEST_F(PlayerTest, PlayTimeWithLoopReturnsToTheStartAndSettingsResetAfterStop) {
  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  player.PlayTime = 500000;
  player.RepeatType = rtLoop;
  player.VerticalFlip = true;
  player.SetAudioVolume(40);
  ASSERT_TRUE(player.Open(Clip(), nullptr, false)) << player.LastErrMsg();
  ASSERT_TRUE(PumpUntil([&] { return rec.LastPosition() >= 500000; }, kPatience));
  rec.Positions.clear();
  EXPECT_TRUE(
      PumpUntil([&] { return !rec.Positions.empty() && rec.LastPosition() < 200000; }, kPatience));
  EXPECT_FALSE(rec.Saw(psEnd));
  player.Stop(true);
  EXPECT_EQ(player.PlayTime, TFFPlayer::kUnset);
  EXPECT_EQ(player.RepeatType, rtStop);
  EXPECT_FALSE(player.VerticalFlip);
  EXPECT_EQ(player.AudioVolume(), 40);  // not one of the reset settings
}

TEST_F(PlayerTest, PlayTimeWithStopEndsPlayback) {
  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  player.PlayTime = 300000;
  player.RepeatType = rtStop;
  ASSERT_TRUE(player.Open(Clip(), nullptr, false)) << player.LastErrMsg();
  EXPECT_TRUE(PumpUntil([&] { return rec.Saw(psStop); }, kPatience));
  EXPECT_LT(rec.LastPosition(), 700000);
  EXPECT_EQ(player.PlayTime, TFFPlayer::kUnset);
}

TEST_F(PlayerTest, HookSeesEveryShownPictureAndCanPaintIt) {
  TFFPlayer player;
  std::atomic<int> calls{0};
  player.SetHook(true);
  player.OnHook = [&](TFFPlayer *, TPlayerBitmap &bmp, int64_t) {
    ++calls;
    for (int y = 0; y < bmp.Height; ++y)
      for (int x = 0; x < bmp.Width; ++x) {
        uint8_t *p = bmp.Row(y) + 3 * x;
        p[0] = 255, p[1] = 255, p[2] = 255;
      }
  };
  ASSERT_TRUE(player.Open(Clip(), nullptr, true)) << player.LastErrMsg();
  ASSERT_TRUE(PumpUntil([&] { return player.PlayState() == psPause; }, kPatience));
  EXPECT_GE(calls.load(), 1);
  const TPlayerBitmap &bmp = player.CurrentFrame();
  ASSERT_EQ(bmp.Width, 160);
  EXPECT_GT(bmp.Row(40)[40 * 3 + 2], 230);  // white, not the clip's red
  player.Stop(true);

  // A failing handler leaves the picture as decoded.
  player.SetHook(true);
  player.OnHook = [](TFFPlayer *, TPlayerBitmap &, int64_t) { throw std::runtime_error("bad"); };
  ASSERT_TRUE(player.Open(Clip(), nullptr, true)) << player.LastErrMsg();
  ASSERT_TRUE(PumpUntil([&] { return player.PlayState() == psPause; }, kPatience));
  const TPlayerBitmap &plain = player.CurrentFrame();
  ASSERT_EQ(plain.Width, 160);
  EXPECT_GT(plain.Row(40)[40 * 3], 200);
  EXPECT_LT(plain.Row(40)[40 * 3 + 2], 60);
  player.Stop(true);
}

TEST_F(PlayerTest, RepeatedOpenSeekStopCyclesStayClean) {
  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(player.Open(i % 3 == 2 ? Tone() : Clip(), nullptr, i % 2 == 0))
        << i << ": " << player.LastErrMsg();
    player.Seek(int64_t{(i % 5) * 300000}, sfAny, i % 4 == 0);
    if (i % 3 == 1) player.TogglePause();
    Pump(2ms);
    player.Stop(i % 7 != 0);
  }
  player.Stop(true);
  EXPECT_GE(std::count(rec.States.begin(), rec.States.end(), psStop), 90);
}

namespace {
// Counts what the player draws and how bright it is.
struct TRecordingSurface : IVideoSurface {
  std::mutex Lock;
  int Presents = 0, Clears = 0;
  long LitPixels = 0;
  void ClientSize(int &AWidth, int &AHeight) override {
    AWidth = 200;
    AHeight = 100;
  }
  void Present(const TPlayerBitmap &APicture) override {
    long lit = 0;
    for (size_t i = 0; i < APicture.Pixels.size(); i += 3) lit += APicture.Pixels[i] > 100;
    std::lock_guard<std::mutex> lock(Lock);
    ++Presents;
    LitPixels = lit;
  }
  void Clear() override {
    std::lock_guard<std::mutex> lock(Lock);
    ++Clears;
  }
};
}  // namespace

TEST_F(PlayerTest, FilesWithoutVideoShowWaveFormOrSpectrumAndTheToggleCyclesThem) {
  TFFPlayer player;
  TRecordingSurface surface;
  ASSERT_EQ(player.ShowAudio(), saWave);
  ASSERT_TRUE(player.Open(Tone(), &surface, false)) << player.LastErrMsg();
  auto drawn = [&] {
    std::lock_guard<std::mutex> lock(surface.Lock);
    return surface.Presents > 5 && surface.LitPixels > 50;
  };
  EXPECT_TRUE(PumpUntil(drawn, kPatience));  // the tone's wave form
  for (TShowAudio next : {saRDFT, saNone, saWave}) {
    int clears = surface.Clears;
    player.ToggleAudioDisplay();
    EXPECT_EQ(player.ShowAudio(), next);
    EXPECT_GT(surface.Clears, clears);
  }
  player.ToggleAudioDisplay();  // spectrum
  {
    std::lock_guard<std::mutex> lock(surface.Lock);
    surface.Presents = 0;
    surface.LitPixels = 0;
  }
  EXPECT_TRUE(PumpUntil(drawn, kPatience));
  player.Stop(true);
}

TEST_F(PlayerTest, ForcedFormatsMustBeKnown) {
  TFFPlayer player;
  EXPECT_THROW(player.SetFormat("no_such_format"), std::invalid_argument);
  EXPECT_EQ(player.Format(), "");
  player.SetFormat("avi");
  ASSERT_TRUE(player.Open(Clip(), nullptr, true)) << player.LastErrMsg();
  player.Stop(true);
  player.SetFormat("wav");  // the wrong demuxer for this file
  EXPECT_FALSE(player.Open(Clip(), nullptr, true));
}

namespace {
// Keeps the last picture and the subtitle text the player gave, and counts the bright
// pixels of the picture inside a region.
struct TSubtitleSurface : IVideoSurface {
  std::mutex Lock;
  TPlayerBitmap Last;
  std::string Text;
  int Presents = 0;
  void ClientSize(int &AWidth, int &AHeight) override {
    AWidth = 200;
    AHeight = 100;
  }
  void Present(const TPlayerBitmap &APicture) override {
    std::lock_guard<std::mutex> lock(Lock);
    Last = APicture;
    ++Presents;
  }
  void Clear() override {}
  void SubtitleText(const std::string &AText) override {
    std::lock_guard<std::mutex> lock(Lock);
    Text = AText;
  }
  std::string CurrentText() {
    std::lock_guard<std::mutex> lock(Lock);
    return Text;
  }
  // Pixels with a strong red part in x0..x1 × y0..y1 of the last picture.
  int RedPixels(int AX0, int AY0, int AX1, int AY1) {
    std::lock_guard<std::mutex> lock(Lock);
    int n = 0;
    for (int y = AY0; y < std::min(AY1, Last.Height); ++y)
      for (int x = AX0; x < std::min(AX1, Last.Width); ++x) n += Last.Row(y)[x * 3] > 100;
    return n;
  }
};
}  // namespace

TEST_F(PlayerTest, TextAndBitmapSubtitlesFollowThePictureAndTheChosenStream) {
  TFFPlayer player;
  TSubtitleSurface surface;
  int subtitleStreams = -1;
  std::string info;
  player.OnFileOpen = [&](TFFPlayer *p, int64_t, int, int, int &, int &) {
    subtitleStreams = p->AVProbe()->SubtitleStreamCount();
    info = p->AVProbe()->FileInfoText();
  };
  // Streams: 0 video, 1 audio, 2 text subtitles, 3 bitmap subtitles; cues at 0.48-0.9 s
  // and 1.44-1.9 s. Key pictures every 0.48 s: paused, a seek shows the one before.
  ASSERT_TRUE(player.Open(qvtest::Fixture(qvtest::TFixture::Subtitled), &surface, true))
      << player.LastErrMsg();
  EXPECT_EQ(subtitleStreams, 2);
  EXPECT_NE(info.find("Format Name: matroska"), std::string::npos) << info;
  EXPECT_EQ(player.SubtitleStreamIndex(), 2);  // the first one

  // The box of the bitmap subtitles lies over the blue quarter of the picture, which
  // is drawn 132 × 100 at the left of the surface.
  auto boxPixels = [&] { return surface.RedPixels(20, 77, 60, 85); };
  struct Step {
    int64_t Seek;
    const char *Text;
  } steps[] = {{500000, "Hello"}, {1000000, ""}, {1500000, "第二行"}, {100000, ""}};
  for (const Step &s : steps) {
    SCOPED_TRACE(s.Seek);
    player.Seek(s.Seek, sfBackward, true);
    EXPECT_TRUE(PumpUntil([&] { return surface.CurrentText() == s.Text; }, kPatience))
        << surface.CurrentText();
    EXPECT_EQ(boxPixels(), 0);
  }

  // The bitmap stream, started at the current position: its box is drawn at 1.44 s.
  player.Seek(int64_t{1500000}, sfBackward, true);
  ASSERT_TRUE(player.SetSubtitleStreamIndex(3));
  EXPECT_EQ(player.SubtitleStreamIndex(), 3);
  EXPECT_TRUE(PumpUntil([&] { return boxPixels() > 250; }, kPatience)) << boxPixels();
  EXPECT_EQ(surface.CurrentText(), "");
  // Switched off, the box goes from the picture on screen; streams of another kind are
  // refused.
  ASSERT_TRUE(player.SetSubtitleStreamIndex(-1));
  EXPECT_TRUE(PumpUntil([&] { return boxPixels() == 0; }, kPatience));
  EXPECT_FALSE(player.SetSubtitleStreamIndex(1));
  EXPECT_FALSE(player.SetSubtitleStreamIndex(9));
  EXPECT_EQ(player.SubtitleStreamIndex(), -1);
  EXPECT_TRUE(player.Paused());
  player.Stop(true);
  EXPECT_EQ(player.AVProbe()->FileHandle(), nullptr);
  EXPECT_FALSE(player.SetSubtitleStreamIndex(2));  // nothing open
}

TEST_F(PlayerTest, PlayingShowsEachTextSubtitleFromItsStartUntilItsEnd) {
  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  // Every change of the text with the position shown when it came (the picture before).
  std::mutex lock;
  std::vector<std::pair<std::string, int64_t>> changes;
  struct TTextSurface : TSubtitleSurface {
    std::function<void(const std::string &)> OnText;
    void SubtitleText(const std::string &AText) override { OnText(AText); }
  } surface;
  surface.OnText = [&](const std::string &AText) {
    std::lock_guard<std::mutex> guard(lock);
    changes.emplace_back(AText, player.CurrentPTS());
  };
  ASSERT_TRUE(player.Open(qvtest::Fixture(qvtest::TFixture::Subtitled), &surface, false))
      << player.LastErrMsg();
  ASSERT_TRUE(PumpUntil([&] { return rec.Saw(psEnd); }, kPatience));
  std::lock_guard<std::mutex> guard(lock);
  std::vector<std::string> texts;
  for (const auto &[text, pts] : changes) texts.push_back(text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Hello", "", "第二行", ""}));
  // Never before its time (one picture of 40 ms earlier may be the last one shown).
  const int64_t earliest[] = {440000, 860000, 1400000, 1860000};
  for (size_t i = 0; i < changes.size() && i < 4; ++i)
    EXPECT_GE(changes[i].second, earliest[i] - 1000) << i;
  player.Stop(true);
}

namespace {
// Counts the sign changes of the drawn wave form: about twice the cycles of the tone
// across the picture's width.
struct TWaveSurface : IVideoSurface {
  std::atomic<int> Changes{0};
  void ClientSize(int &AWidth, int &AHeight) override {
    AWidth = 200;
    AHeight = 100;
  }
  void Present(const TPlayerBitmap &APicture) override {
    int changes = 0, last = 0, mid = APicture.Height / 2;
    for (int x = 0; x < APicture.Width; ++x) {
      bool up = APicture.Row(mid - 3)[x * 3] > 100;
      bool down = APicture.Row(mid + 3)[x * 3] > 100;
      int sign = up == down ? 0 : (up ? 1 : -1);
      if (sign != 0 && last != 0 && sign != last) ++changes;
      if (sign != 0) last = sign;
    }
    Changes = changes;
  }
  void Clear() override {}
};
}  // namespace

TEST_F(PlayerTest, SwitchingTheAudioStreamWhilePlayingPlaysTheOtherTrack) {
  // Two tones: 440 Hz on stream 0, 660 Hz on stream 1; 200 samples at 22.05 kHz show
  // about 8 resp. 12 sign changes.
  qvtest::TClipParams params;
  params.Container = "matroska";
  params.Extension = "mkv";
  params.VideoCodec.clear();
  params.DurationSec = 3.0;
  params.Audio = {qvtest::Track("pcm_s16le", 22050, 1), qvtest::Track("pcm_s16le", 22050, 1)};
  const std::string twoTones = qvtest::MakeClip(params);

  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  TWaveSurface surface;
  ASSERT_TRUE(player.Open(twoTones, &surface, false)) << player.LastErrMsg();
  EXPECT_EQ(player.AudioStreamIndex(), 0);
  ASSERT_TRUE(PumpUntil([&] { return surface.Changes >= 6 && surface.Changes <= 9; }, kPatience))
      << surface.Changes;

  EXPECT_FALSE(player.SetVideoStreamIndex(1));  // not a video stream
  EXPECT_FALSE(player.SetAudioStreamIndex(5));  // no such stream
  EXPECT_FALSE(player.SetAudioStreamIndex(-1));
  ASSERT_TRUE(player.SetAudioStreamIndex(1));
  EXPECT_EQ(player.AudioStreamIndex(), 1);
  EXPECT_FALSE(player.Paused());
  EXPECT_TRUE(PumpUntil([&] { return surface.Changes >= 11; }, kPatience)) << surface.Changes;
  // Playback goes on to the end on the new stream.
  EXPECT_TRUE(PumpUntil([&] { return rec.Saw(psEnd); }, kPatience));
  EXPECT_GE(rec.LastPosition(), 2900000);
  EXPECT_FALSE(rec.Saw(psStop));
  player.Stop(true);
}

TEST_F(PlayerTest, SwitchingTheAudioStreamOfAVideoKeepsThePictureGoing) {
  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  ASSERT_TRUE(player.Open(qvtest::Fixture(qvtest::TFixture::VideoTwoAudio), nullptr, false))
      << player.LastErrMsg();
  const int first = player.AudioStreamIndex(), other = first == 1 ? 2 : 1;
  ASSERT_GE(first, 1);
  ASSERT_TRUE(PumpUntil([&] { return rec.LastPosition() >= 300000; }, kPatience));
  ASSERT_TRUE(player.SetAudioStreamIndex(other));
  EXPECT_EQ(player.AudioStreamIndex(), other);
  EXPECT_EQ(player.VideoStreamIndex(), 0);
  EXPECT_TRUE(PumpUntil([&] { return rec.Saw(psEnd); }, kPatience));
  EXPECT_GE(rec.LastPosition(), 1900000);
  player.Stop(true);
}

TEST_F(PlayerTest, CoverArtOfASongIsNotPlayedAsItsVideo) {
  qvtest::TClipParams params;  // mp3 with a JPEG cover as stream 1
  params.Container = "mp3";
  params.VideoCodec.clear();
  params.Audio = {qvtest::Track("libmp3lame", 44100, 2, 128000)};
  params.CoverPicture = true;
  if (!qvtest::HasEncoder("libmp3lame")) GTEST_SKIP() << "no MP3 encoder";
  const std::string song = qvtest::MakeClip(params);

  TFFPlayer player;
  TRecorder rec;
  rec.Attach(player);
  TRecordingSurface surface;
  ASSERT_TRUE(player.Open(song, &surface, false)) << player.LastErrMsg();
  EXPECT_EQ(rec.FrameWidth, -1);
  EXPECT_EQ(player.VideoStreamIndex(), -1);
  EXPECT_GE(player.AudioStreamIndex(), 0);
  EXPECT_FALSE(player.SetVideoStreamIndex(1));
  // The position follows the sound, and the wave form is drawn.
  EXPECT_TRUE(PumpUntil([&] { return rec.LastPosition() >= 500000; }, kPatience));
  EXPECT_EQ(player.CurrentFrame().Width, 0);
  player.Stop(true);
  EXPECT_GT(surface.Presents, 0);
}
