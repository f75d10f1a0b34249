// Output files and their streams: format choice, stream types, the stream builders
// with their codec parameters, metadata, the byte stream and the join set-up.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "../FFmpegLoader/FFmpegLoader.h"
#include "FFmpeg.h"

using namespace engine;

void TCustomFFmpeg::check_audio_video_sub_inputs(bool AJoin, bool &AHasVideo, bool &AHasAudio,
                                                 bool &AHasSubtitle) {
  AHasVideo = AHasAudio = AHasSubtitle = false;
  const int count = AJoin ? std::min(1, Fnb_input_files) : Fnb_input_files;
  for (int j = 0; j < count; ++j) {
    AVFormatContext *ic = Finput_files[j].ctx;
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
      switch (ic->streams[i]->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
          AHasVideo = true;
          break;
        case AVMEDIA_TYPE_AUDIO:
          AHasAudio = true;
          break;
        case AVMEDIA_TYPE_SUBTITLE:
          AHasSubtitle = true;
          break;
        case AVMEDIA_TYPE_DATA:
        case AVMEDIA_TYPE_ATTACHMENT:
        case AVMEDIA_TYPE_UNKNOWN:
          break;
        default:
          throw FFmpegException("invalid codec_type of input file");
      }
    }
  }
}

TOutputStreamSetup &TCustomFFmpeg::NewStream(TOutputFileSetup &AOut, AVMediaType AType,
                                             std::vector<std::string> &AChain, uint32_t ATag) {
  AVFormatContext *oc = AOut.ctx;
  const unsigned index = oc->nb_streams;
  if (index >= MAX_STREAMS) throw FFmpegException("Could not alloc stream");
  AVStream *st = ff::format.avformat_new_stream(oc, nullptr);
  if (!st) throw FFmpegException("Could not alloc stream");
  if (Fstreamid_map[index]) st->id = Fstreamid_map[index];
  st->codecpar->codec_type = AType;
  AOut.streams.emplace_back();
  TOutputStreamSetup &s = AOut.streams.back();
  s.enc = ff::codec.avcodec_alloc_context3(nullptr);
  if (!s.enc) throw FFmpegException("Could not alloc stream");
  s.enc->codec_type = AType;
  s.enc->thread_count = Fthread_count;
  s.bsf_names = std::move(AChain);
  AChain.clear();
  if (ATag) s.enc->codec_tag = ATag;
  return s;
}

namespace {

AVRational AspectToSar(float AAspect, int AWidth, int AHeight) {
  double sar = AWidth * AHeight != 0 ? AAspect * AHeight / AWidth : AAspect * 3.0 / 4.0;
  return ff::util.av_d2q(sar, 255);
}

void ParseRcOverride(AVCodecContext *AEnc, const std::string &AText) {
  std::vector<RcOverride> list;
  const char *p = AText.c_str();
  while (p && *p) {
    int start = 0, end = 0, q = 0;
    if (std::sscanf(p, "%d,%d,%d", &start, &end, &q) != 3)
      throw FFmpegException("error parsing rc_override");
    RcOverride o{};
    o.start_frame = start;
    o.end_frame = end;
    if (q > 0) {
      o.qscale = q;
      o.quality_factor = 1.0f;
    } else {
      o.qscale = 0;
      o.quality_factor = -q / 100.0f;
    }
    list.push_back(o);
    p = std::strchr(p, '/');
    if (p) ++p;
  }
  if (list.empty()) return;
  AEnc->rc_override =
      static_cast<RcOverride *>(ff::util.av_mallocz(sizeof(RcOverride) * list.size()));
  if (!AEnc->rc_override) throw FFmpegException("av_mallocz fail");
  std::memcpy(AEnc->rc_override, list.data(), sizeof(RcOverride) * list.size());
  AEnc->rc_override_count = static_cast<int>(list.size());
}

}  // namespace

void TCustomFFmpeg::new_video_stream(TOutputFileSetup &AOut) {
  const AVOutputFormat *of = AOut.ctx->oformat;
  TOutputStreamSetup *sp = nullptr;
  try {
    sp = &NewStream(AOut, AVMEDIA_TYPE_VIDEO, Fvideo_bitstream_filters, Fvideo_codec_tag);
  } catch (...) {
    Fvideo_codec_name.clear();
    throw;
  }
  TOutputStreamSetup &s = *sp;
  AVCodecContext *enc = s.enc;
  AVStream *st = AOut.ctx->streams[AOut.ctx->nb_streams - 1];
  AVCodecContext *genericVideo = FOptions.avcodec_opts[AVMEDIA_TYPE_VIDEO];
  if ((Fvideo_global_header & 1) ||
      (Fvideo_global_header == 0 && (of->flags & AVFMT_GLOBALHEADER))) {
    enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (genericVideo) genericVideo->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  if (Fvideo_global_header & 2) {
    enc->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    if (genericVideo) genericVideo->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
  }

  if (Fvideo_stream_copy) {
    s.stream_copy = true;
    st->sample_aspect_ratio = enc->sample_aspect_ratio =
        AspectToSar(Fframe_aspect_ratio, Fframe_width, Fframe_height);
  } else {
    AVRational rate = Fframe_rate.num ? Fframe_rate : AVRational{25, 1};
    const AVCodec *codec = nullptr;
    AVCodecID id = AV_CODEC_ID_NONE;
    if (!Fvideo_codec_name.empty()) {
      std::string err;
      if (!FindCodecByName(Fvideo_codec_name, AVMEDIA_TYPE_VIDEO, true, enc->strict_std_compliance,
                           id, err)) {
        Fvideo_codec_name.clear();
        throw FFmpegException(err);
      }
      codec = ff::codec.avcodec_find_encoder_by_name(Fvideo_codec_name.c_str());
      s.codec = codec;
    } else {
      id = ff::format.av_guess_codec(of, nullptr, AOut.ctx->url, nullptr, AVMEDIA_TYPE_VIDEO);
      codec = ff::codec.avcodec_find_encoder(id);
    }
    enc->codec_id = id;
    if (genericVideo)
      FOptions.Apply(enc, genericVideo, AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    if (codec && codec->supported_framerates && !Fforce_fps) {
      int idx = ff::util.av_find_nearest_q_idx(rate, codec->supported_framerates);
      rate = codec->supported_framerates[idx];
    }
    enc->time_base = AVRational{rate.den, rate.num};
    enc->framerate = rate;
    enc->width = Fframe_width;
    enc->height = Fframe_height;
    st->sample_aspect_ratio = enc->sample_aspect_ratio =
        AspectToSar(Fframe_aspect_ratio, Fframe_width, Fframe_height);
    enc->pix_fmt = static_cast<AVPixelFormat>(Fframe_pix_fmt);
    if (codec && codec->pix_fmts) {
      bool listed = false;
      for (const AVPixelFormat *p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
        if (*p == enc->pix_fmt) listed = true;
      const bool mjpegKeeps =
          codec->id == AV_CODEC_ID_MJPEG && enc->strict_std_compliance < 0 &&
          (enc->pix_fmt == AV_PIX_FMT_YUV420P || enc->pix_fmt == AV_PIX_FMT_YUV422P);
      if (!listed && !mjpegKeeps) enc->pix_fmt = codec->pix_fmts[0];
    }
    if (Fintra_only) enc->gop_size = 0;
    if (Fvideo_qscale != 0 || Fsame_quality) {
      enc->flags |= AV_CODEC_FLAG_QSCALE;
      enc->global_quality = static_cast<int>(FF_QP2LAMBDA * Fvideo_qscale);
    }
    if (!Fintra_matrix.empty()) {
      enc->intra_matrix = static_cast<uint16_t *>(ff::util.av_mallocz(64 * sizeof(uint16_t)));
      if (enc->intra_matrix)
        std::memcpy(enc->intra_matrix, Fintra_matrix.data(), 64 * sizeof(uint16_t));
    }
    if (!Finter_matrix.empty()) {
      enc->inter_matrix = static_cast<uint16_t *>(ff::util.av_mallocz(64 * sizeof(uint16_t)));
      if (enc->inter_matrix)
        std::memcpy(enc->inter_matrix, Finter_matrix.data(), 64 * sizeof(uint16_t));
    }
    try {
      ParseRcOverride(enc, Fvideo_rc_override_string);
    } catch (...) {
      Fvideo_codec_name.clear();
      throw;
    }
    if (enc->rc_initial_buffer_occupancy == 0)
      enc->rc_initial_buffer_occupancy = enc->rc_buffer_size * 3 / 4;
    enc->intra_dc_precision = Fintra_dc_precision - 8;
    if (Fdo_psnr) enc->flags |= AV_CODEC_FLAG_PSNR;
    if (Fdo_pass == 1) enc->flags |= AV_CODEC_FLAG_PASS1;
    if (Fdo_pass == 2) enc->flags |= AV_CODEC_FLAG_PASS2;
  }
  if (!Fvideo_language.empty()) {
    ff::util.av_dict_set(&st->metadata, "language", Fvideo_language.c_str(), 0);
    Fvideo_language.clear();
  }
  Fvideo_disable = false;
  Fvideo_codec_name.clear();
  Fvideo_stream_copy = 0;
  Fframe_pix_fmt = -1;
}

void TCustomFFmpeg::new_audio_stream(TOutputFileSetup &AOut) {
  const AVOutputFormat *of = AOut.ctx->oformat;
  TOutputStreamSetup *sp = nullptr;
  try {
    sp = &NewStream(AOut, AVMEDIA_TYPE_AUDIO, Faudio_bitstream_filters, Faudio_codec_tag);
  } catch (...) {
    Faudio_codec_name.clear();
    Faudio_language.clear();
    throw;
  }
  TOutputStreamSetup &s = *sp;
  AVCodecContext *enc = s.enc;
  AVStream *st = AOut.ctx->streams[AOut.ctx->nb_streams - 1];
  AVCodecContext *genericAudio = FOptions.avcodec_opts[AVMEDIA_TYPE_AUDIO];
  if (of->flags & AVFMT_GLOBALHEADER) {
    enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (genericAudio) genericAudio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  if (Faudio_stream_copy) {
    s.stream_copy = true;
    ff::util.av_channel_layout_default(&enc->ch_layout, Faudio_channels);
    enc->sample_rate = Faudio_sample_rate;
  } else {
    if (genericAudio)
      FOptions.Apply(enc, genericAudio, AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    const AVCodec *codec = nullptr;
    AVCodecID id = AV_CODEC_ID_NONE;
    if (!Faudio_codec_name.empty()) {
      Faudio_codec_name = SubstituteEncoder(Faudio_codec_name, of);
      std::string err;
      if (!FindCodecByName(Faudio_codec_name, AVMEDIA_TYPE_AUDIO, true, enc->strict_std_compliance,
                           id, err)) {
        Faudio_codec_name.clear();
        throw FFmpegException(err);
      }
      codec = ff::codec.avcodec_find_encoder_by_name(Faudio_codec_name.c_str());
      s.codec = codec;
    } else {
      id = ff::format.av_guess_codec(of, nullptr, AOut.ctx->url, nullptr, AVMEDIA_TYPE_AUDIO);
      codec = ff::codec.avcodec_find_encoder(id);
    }
    enc->codec_id = id;
    if (Faudio_qscale > -99999.0f) {
      enc->flags |= AV_CODEC_FLAG_QSCALE;
      enc->global_quality = static_cast<int>(FF_QP2LAMBDA * Faudio_qscale);
    }
    enc->sample_fmt = static_cast<AVSampleFormat>(Faudio_sample_fmt);
    enc->sample_rate = Faudio_sample_rate;
    ff::util.av_channel_layout_uninit(&enc->ch_layout);
    if (Fchannel_layout &&
        __builtin_popcountll(static_cast<uint64_t>(Fchannel_layout)) == Faudio_channels)
      ff::util.av_channel_layout_from_mask(&enc->ch_layout, static_cast<uint64_t>(Fchannel_layout));
    else
      ff::util.av_channel_layout_default(&enc->ch_layout, Faudio_channels);
    if (codec && codec->sample_fmts) {
      bool listed = false;
      for (const AVSampleFormat *p = codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
        if (*p == enc->sample_fmt) listed = true;
      if (!listed) enc->sample_fmt = codec->sample_fmts[0];
    }
    if (codec && codec->supported_samplerates) {
      int best = 0, bestDiff = INT32_MAX;
      for (const int *p = codec->supported_samplerates; *p; ++p) {
        int diff = std::abs(*p - enc->sample_rate);
        if (diff < bestDiff) {
          bestDiff = diff;
          best = *p;
        }
      }
      if (best != enc->sample_rate) {
        EngineLogF(llWarning, "Requested sampling rate unsupported using closest supported (%d)",
                   best);
        enc->sample_rate = best;
      }
    }
  }
  enc->time_base = AVRational{1, Faudio_sample_rate > 0 ? Faudio_sample_rate : 1};
  if (!Faudio_language.empty()) {
    ff::util.av_dict_set(&st->metadata, "language", Faudio_language.c_str(), 0);
    Faudio_language.clear();
  }
  Faudio_disable = false;
  Faudio_codec_name.clear();
  Faudio_stream_copy = 0;
}

void TCustomFFmpeg::new_subtitle_stream(TOutputFileSetup &AOut) {
  TOutputStreamSetup *sp = nullptr;
  try {
    sp = &NewStream(AOut, AVMEDIA_TYPE_SUBTITLE, Fsubtitle_bitstream_filters, Fsubtitle_codec_tag);
  } catch (...) {
    Fsubtitle_codec_name.clear();
    Fsubtitle_language.clear();
    throw;
  }
  TOutputStreamSetup &s = *sp;
  AVStream *st = AOut.ctx->streams[AOut.ctx->nb_streams - 1];
  if (Fsubtitle_stream_copy) {
    s.stream_copy = true;
  } else {
    if (AVCodecContext *g = FOptions.avcodec_opts[AVMEDIA_TYPE_SUBTITLE])
      FOptions.Apply(s.enc, g, AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    AVCodecID id = AV_CODEC_ID_NONE;
    std::string err;
    if (!FindCodecByName(Fsubtitle_codec_name, AVMEDIA_TYPE_SUBTITLE, true,
                         s.enc->strict_std_compliance, id, err)) {
      Fsubtitle_codec_name.clear();
      throw FFmpegException(err);
    }
    s.enc->codec_id = id;
    if (!Fsubtitle_codec_name.empty())
      s.codec = ff::codec.avcodec_find_encoder_by_name(Fsubtitle_codec_name.c_str());
  }
  if (!Fsubtitle_language.empty()) {
    ff::util.av_dict_set(&st->metadata, "language", Fsubtitle_language.c_str(), 0);
    Fsubtitle_language.clear();
  }
  Fsubtitle_disable = false;
  Fsubtitle_codec_name.clear();
  Fsubtitle_stream_copy = 0;
}

int TCustomFFmpeg::OpenOutputFile(const std::string &AFileName, bool AJoin) {
  if (FJoinMode) {
    FLastErrMsg = "Cannot join more than one output file.";
    return -1;
  }
  if (Fnb_output_files >= FMaxFiles) {
    FLastErrMsg = Format("Too many output files (at most %d)", FMaxFiles);
    return -1;
  }
  FEnableFilter = !Fvfilters.empty();
  if (!OptionsAllocated()) (void)FOptions.Allocate(static_cast<int>(Fsws_flags));

  auto out = std::make_unique<TOutputFileSetup>();
  out->ctx = ff::format.avformat_alloc_context();
  if (!out->ctx) throw FFmpegException("avformat_alloc_context failed");
  bool appended = false;
  auto fail = [&](const std::string &AMsg) {
    FLastErrMsg = AMsg;
    if (appended) {
      Foutput_files.pop_back();
      --Fnb_output_files;
    }
    for (TOutputStreamSetup &s : out->streams) ff::codec.avcodec_free_context(&s.enc);
    if (out->io)
      out->ctx->pb = nullptr;
    else if (out->ctx->pb && !(out->ctx->oformat->flags & AVFMT_NOFILE))
      ff::format.avio_closep(&out->ctx->pb);
    ff::format.avformat_free_context(out->ctx);
    out->io.reset();
    return -1;
  };

  const AVOutputFormat *of = nullptr;
  if (!Flast_asked_format.empty()) {
    of = ff::format.av_guess_format(Flast_asked_format.c_str(), nullptr, nullptr);
    if (!of)
      return fail(Format("Requested output format '%s' is not a suitable output format",
                         Flast_asked_format.c_str()));
    Flast_asked_format.clear();
  } else {
    of = ff::format.av_guess_format(nullptr, AFileName.c_str(), nullptr);
    if (!of)
      return fail(Format("Unable to find a suitable output format for '%s'", AFileName.c_str()));
  }
  out->ctx->oformat = of;
  out->ctx->url = ff::util.av_strdup(AFileName.c_str());

  bool useVideo =
      of->video_codec != AV_CODEC_ID_NONE || Fvideo_stream_copy || !Fvideo_codec_name.empty();
  bool useAudio =
      of->audio_codec != AV_CODEC_ID_NONE || Faudio_stream_copy || !Faudio_codec_name.empty();
  bool useSubtitle = of->subtitle_codec != AV_CODEC_ID_NONE || Fsubtitle_stream_copy ||
                     !Fsubtitle_codec_name.empty();
  if (Fnb_input_files > 0) {
    bool hv = false, ha = false, hs = false;
    try {
      check_audio_video_sub_inputs(AJoin, hv, ha, hs);
    } catch (const std::exception &e) {
      return fail(Format("check_audio_video_sub_inputs fail: %s", e.what()));
    }
    useVideo = useVideo && hv;
    useAudio = useAudio && ha;
    useSubtitle = useSubtitle && hs;
  }
  if (Fvideo_disable) useVideo = false;
  if (Faudio_disable) useAudio = false;
  if (Fsubtitle_disable) useSubtitle = false;

  if (useVideo) try {
      new_video_stream(*out);
    } catch (const std::exception &e) {
      return fail(Format("new_video_stream fail: %s", e.what()));
    }
  if (useAudio) try {
      new_audio_stream(*out);
    } catch (const std::exception &e) {
      return fail(Format("new_audio_stream fail: %s", e.what()));
    }
  if (useSubtitle) try {
      new_subtitle_stream(*out);
    } catch (const std::exception &e) {
      return fail(Format("new_subtitle_stream fail: %s", e.what()));
    }

  if (Frecording_timestamp)
    ff::util.av_dict_set_int(&out->ctx->metadata, "creation_time", Frecording_timestamp, 0);
  // Last entry first, so that for a repeated key the first given one is written last.
  for (auto it = Fmetadata.rbegin(); it != Fmetadata.rend(); ++it)
    ff::util.av_dict_set(&out->ctx->metadata, it->first.c_str(), it->second.c_str(), 0);
  Fmetadata.clear();

  Foutput_files.push_back(out.get());
  ++Fnb_output_files;
  appended = true;

  if ((of->flags & AVFMT_NEEDNUMBER) && !ff::format.av_filename_number_test(AFileName.c_str()))
    return fail(ErrorToStr(AFileName, -33));
  if (!(of->flags & AVFMT_NOFILE) && CustomIOOpener) out->io = CustomIOOpener(AFileName, true);
  if (out->io) {
    out->ctx->pb = out->io->Context();
  } else if (!(of->flags & AVFMT_NOFILE)) {
    // Opening for writing truncates: never let an output overwrite one of the inputs.
    struct stat outStat {};
    if (::stat(AFileName.c_str(), &outStat) == 0)
      for (int i = 0; i < Fnb_input_files; ++i) {
        struct stat inStat {};
        const char *url = Finput_files[i].ctx->url;
        if (url && ::stat(url, &inStat) == 0 && inStat.st_dev == outStat.st_dev &&
            inStat.st_ino == outStat.st_ino)
          return fail(Format("%s: the output file is input file #%d", AFileName.c_str(), i));
      }
    int ret =
        ff::format.avio_open2(&out->ctx->pb, AFileName.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr);
    if (ret < 0) return fail(ErrorToStr(AFileName, ret));
  }
  out->ctx->max_delay = static_cast<int>(Fmux_max_delay * 1000000);
  // Preload and the output loop are muxer options of this generation.
  if (Floop_output >= 0 && out->ctx->priv_data)
    ff::util.av_opt_set_int(out->ctx->priv_data, "loop", Floop_output, 0);
  out->ctx->flags |= AVFMT_FLAG_NONBLOCK;
  FOptions.Apply(out->ctx, FOptions.avformat_opts, AV_OPT_FLAG_ENCODING_PARAM);
  for (int &id : Fstreamid_map) id = 0;

  TOutputFileSetup *raw = out.get();
  FOwnedOutputs.push_back(std::move(out));
  if (AJoin && Fnb_input_files > 1) {
    FJoinMode = true;
    int64_t sum = 0;
    for (const TInputFileSetup &in : Finput_files)
      if (in.ctx->duration != AV_NOPTS_VALUE && in.ctx->duration > 0) sum += in.ctx->duration;
    FTotalOutputDuration = sum == 0 ? -1 : sum;
    while (Fnb_output_files < Fnb_input_files) {
      Foutput_files.push_back(raw);
      ++Fnb_output_files;
    }
  }
  return Fnb_output_files;
}

void TCustomFFmpeg::ReleaseOutputs() {
  for (std::unique_ptr<TOutputFileSetup> &out : FOwnedOutputs) {
    AVFormatContext *oc = out->ctx;
    std::string name = oc->url ? oc->url : "";
    const bool hasFile = !(oc->oformat->flags & AVFMT_NOFILE) && !out->io;
    if (out->io) {
      if (oc->pb) ff::format.avio_flush(oc->pb);
      oc->pb = nullptr;
    } else if (hasFile && oc->pb) {
      ff::format.avio_closep(&oc->pb);
    }
    for (TOutputStreamSetup &s : out->streams) ff::codec.avcodec_free_context(&s.enc);
    ff::format.avformat_free_context(oc);
    out->ctx = nullptr;
    out->io.reset();
    struct stat sb {};
    if (hasFile && !name.empty() && ::stat(name.c_str(), &sb) == 0 && S_ISREG(sb.st_mode) &&
        sb.st_size == 0)
      ::unlink(name.c_str());
  }
  FOwnedOutputs.clear();
  Foutput_files.clear();
  Fnb_output_files = 0;
}
