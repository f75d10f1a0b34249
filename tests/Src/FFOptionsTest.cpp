#include <gtest/gtest.h>

#include "FFUtils/FFOptions.h"
#include "FFmpegLoader/AVPtr.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegLogger/FFmpegLogger.h"

namespace {

class Options : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FFLoader().Load(kProbeLibraries)) << FFLoader().LastErrMsg();
    ASSERT_TRUE(FOptions.Allocate(SWS_BICUBIC));
  }
  int64_t BitRate(int AType) const { return FOptions.avcodec_opts[AType]->bit_rate; }
  TFFOptions FOptions;
};

}  // namespace

TEST_F(Options, EmptyNameOrValueIsRefusedAndRecordsNothing) {
  EXPECT_FALSE(FOptions.Set("b", ""));
  EXPECT_FALSE(FOptions.Set("  ", "1"));
  EXPECT_FALSE(FOptions.Set("b", "   "));
  EXPECT_FALSE(FOptions.Set("no_such_option", "1"));
  EXPECT_TRUE(FOptions.opt_names.empty());
  EXPECT_EQ(FOptions.opt_name_count, 0);
}

TEST_F(Options, SetReachesTheContextsByMediaTypeAndPrefix) {
  // "b" belongs to video and audio: both get it.
  ASSERT_TRUE(FOptions.Set(" b ", " 300000 "));
  EXPECT_EQ(BitRate(0), 300000);
  EXPECT_EQ(BitRate(1), 300000);
  // "vb" is unknown by name and reaches "b" through its first letter; "ab" is the
  // library's own audio-only alias.
  ASSERT_TRUE(FOptions.Set("vb", "500000"));
  ASSERT_TRUE(FOptions.Set("ab", "128000"));
  EXPECT_EQ(BitRate(0), 500000);
  EXPECT_EQ(BitRate(1), 128000);
  // Format and scaler options land on their contexts.
  ASSERT_TRUE(FOptions.Set("probesize", "65536"));
  EXPECT_EQ(FOptions.avformat_opts->probesize, 65536);
  ASSERT_TRUE(FOptions.Set("sws_flags", "bilinear"));
  EXPECT_EQ(FOptions.opt_names,
            (std::vector<std::string>{"b", "b", "ab", "probesize", "sws_flags"}));
  EXPECT_EQ(FOptions.opt_name_count, 5);
}

TEST_F(Options, RefusedValueIsLoggedAndNotRecorded) {
  FFLoader().SetInstallLogger(true);
  GlobalLogger().InstallAVLogCallback();
  std::vector<std::string> lines;
  GlobalLogger().SetTriggerEventInMainThread(false);
  GlobalLogger().SetOnLog([&](const void *, uint32_t, TLogLevel l, const std::string &m) {
    if (l == llError) lines.push_back(m);
  });
  EXPECT_FALSE(FOptions.Set("b", "lots"));
  GlobalLogger().SetOnLog(nullptr);
  EXPECT_TRUE(FOptions.opt_names.empty());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "Invalid value \"lots\" for option \"b\"");
}

TEST_F(Options, ApplyCopiesRecordedOptionsWithTheRequestedFlags) {
  ASSERT_TRUE(FOptions.Set("vb", "640000"));
  ASSERT_TRUE(FOptions.Set("g", "7"));
  ff::CodecContextPtr target(ff::codec.avcodec_alloc_context3(nullptr));
  FOptions.Apply(target.get(), FOptions.avcodec_opts[0],
                 AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
  EXPECT_EQ(target->bit_rate, 640000);
  EXPECT_EQ(target->gop_size, 7);
  // Audio decoding flags exclude the video-only GOP size.
  ff::CodecContextPtr audio(ff::codec.avcodec_alloc_context3(nullptr));
  const int gop = audio->gop_size;
  FOptions.Apply(audio.get(), FOptions.avcodec_opts[0], AV_OPT_FLAG_AUDIO_PARAM);
  EXPECT_EQ(audio->gop_size, gop);
  EXPECT_EQ(audio->bit_rate, 640000);
}

TEST_F(Options, DebugOptionRaisesTheLogLevel) {
  GlobalLogger().SetLogLevel(llInfo);
  ASSERT_TRUE(FOptions.Set("debug", "pict"));
  EXPECT_EQ(GlobalLogger().LogLevel(), llDebug);
  GlobalLogger().SetLogLevel(llInfo);
}
