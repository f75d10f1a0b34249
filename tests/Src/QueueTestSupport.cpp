#include "QueueTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "FFmpegLoader/FFmpegLoader.h"
#include "MediaFixtures.h"

namespace fs = std::filesystem;

namespace queuetest {

std::string ShortClip(double ADurationSec) {
  qvtest::TClipParams params;
  params.Container = "mp4";
  params.DurationSec = ADurationSec;
  params.Audio = {qvtest::Track("aac", 44100, 2, 64000)};
  return qvtest::MakeClip(params);
}

std::string OutputDir(const std::string &AName) {
  static std::atomic<int> counter{0};
  const fs::path dir =
      fs::path(qvtest::FixtureDir()) / ("queue_" + AName + "_" + std::to_string(++counter));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string() + "/";
}

std::vector<std::string> StreamCodecs(const std::string &AFileName) {
  std::vector<std::string> codecs;
  AVFormatContext *ic = nullptr;
  if (ff::format.avformat_open_input(&ic, AFileName.c_str(), nullptr, nullptr) < 0) return codecs;
  if (ff::format.avformat_find_stream_info(ic, nullptr) >= 0)
    for (unsigned i = 0; i < ic->nb_streams; ++i)
      codecs.push_back(ff::codec.avcodec_get_name(ic->streams[i]->codecpar->codec_id));
  ff::format.avformat_close_input(&ic);
  return codecs;
}

std::vector<std::string> PlannedCodecs(const TFFmpeg &ATask, int AOutput) {
  std::vector<std::string> codecs;
  for (const TOutputStreamSetup &s : ATask.Foutput_files[AOutput]->streams)
    codecs.push_back(s.stream_copy ? "copy" : s.codec ? s.codec->name : "?");
  return codecs;
}

}  // namespace queuetest
