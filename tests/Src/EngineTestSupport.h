// Helpers of the engine tests: a loaded engine with a log recorder, and a reader that
// reopens an output file to check what was written.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FFmpeg/FFmpeg.h"
#include "FFmpegLoader/FFmpegLoader.h"
#include "FFmpegLogger/FFmpegLogger.h"
#include "MediaFixtures.h"

namespace enginetest {

class EngineTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FFLoader().Load(kQueueLibraries)) << FFLoader().LastErrMsg();
    ff::util.av_log_set_level(AV_LOG_QUIET);
    TFFLogger &sink = GlobalLogger();
    sink.SetTriggerEventInMainThread(false);
    sink.SetLogLevel(llVerbose);
    sink.SetOnLog([this](const void *, uint32_t, TLogLevel l, const std::string &m) {
      std::lock_guard<std::mutex> g(FLogLock);
      FLog.emplace_back(l, m);
    });
    FEngine = std::make_unique<TCustomFFmpeg>(20);
  }
  void TearDown() override {
    FEngine.reset();
    GlobalLogger().SetOnLog(nullptr);
    GlobalLogger().SetTriggerEventInMainThread(true);
  }
  bool Logged(const std::string &AText) {
    std::lock_guard<std::mutex> g(FLogLock);
    for (const auto &l : FLog)
      if (l.second == AText) return true;
    return false;
  }
  // Path of a fresh output file in the fixture folder.
  static std::string OutPath(const std::string &AName) {
    std::string p = qvtest::FixtureDir() + "/" + AName;
    std::remove(p.c_str());
    return p;
  }

  std::unique_ptr<TCustomFFmpeg> FEngine;
  std::mutex FLogLock;
  std::vector<std::pair<TLogLevel, std::string>> FLog;
};

struct TStreamSummary {
  AVMediaType Type = AVMEDIA_TYPE_UNKNOWN;
  AVCodecID Codec = AV_CODEC_ID_NONE;
  int Width = 0, Height = 0, SampleRate = 0;
  double FirstPts = -1, LastEnd = -1;  // seconds, from the packets
  int Packets = 0;
};

struct TFileSummary {
  bool Opened = false;
  std::string Format;
  double Duration = -1;  // seconds, as the container reports it
  std::vector<TStreamSummary> Streams;
};

// Reopens a file and reads all of its packets.
inline TFileSummary Summarize(const std::string &APath) {
  TFileSummary s;
  AVFormatContext *ic = nullptr;
  if (ff::format.avformat_open_input(&ic, APath.c_str(), nullptr, nullptr) < 0) return s;
  if (ff::format.avformat_find_stream_info(ic, nullptr) < 0) {
    ff::format.avformat_close_input(&ic);
    return s;
  }
  s.Opened = true;
  s.Format = ic->iformat->name;
  s.Duration = ic->duration == AV_NOPTS_VALUE ? -1 : ic->duration / 1e6;
  for (unsigned i = 0; i < ic->nb_streams; ++i) {
    const AVCodecParameters *p = ic->streams[i]->codecpar;
    TStreamSummary st;
    st.Type = p->codec_type;
    st.Codec = p->codec_id;
    st.Width = p->width;
    st.Height = p->height;
    st.SampleRate = p->sample_rate;
    s.Streams.push_back(st);
  }
  AVPacket *pkt = ff::codec.av_packet_alloc();
  while (ff::format.av_read_frame(ic, pkt) >= 0) {
    TStreamSummary &st = s.Streams[pkt->stream_index];
    const AVRational tb = ic->streams[pkt->stream_index]->time_base;
    const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (ts != AV_NOPTS_VALUE) {
      const double t = ts * double(tb.num) / tb.den;
      if (st.FirstPts < 0 || t < st.FirstPts) st.FirstPts = t;
      const double end = t + pkt->duration * double(tb.num) / tb.den;
      if (end > st.LastEnd) st.LastEnd = end;
    }
    ++st.Packets;
    ff::codec.av_packet_unref(pkt);
  }
  ff::codec.av_packet_free(&pkt);
  ff::format.avformat_close_input(&ic);
  return s;
}

// The independent reader's view of a file: "format.duration" etc. Empty when the tool
// is not installed or cannot read the file.
inline std::string ProbeTool(const std::string &APath, const std::string &AEntries) {
  std::string cmd = "ffprobe -v error -show_entries " + AEntries + " -of default=nw=1:nk=1 '" +
                    APath + "' 2>/dev/null";
  std::string out;
  if (FILE *f = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, f)) out += buf;
    pclose(f);
  }
  return out;
}

}  // namespace enginetest
