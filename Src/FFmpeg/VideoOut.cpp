// Video output path: preparation of every decoded picture (deinterlacing, the
// application's custom hook, frame-hook modules), the optional filter graph, and
// do_video_out with the frame clock (drops and duplicates), cropping and scaling,
// encoding and the rate-limited preview hooks.
#include <cmath>
#include <cstring>

#include "../FFmpegLoader/AVPtr.h"
#include "../FFmpegLoader/FFmpegLoader.h"
#include "FFmpeg.h"

using namespace engine;

namespace {

constexpr AVRational kMicro{1, AV_TIME_BASE};

// One lock for every engine: the post hooks and their changes from other threads.
std::mutex &PostHookLock() {
  static std::mutex lock;
  return lock;
}

// Plane pointers of a picture moved by a crop of ATop rows and ALeft columns.
void CroppedPlanes(const AVFrame *AFrame, int ATop, int ALeft, const uint8_t *AOut[4]) {
  const AVPixFmtDescriptor *d =
      ff::util.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(AFrame->format));
  for (int i = 0; i < 4; ++i) {
    AOut[i] = AFrame->data[i];
    if (!d || !AFrame->data[i] || (d->flags & AV_PIX_FMT_FLAG_PAL)) continue;
    const bool chroma = i == 1 || i == 2;
    const int top = chroma ? ATop >> d->log2_chroma_h : ATop;
    const int left = chroma ? ALeft >> d->log2_chroma_w : ALeft;
    int step = d->comp[0].step;
    for (int c = 0; c < d->nb_components; ++c)
      if (d->comp[c].plane == i) step = d->comp[c].step;
    AOut[i] +=
        static_cast<ptrdiff_t>(top) * AFrame->linesize[i] + static_cast<ptrdiff_t>(left) * step;
  }
}

}  // namespace

void TCustomFFmpeg::SetPostHooks(TPostHooks AHooks) {
  std::lock_guard<std::mutex> g(PostHookLock());
  FPostHooks = AHooks;
}

TPostHooks TCustomFFmpeg::PostHooks() const {
  std::lock_guard<std::mutex> g(PostHookLock());
  return FPostHooks;
}

int TCustomFFmpeg::AddFrameHook(const std::vector<std::string> &AArgs) {
  const int ret = FFirstHook.Add(AArgs);
  if (ret == 0) Fusing_vhook = true;
  return ret;
}

void TCustomFFmpeg::ReleaseEncodeState() {
  for (TAVOutputStream &ost : Fost_table)
    if (ost.work_frame) ff::util.av_frame_free(&ost.work_frame);
  if (Fgraph) ff::filter.avfilter_graph_free(&Fgraph);
  if (Fdeinterlace_graph) ff::filter.avfilter_graph_free(&Fdeinterlace_graph);
  Fdeinterlace_src = Fdeinterlace_sink = nullptr;
  Fdeinterlace_ist = nullptr;
  Fdeinterlace_flushed = false;
  for (TAVInputStream &ist : Fist_table) {
    ist.input_video_filter = ist.out_video_filter = nullptr;
    ist.filter_flushed = 0;
  }
  if (FHookFrame) ff::util.av_frame_free(&FHookFrame);
  FHookContext.Reset();
  FPostContext.Reset();
  FPreviewer.reset();
  FFirstHook.Release();
  Fusing_vhook = false;
  Faudio_buf.clear();
  Faudio_buf.shrink_to_fit();
  if (Fvstats_file) {
    std::fclose(Fvstats_file);
    Fvstats_file = nullptr;
  }
}

// ---------------------------------------------------------------- preparation

void TCustomFFmpeg::DispatchPicture(TAVInputStream &AIst, AVFrame *AFrame) {
  if (Fdo_deinterlace && Deinterlace(AIst, AFrame)) return;
  FilterPicture(AIst, AFrame);
}

void TCustomFFmpeg::FilterPicture(TAVInputStream &AIst, AVFrame *AFrame) {
  PrepareDecodedPicture(AIst, AFrame);
  const int index = static_cast<int>(&AIst - Fist_table.data());
  auto toOutputs = [&](AVFrame *APicture) {
    for (TAVOutputStream &ost : Fost_table)
      if (ost.source_index == index && ost.encoding_needed &&
          ost.enc->codec_type == AVMEDIA_TYPE_VIDEO)
        do_video_out(ost, AIst, APicture);
  };
  if (!FEnableFilter) return toOutputs(AFrame);

  if (!AIst.input_video_filter) {
    TAVOutputStream *first = nullptr;
    for (TAVOutputStream &ost : Fost_table)
      if (!first && ost.source_index == index && ost.encoding_needed &&
          ost.enc->codec_type == AVMEDIA_TYPE_VIDEO)
        first = &ost;
    if (!first) return;
    if (Fgraph || ConfigureVideoFilters(AIst, *first, AFrame) < 0)
      throw FFmpegException("Error opening filters!");
  }
  AFrame->pts = AIst.pts;
  if (ff::filter.av_buffersrc_add_frame_flags(AIst.input_video_filter, AFrame,
                                              AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
    throw FFmpegException("Error while filtering video");
  DrainVideoFilter(AIst);
}

void TCustomFFmpeg::DrainVideoFilter(TAVInputStream &AIst) {
  const int index = static_cast<int>(&AIst - Fist_table.data());
  ff::FramePtr out(ff::util.av_frame_alloc());
  if (!out) throw FFmpegException("av_mallocz fail");
  // Filters may change the time base (a rate change, a field-rate deinterlacer).
  const AVRational tb = ff::filter.av_buffersink_get_time_base(AIst.out_video_filter);
  while (ff::filter.av_buffersink_get_frame(AIst.out_video_filter, out.get()) >= 0) {
    if (out->pts != AV_NOPTS_VALUE) AIst.pts = ff::util.av_rescale_q(out->pts, tb, kMicro);
    for (TAVOutputStream &ost : Fost_table)
      if (ost.source_index == index && ost.encoding_needed &&
          ost.enc->codec_type == AVMEDIA_TYPE_VIDEO)
        do_video_out(ost, AIst, out.get());
    ff::util.av_frame_unref(out.get());
  }
}

void TCustomFFmpeg::FlushVideoFilter(TAVInputStream &AIst) {
  // The end lies after the last picture, so that rate changers know its duration.
  const int64_t end = AIst.next_pts != AV_NOPTS_VALUE ? AIst.next_pts : AIst.pts;
  if (Fdeinterlace_graph && Fdeinterlace_ist == &AIst && !Fdeinterlace_flushed) {
    Fdeinterlace_flushed = true;
    if (ff::filter.av_buffersrc_close(Fdeinterlace_src, end, AV_BUFFERSRC_FLAG_PUSH) >= 0)
      DrainDeinterlacer(AIst);
  }
  if (!AIst.input_video_filter || AIst.filter_flushed) return;
  AIst.filter_flushed = 1;
  if (ff::filter.av_buffersrc_close(AIst.input_video_filter, end, AV_BUFFERSRC_FLAG_PUSH) < 0)
    throw FFmpegException("Error while filtering video");
  DrainVideoFilter(AIst);
}

bool TCustomFFmpeg::Deinterlace(TAVInputStream &AIst, AVFrame *AFrame) {
  if (!Fdeinterlace_graph) {
    // A one-filter graph; it is built for the first picture's geometry.
    Fdeinterlace_graph = ff::filter.avfilter_graph_alloc();
    const std::string args = Format("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=1/1",
                                    AFrame->width, AFrame->height, AFrame->format, AV_TIME_BASE);
    AVFilterContext *yadif = nullptr;
    const bool ok =
        Fdeinterlace_graph &&
        ff::filter.avfilter_graph_create_filter(&Fdeinterlace_src,
                                                ff::filter.avfilter_get_by_name("buffer"), "src",
                                                args.c_str(), nullptr, Fdeinterlace_graph) >= 0 &&
        ff::filter.avfilter_graph_create_filter(
            &yadif, ff::filter.avfilter_get_by_name("yadif"), "deinterlace",
            "mode=send_frame:parity=auto:deint=all", nullptr, Fdeinterlace_graph) >= 0 &&
        ff::filter.avfilter_graph_create_filter(&Fdeinterlace_sink,
                                                ff::filter.avfilter_get_by_name("buffersink"),
                                                "out", nullptr, nullptr, Fdeinterlace_graph) >= 0 &&
        ff::filter.avfilter_link(Fdeinterlace_src, 0, yadif, 0) >= 0 &&
        ff::filter.avfilter_link(yadif, 0, Fdeinterlace_sink, 0) >= 0 &&
        ff::filter.avfilter_graph_config(Fdeinterlace_graph, nullptr) >= 0;
    if (!ok) {
      ff::filter.avfilter_graph_free(&Fdeinterlace_graph);
      Fdeinterlace_src = Fdeinterlace_sink = nullptr;
      EngineLog(llError, "Deinterlacing failed.");
      return false;
    }
    Fdeinterlace_ist = &AIst;
  }
  // The filter looks one picture ahead: it gives each picture back, with its own time,
  // when the next one has arrived, and the last one when the input ends.
  const int64_t decodedPts = AFrame->pts;
  AFrame->pts = AIst.pts;
  // Pictures of another geometry than the first one are left as they are.
  if (Fdeinterlace_ist != &AIst ||
      AFrame->width != ff::filter.av_buffersink_get_w(Fdeinterlace_sink) ||
      AFrame->height != ff::filter.av_buffersink_get_h(Fdeinterlace_sink) ||
      AFrame->format != ff::filter.av_buffersink_get_format(Fdeinterlace_sink) ||
      ff::filter.av_buffersrc_add_frame_flags(Fdeinterlace_src, AFrame,
                                              AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
    AFrame->pts = decodedPts;
    EngineLog(llError, "Deinterlacing failed.");
    return false;
  }
  DrainDeinterlacer(AIst);
  return true;
}

void TCustomFFmpeg::DrainDeinterlacer(TAVInputStream &AIst) {
  ff::FramePtr out(ff::util.av_frame_alloc());
  if (!out) throw FFmpegException("av_mallocz fail");
  const AVRational tb = ff::filter.av_buffersink_get_time_base(Fdeinterlace_sink);
  while (ff::filter.av_buffersink_get_frame(Fdeinterlace_sink, out.get()) >= 0) {
    if (out->pts != AV_NOPTS_VALUE) AIst.pts = ff::util.av_rescale_q(out->pts, tb, kMicro);
    FilterPicture(AIst, out.get());
    ff::util.av_frame_unref(out.get());
  }
}

void TCustomFFmpeg::PrepareDecodedPicture(TAVInputStream &AIst, AVFrame *AFrame) {
  ++FHookFrameNumber;
  const int64_t pts = AIst.pts;
  if (!OnCustomHook && !Fusing_vhook) return;

  // The hooks draw into the picture: it must not share its buffers with the decoder.
  if (ff::util.av_frame_make_writable(AFrame) < 0) {
    EngineLog(llError, "hook buf malloc error.");
    return;
  }
  if (OnCustomHook)
    CustomHook(AIst, AFrame);
  else if (Fusing_vhook)
    FFirstHook.Run(AFrame, pts);
}

void TCustomFFmpeg::CustomHook(TAVInputStream &AIst, AVFrame *AFrame) {
  bool stop = false;
  if (!FHookContext.FrameToBitmap(AFrame)) {
    EngineLog(llError, "Cannot initialize the toRGB conversion context");
    stop = true;
  } else {
    bool update = true;
    try {
      OnCustomHook(this, FHookContext.Bitmap, FHookFrameNumber, AIst.pts, update, stop);
    } catch (const std::exception &e) {
      EngineLog(llError, std::string("Error occurs OnCustomHook: ") + e.what());
      update = false;
    } catch (...) {
      EngineLog(llError, "Error occurs OnCustomHook: unknown error");
      update = false;
    }
    if (update && !FHookContext.BitmapToFrame(AFrame)) {
      EngineLog(llError, "Cannot initialize the fromRGB conversion context");
      stop = true;
    }
  }
  if (stop) {
    OnCustomHook = nullptr;
    Fusing_vhook = false;
  }
}

int TCustomFFmpeg::ConfigureVideoFilters(TAVInputStream &AIst, TAVOutputStream &AOst,
                                         const AVFrame *AFrame) {
  AVCodecContext *enc = AOst.enc;
  Fgraph = ff::filter.avfilter_graph_alloc();
  if (!Fgraph) return -1;
  auto fail = [this] {
    ff::filter.avfilter_graph_free(&Fgraph);
    return -1;
  };
  AVRational sar = AFrame->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = AVRational{0, 1};
  std::string srcArgs =
      Format("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", AFrame->width,
             AFrame->height, AFrame->format, AV_TIME_BASE, sar.num, sar.den);
  // Filters that make pictures of their own (padding, rate changes) time them by the rate.
  AVRational rate = AIst.st->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = AIst.st->r_frame_rate;
  if (rate.num > 0 && rate.den > 0) srcArgs += Format(":frame_rate=%d/%d", rate.num, rate.den);
  AVFilterContext *src = nullptr, *sink = nullptr;
  if (ff::filter.avfilter_graph_create_filter(&src, ff::filter.avfilter_get_by_name("buffer"),
                                              "src", srcArgs.c_str(), nullptr, Fgraph) < 0)
    return fail();
  sink = ff::filter.avfilter_graph_alloc_filter(
      Fgraph, ff::filter.avfilter_get_by_name("buffersink"), "out");
  if (!sink) return fail();
  const AVPixelFormat only = enc->pix_fmt;
  if (ff::util.av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const uint8_t *>(&only),
                              sizeof(only), AV_OPT_SEARCH_CHILDREN) < 0 ||
      ff::filter.avfilter_init_str(sink, nullptr) < 0)
    return fail();

  AVFilterContext *last = src;
  const int width = AFrame->width - AOst.leftBand - AOst.rightBand;
  const int height = AFrame->height - AOst.topBand - AOst.bottomBand;
  if (AOst.video_crop) {
    AVFilterContext *crop = nullptr;
    const std::string args =
        Format("w=%d:h=%d:x=%d:y=%d", width, height, AOst.leftBand, AOst.topBand);
    if (ff::filter.avfilter_graph_create_filter(&crop, ff::filter.avfilter_get_by_name("crop"),
                                                "crop", args.c_str(), nullptr, Fgraph) < 0 ||
        ff::filter.avfilter_link(last, 0, crop, 0) < 0)
      return fail();
    last = crop;
  }
  const unsigned flags = Fsws_flags;
  if (enc->width != width || enc->height != height) {
    AVFilterContext *scale = nullptr;
    const std::string args = Format("w=%d:h=%d", enc->width, enc->height);
    if (ff::filter.avfilter_graph_create_filter(&scale, ff::filter.avfilter_get_by_name("scale"),
                                                "scale", args.c_str(), nullptr, Fgraph) < 0 ||
        ff::filter.avfilter_link(last, 0, scale, 0) < 0)
      return fail();
    last = scale;
  }
  Fgraph->scale_sws_opts = ff::util.av_strdup(Format("flags=0x%X", flags).c_str());

  if (!Fvfilters.empty()) {
    AVFilterInOut *outputs = ff::filter.avfilter_inout_alloc();
    AVFilterInOut *inputs = ff::filter.avfilter_inout_alloc();
    if (!outputs || !inputs) {
      ff::filter.avfilter_inout_free(&outputs);
      ff::filter.avfilter_inout_free(&inputs);
      return fail();
    }
    outputs->name = ff::util.av_strdup("in");
    outputs->filter_ctx = last;
    outputs->pad_idx = 0;
    inputs->name = ff::util.av_strdup("out");
    inputs->filter_ctx = sink;
    inputs->pad_idx = 0;
    const int ret =
        ff::filter.avfilter_graph_parse_ptr(Fgraph, Fvfilters.c_str(), &inputs, &outputs, nullptr);
    ff::filter.avfilter_inout_free(&outputs);
    ff::filter.avfilter_inout_free(&inputs);
    if (ret < 0) return fail();
  } else if (ff::filter.avfilter_link(last, 0, sink, 0) < 0) {
    return fail();
  }
  if (ff::filter.avfilter_graph_config(Fgraph, nullptr) < 0) return fail();
  AIst.input_video_filter = src;
  AIst.out_video_filter = sink;
  return 0;
}

// ---------------------------------------------------------------- output

void TCustomFFmpeg::do_video_out(TAVOutputStream &AOst, TAVInputStream &AIst, AVFrame *AFrame) {
  AVCodecContext *enc = AOst.enc;
  const AVFormatContext *oc = Foutput_files[AOst.file_index]->ctx;
  const TAVInputStream &sync = AOst.sync_ist ? *AOst.sync_ist : AIst;
  const double syncTime =
      (sync.pts - Fstart_time) / 1000000.0 / (double(enc->time_base.num) / enc->time_base.den);
  int n = 1;
  if (Fvideo_sync_method != 0) {
    const double vdelta = syncTime - static_cast<double>(AOst.sync_opts);
    const bool variable = Fvideo_sync_method == 2 ||
                          (Fvideo_sync_method < 0 && (oc->oformat->flags & AVFMT_VARIABLE_FPS));
    if (vdelta < -1.1) {
      n = 0;
    } else if (variable) {
      if (vdelta <= -0.6)
        n = 0;
      else if (vdelta > 0.6)
        AOst.sync_opts = std::llround(syncTime);
    } else if (vdelta > 1.1) {
      n = static_cast<int>(std::llround(vdelta));
    }
    if (n == 0) {
      ++Fnb_frames_drop;
      FShowDupOrDrop = true;
      if (Fverbose > 2) EngineLog(llVerbose, "*** drop!");
    } else if (n > 1) {
      Fnb_frames_dup += n - 1;
      FShowDupOrDrop = true;
      if (Fverbose > 2) EngineLogF(llVerbose, "*** %d dup!", n - 1);
    }
  } else {
    AOst.sync_opts = std::llround(syncTime);
  }
  n = static_cast<int>(std::min<int64_t>(
      n, static_cast<int64_t>(MaxFrames(AVMEDIA_TYPE_VIDEO)) - AOst.frame_number));
  if (n <= 0) return;

  // Crop and scale without a graph; size changes of the input are followed.
  AVFrame *picture = AFrame;
  if (!Fgraph) {
    const int w = AFrame->width - AOst.leftBand - AOst.rightBand;
    const int h = AFrame->height - AOst.topBand - AOst.bottomBand;
    if (h != AOst.resample_height || w != AOst.resample_width ||
        AFrame->format != AOst.resample_pix_fmt) {
      const char *fmtName =
          ff::util.av_get_pix_fmt_name(static_cast<AVPixelFormat>(AFrame->format));
      EngineLogF(llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s", AIst.file_index,
                 AIst.index, AFrame->width, AFrame->height, fmtName ? fmtName : "none");
      if (AOst.video_crop &&
          (AFrame->width != AOst.original_width || AFrame->height != AOst.original_height)) {
        auto band = [](int ANew, int ABand, int AOld) {
          return AOld ? (ANew * ABand / AOld) & ~1 : 0;
        };
        AOst.topBand = band(AFrame->height, AOst.original_topBand, AOst.original_height);
        AOst.bottomBand = band(AFrame->height, AOst.original_bottomBand, AOst.original_height);
        AOst.leftBand = band(AFrame->width, AOst.original_leftBand, AOst.original_width);
        AOst.rightBand = band(AFrame->width, AOst.original_rightBand, AOst.original_width);
      }
      AOst.resample_width = AFrame->width - AOst.leftBand - AOst.rightBand;
      AOst.resample_height = AFrame->height - AOst.topBand - AOst.bottomBand;
      AOst.resample_pix_fmt = AFrame->format;
      // The scaler takes any input geometry to the encoder's; nothing is lost.
      AOst.video_resample = 1;
    }
  }
  const int srcW = AFrame->width - (Fgraph ? 0 : AOst.leftBand + AOst.rightBand);
  const int srcH = AFrame->height - (Fgraph ? 0 : AOst.topBand + AOst.bottomBand);
  const bool cropped = !Fgraph && AOst.video_crop;
  if (cropped || srcW != enc->width || srcH != enc->height || AFrame->format != enc->pix_fmt) {
    if (srcW <= 0 || srcH <= 0) {
      if (Fexit_on_error) throw FFmpegException("error cropping picture");
      EngineLog(llError, "error cropping picture");
      return;
    }
    if (!AOst.pict_tmp) {
      AOst.pict_tmp = ff::util.av_frame_alloc();
      if (!AOst.pict_tmp) throw FFmpegException("Cannot allocate temp picture, check pix fmt");
    }
    AVFrame *tmp = AOst.pict_tmp;
    if (!tmp->buf[0]) {
      tmp->format = enc->pix_fmt;
      tmp->width = enc->width;
      tmp->height = enc->height;
      if (ff::util.av_frame_get_buffer(tmp, 0) < 0)
        throw FFmpegException("Cannot allocate temp picture, check pix fmt");
    } else if (ff::util.av_frame_make_writable(tmp) < 0) {
      throw FFmpegException("Cannot allocate temp picture, check pix fmt");
    }
    AOst.img_resample_ctx = ff::scale.sws_getCachedContext(
        AOst.img_resample_ctx, srcW, srcH, static_cast<AVPixelFormat>(AFrame->format), enc->width,
        enc->height, enc->pix_fmt, static_cast<int>(Fsws_flags), nullptr, nullptr, nullptr);
    if (!AOst.img_resample_ctx) throw FFmpegException("Cannot get resampling context");
    const uint8_t *planes[4];
    CroppedPlanes(AFrame, cropped ? AOst.topBand : 0, cropped ? AOst.leftBand : 0, planes);
    ff::scale.sws_scale(AOst.img_resample_ctx, planes, AFrame->linesize, 0, srcH, tmp->data,
                        tmp->linesize);
    ff::util.av_frame_copy_props(tmp, AFrame);
    picture = tmp;
  }

  const AVCodecContext *generic = FOptions.avcodec_opts[AVMEDIA_TYPE_VIDEO];
  for (int i = 0; i < n && !FBroken; ++i) {
    if (generic && (generic->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)))
      picture->top_field_first =
          Ftop_field_first == -1 ? AFrame->top_field_first : Ftop_field_first;
    picture->quality = Fsame_quality ? AFrame->quality : enc->global_quality;
    if (!Fme_threshold) picture->pict_type = AV_PICTURE_TYPE_NONE;
    picture->pts = AOst.sync_opts;
    if (ff::codec.avcodec_send_frame(enc, picture) < 0)
      throw FFmpegException("Video encoding failed");
    if (PostHooks() != 0) RunPostHooks(AOst, picture);
    ReceivePackets(AOst);
    AOst.sync_opts++;
    AOst.frame_number++;
  }
}

void TCustomFFmpeg::RunPostHooks(TAVOutputStream &AOst, const AVFrame *AFrame) {
  const TPostHooks hooks = PostHooks();
  TPostHooks dropped = 0;
  const int64_t now = ff::util.av_gettime_relative();
  const int64_t pts = ff::util.av_rescale_q(AFrame->pts, AOst.enc->time_base, kMicro);
  // The handlers run without the lock: they may wait on the thread that changes the hooks.
  if ((hooks & phBitmap) && OnPreviewBitmap) {
    if (now - Fpreview_last_time > PreviewInterval) {
      if (FPostContext.FrameToBitmap(AFrame)) {
        OnPreviewBitmap(this, FPostContext.Bitmap, FHookFrameNumber, pts);
      } else {
        EngineLog(llError, "Cannot initialize the toRGB conversion context");
        dropped |= phBitmap;
      }
      Fpreview_last_time = now;
    }
  } else if (hooks & phPreview) {
    if (now - Fpreview_last_time > PreviewInterval) {
      if (FPostContext.FrameToBitmap(AFrame)) {
        if (!FPreviewer) FPreviewer = std::make_unique<TPreviewer>();
        if (!FPreviewer->PaintFrame(FPostContext.Bitmap, FHookFrameNumber, pts))
          dropped |= phPreview;
      } else {
        EngineLog(llError, "Cannot initialize the toRGB conversion context");
        dropped |= phPreview;
      }
      Fpreview_last_time = now;
    }
  }
  if (dropped) {
    std::lock_guard<std::mutex> g(PostHookLock());
    FPostHooks &= ~dropped;
  }
  if (FPreviewer && !(PostHooks() & phPreview)) FPreviewer.reset();
}
