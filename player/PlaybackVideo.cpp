// The video decoding thread: decoding, the optional filter graph, frame skipping, the
// frame hook and handing pictures to the display.
#include <cmath>

#include "Playback.h"
#include "Player.h"

namespace {
void Log(int ALevel, const std::string &AText) {
  ff::util.av_log(nullptr, ALevel, "%s", AText.c_str());
}
}  // namespace

void TPlayback::VideoThread() {
  AVCodecContext *ctx = FCodecs[kVideo].get();
  ff::PacketPtr pkt(ff::codec.av_packet_alloc());
  ff::FramePtr frame(ff::util.av_frame_alloc());
  int serial = 0;
  for (;;) {
    TPacketQueue::TGetResult got = FQueues[kVideo].Get(pkt.get(), true, &serial);
    if (got == TPacketQueue::grAborted) break;
    if (got == TPacketQueue::grFlush) {
      ff::codec.avcodec_flush_buffers(ctx);
      FSkipRatio = 1;
      FSkipCount = 0;
      continue;
    }
    int ret = ff::codec.avcodec_send_packet(ctx, pkt->data ? pkt.get() : nullptr);
    if (ret < 0 && ret != AVERROR_EOF && ret != AVERROR(EAGAIN)) continue;  // damaged packet
    for (;;) {
      ret = ff::codec.avcodec_receive_frame(ctx, frame.get());
      if (ret == AVERROR_EOF) {
        ff::codec.avcodec_flush_buffers(ctx);  // drained: ready for packets after a seek
        break;
      }
      if (ret < 0) break;
      if (serial != FQueues[kVideo].Serial()) {
        ff::util.av_frame_unref(frame.get());  // from before a seek
        continue;
      }
      if (FParams.DecoderReorderPts == 0)
        frame->pts = frame->pkt_dts;
      else
        frame->pts = frame->best_effort_timestamp;
      FSeekPending = false;
      bool ok = FilterAndQueue(frame.get(), serial);
      ff::util.av_frame_unref(frame.get());
      if (!ok) return;
    }
  }
}

bool TPlayback::ConfigureFilters(const AVFrame *AFrame) {
  FGraph.reset(ff::filter.avfilter_graph_alloc());
  FFilterIn = FFilterOut = nullptr;
  if (!FGraph) return false;
  AVRational tb = FStreams[kVideo]->time_base;
  AVRational sar = AFrame->sample_aspect_ratio.num ? AFrame->sample_aspect_ratio : AVRational{1, 1};
  char args[256];
  std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                AFrame->width, AFrame->height, AFrame->format, tb.num, tb.den, sar.num, sar.den);
  if (ff::filter.avfilter_graph_create_filter(&FFilterIn, ff::filter.avfilter_get_by_name("buffer"),
                                              "player_input", args, nullptr, FGraph.get()) < 0 ||
      ff::filter.avfilter_graph_create_filter(&FFilterOut,
                                              ff::filter.avfilter_get_by_name("buffersink"),
                                              "player_output", nullptr, nullptr, FGraph.get()) < 0)
    return false;
  AVFilterInOut *outputs = ff::filter.avfilter_inout_alloc();
  AVFilterInOut *inputs = ff::filter.avfilter_inout_alloc();
  outputs->name = ff::util.av_strdup("in");
  outputs->filter_ctx = FFilterIn;
  inputs->name = ff::util.av_strdup("out");
  inputs->filter_ctx = FFilterOut;
  int ret = ff::filter.avfilter_graph_parse_ptr(FGraph.get(), FParams.VideoFilters.c_str(), &inputs,
                                                &outputs, nullptr);
  ff::filter.avfilter_inout_free(&inputs);
  ff::filter.avfilter_inout_free(&outputs);
  if (ret >= 0) ret = ff::filter.avfilter_graph_config(FGraph.get(), nullptr);
  if (ret < 0) {
    Log(AV_LOG_ERROR, "Cannot configure video filters: " + FParams.VideoFilters + "\n");
    FGraph.reset();
    return false;
  }
  FGraphW = AFrame->width;
  FGraphH = AFrame->height;
  FGraphFormat = AFrame->format;
  return true;
}

bool TPlayback::FilterAndQueue(AVFrame *AFrame, int ASerial) {
  AVRational tb = FStreams[kVideo]->time_base;
  AVRational rate = ff::format.av_guess_frame_rate(FFormatCtx, FStreams[kVideo], nullptr);
  double duration = rate.num && rate.den ? static_cast<double>(rate.den) / rate.num : 0;
  auto pass = [&](AVFrame *f, AVRational ftb) {
    // Frame skipping: a picture goes on only once the count has reached the ratio.
    FSkipCount += 1;
    double ratio = FSkipRatio;
    if (FSkipCount < ratio) return true;
    FSkipCount -= std::max(ratio, 1.0);
    double pts = f->pts == AV_NOPTS_VALUE ? NAN : f->pts * av_q2d(ftb);
    if (FParams.Hook && FOwner.FHook) CallHook(f, pts);
    return QueuePicture(f, pts, duration, f->pkt_pos, ASerial);
  };
  if (FParams.VideoFilters.empty()) return pass(AFrame, tb);
  if (!FGraph || FGraphW != AFrame->width || FGraphH != AFrame->height ||
      FGraphFormat != AFrame->format) {
    if (!ConfigureFilters(AFrame)) return pass(AFrame, tb);  // shown unfiltered
  }
  if (ff::filter.av_buffersrc_add_frame_flags(FFilterIn, AFrame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
    return true;
  ff::FramePtr out(ff::util.av_frame_alloc());
  AVRational otb = ff::filter.av_buffersink_get_time_base(FFilterOut);
  while (ff::filter.av_buffersink_get_frame(FFilterOut, out.get()) >= 0) {
    bool ok = pass(out.get(), otb);
    ff::util.av_frame_unref(out.get());
    if (!ok) return false;
  }
  return true;
}

void TPlayback::CallHook(AVFrame *AFrame, double APts) {
  if (!FParams.Hook) return;
  FHookBitmap.Resize(AFrame->width, AFrame->height);
  FToRGB = ff::scale.sws_getCachedContext(
      FToRGB, AFrame->width, AFrame->height, static_cast<AVPixelFormat>(AFrame->format),
      AFrame->width, AFrame->height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!FToRGB) {
    Log(AV_LOG_ERROR, "Cannot initialize the toRGB conversion context\n");
    return;
  }
  uint8_t *dst[4] = {FHookBitmap.Pixels.data(), nullptr, nullptr, nullptr};
  int dstStride[4] = {FHookBitmap.Stride, 0, 0, 0};
  ff::scale.sws_scale(FToRGB, AFrame->data, AFrame->linesize, 0, AFrame->height, dst, dstStride);
  int64_t ptsUs = std::isnan(APts) ? -1 : static_cast<int64_t>(APts * 1e6) - FStartTimeUs;
  try {
    FParams.Hook(FHookBitmap, ptsUs);
  } catch (const std::exception &e) {
    Log(AV_LOG_ERROR, std::string("Error occurs OnHook: ") + e.what() + "\n");
    return;
  } catch (...) {
    Log(AV_LOG_ERROR, "Error occurs OnHook: unknown error\n");
    return;
  }
  if (FHookBitmap.Width != AFrame->width || FHookBitmap.Height != AFrame->height) return;
  if (ff::util.av_frame_make_writable(AFrame) < 0) return;
  FFromRGB = ff::scale.sws_getCachedContext(
      FFromRGB, AFrame->width, AFrame->height, AV_PIX_FMT_RGB24, AFrame->width, AFrame->height,
      static_cast<AVPixelFormat>(AFrame->format), SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!FFromRGB) {
    Log(AV_LOG_ERROR, "Cannot initialize the fromRGB conversion context\n");
    return;
  }
  const uint8_t *src[4] = {FHookBitmap.Pixels.data(), nullptr, nullptr, nullptr};
  int srcStride[4] = {FHookBitmap.Stride, 0, 0, 0};
  ff::scale.sws_scale(FFromRGB, src, srcStride, 0, AFrame->height, AFrame->data, AFrame->linesize);
}

bool TPlayback::QueuePicture(AVFrame *AFrame, double APts, double ADuration, int64_t APos,
                             int ASerial) {
  if (FPictures.Pending() >= TPictureQueue::kPlaces) {
    // The display is behind: skip fewer pictures from now on.
    FSkipRatio = std::max(0.95, FSkipRatio * 0.95);
  }
  TPicture *slot = FPictures.PeekWritable();
  if (!slot) return false;
  ff::util.av_frame_move_ref(slot->Frame, AFrame);
  slot->Pts = APts;
  slot->Duration = ADuration;
  slot->Pos = APos;
  slot->Serial = ASerial;
  FPictures.Push();
  SetPictureReady();
  if (++FQueuedPictures == 2 && FParams.StartPaused) FOwner.SetState(psPause);
  return true;
}
