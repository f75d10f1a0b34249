// Owning pointers for library objects; the deleters call through the loaded tables.
#pragma once

#include <memory>

#include "FFmpegLoader.h"
#include "UnicodeProtocol/UnicodeProtocol.h"

namespace ff {

struct FrameDeleter {
  void operator()(AVFrame *p) const { util.av_frame_free(&p); }
};
struct PacketDeleter {
  void operator()(AVPacket *p) const { codec.av_packet_free(&p); }
};
struct CodecContextDeleter {
  void operator()(AVCodecContext *p) const { codec.avcodec_free_context(&p); }
};
struct InputContextDeleter {
  // Also releases the custom I/O of a "unicode:utf8:" input.
  void operator()(AVFormatContext *p) const { CloseMediaInput(&p); }
};
struct SwrDeleter {
  void operator()(SwrContext *p) const { resample.swr_free(&p); }
};
struct SwsDeleter {
  void operator()(SwsContext *p) const { scale.sws_freeContext(p); }
};
struct FilterGraphDeleter {
  void operator()(AVFilterGraph *p) const { filter.avfilter_graph_free(&p); }
};
struct AudioFifoDeleter {
  void operator()(AVAudioFifo *p) const { util.av_audio_fifo_free(p); }
};
struct BsfDeleter {
  void operator()(AVBSFContext *p) const { codec.av_bsf_free(&p); }
};
struct DictDeleter {
  void operator()(AVDictionary *p) const { util.av_dict_free(&p); }
};
struct AvFreeDeleter {
  void operator()(void *p) const { util.av_free(p); }
};

using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FormatInputPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
using BsfPtr = std::unique_ptr<AVBSFContext, BsfDeleter>;
using DictPtr = std::unique_ptr<AVDictionary, DictDeleter>;

}  // namespace ff
