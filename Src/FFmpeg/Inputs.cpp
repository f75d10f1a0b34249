// Opening input files: forced format and decoders, program selection, probing, start
// seek, and the write-back of the input's properties into the pending settings.
#include <cmath>

#include "../FFmpegLoader/AVPtr.h"
#include "../FFmpegLoader/FFmpegLoader.h"
#include "FFmpeg.h"

using namespace engine;

int TCustomFFmpeg::InterruptCallback(void *AOpaque) {
  return static_cast<TCustomFFmpeg *>(AOpaque)->FBroken.load() ? 1 : 0;
}

bool TCustomFFmpeg::OpenInputFile(const std::string &AFileName) {
  if (Fnb_input_files >= FMaxFiles) {
    FLastErrMsg = Format("Too many input files (at most %d)", FMaxFiles);
    return false;
  }
  const AVInputFormat *fmt = nullptr;
  if (!Flast_asked_format.empty()) {
    fmt = ff::format.av_find_input_format(Flast_asked_format.c_str());
    if (!fmt)
      throw FFmpegException(Format("Unknown input format: \"%s\"", Flast_asked_format.c_str()));
    Flast_asked_format.clear();
  }
  // Declared before the container: whatever path frees the container, this goes after.
  std::shared_ptr<TCustomIO> io = CustomIOOpener ? CustomIOOpener(AFileName, false) : nullptr;
  AVFormatContext *ic = ff::format.avformat_alloc_context();
  if (!ic) throw FFmpegException("avformat_alloc_context failed");
  if (io) ic->pb = io->Context();
  bool opened = false;
  auto fail = [&](const std::string &AMsg) {
    FLastErrMsg = AMsg;
    Fvideo_codec_name.clear();
    Faudio_codec_name.clear();
    Fsubtitle_codec_name.clear();
    Fvideo_channel = 0;
    if (opened)
      ff::format.avformat_close_input(&ic);
    else
      ff::format.avformat_free_context(ic);
    return false;
  };

  // What older demuxers took as format parameters are demuxer options today; they
  // matter only to formats without a file header (raw and capture formats).
  AVDictionary *opts = nullptr;
  ff::util.av_dict_set_int(&opts, "sample_rate", Faudio_sample_rate, 0);
  ff::util.av_dict_set_int(&opts, "channels", Faudio_channels, 0);
  if (Fframe_rate.num > 0 && Fframe_rate.den > 0)
    ff::util.av_dict_set(&opts, "framerate",
                         Format("%d/%d", Fframe_rate.num, Fframe_rate.den).c_str(), 0);
  if (Fframe_width > 0 && Fframe_height > 0)
    ff::util.av_dict_set(&opts, "video_size", Format("%dx%d", Fframe_width, Fframe_height).c_str(),
                         0);
  if (Fframe_pix_fmt >= 0)
    ff::util.av_dict_set(&opts, "pixel_format",
                         ff::util.av_get_pix_fmt_name(static_cast<AVPixelFormat>(Fframe_pix_fmt)),
                         0);
  if (Fvideo_channel) ff::util.av_dict_set_int(&opts, "channel", Fvideo_channel, 0);
  if (!Fvideo_standard.empty()) ff::util.av_dict_set(&opts, "standard", Fvideo_standard.c_str(), 0);
  ff::DictPtr optsOwner(nullptr);

  if (!OptionsAllocated()) (void)FOptions.Allocate(static_cast<int>(Fsws_flags));
  FOptions.Apply(ic, FOptions.avformat_opts, AV_OPT_FLAG_DECODING_PARAM);

  AVCodecID ids[3] = {};
  const std::string *names[3] = {&Fvideo_codec_name, &Faudio_codec_name, &Fsubtitle_codec_name};
  const AVMediaType types[3] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO, AVMEDIA_TYPE_SUBTITLE};
  for (int i = 0; i < 3; ++i) {
    std::string err;
    int strict = FOptions.avcodec_opts[types[i]]
                     ? FOptions.avcodec_opts[types[i]]->strict_std_compliance
                     : 0;
    if (!FindCodecByName(*names[i], types[i], false, strict, ids[i], err)) {
      ff::util.av_dict_free(&opts);
      return fail(err);
    }
  }
  ic->video_codec_id = ids[0];
  ic->audio_codec_id = ids[1];
  ic->subtitle_codec_id = ids[2];
  ic->flags |= AVFMT_FLAG_NONBLOCK;
  if (Fpgmyuv_compatibility_hack) ic->video_codec_id = AV_CODEC_ID_PGMYUV;
  ic->interrupt_callback.callback = &TCustomFFmpeg::InterruptCallback;
  ic->interrupt_callback.opaque = this;

  int ret = ff::format.avformat_open_input(&ic, AFileName.c_str(), fmt, &opts);
  ff::util.av_dict_free(&opts);
  if (ret < 0) {
    ic = nullptr;  // freed by the library on failure
    FLastErrMsg = ErrorToStr(AFileName, ret);
    Fvideo_codec_name.clear();
    Faudio_codec_name.clear();
    Fsubtitle_codec_name.clear();
    Fvideo_channel = 0;
    return false;
  }
  opened = true;

  if (Fopt_programid) {
    for (unsigned i = 0; i < ic->nb_streams; ++i) ic->streams[i]->discard = AVDISCARD_ALL;
    bool found = false;
    for (unsigned p = 0; p < ic->nb_programs; ++p) {
      AVProgram *prog = ic->programs[p];
      if (prog->id != Fopt_programid) continue;
      found = true;
      for (unsigned j = 0; j < prog->nb_stream_indexes; ++j)
        ic->streams[prog->stream_index[j]]->discard = AVDISCARD_NONE;
    }
    if (!found) return fail("Specified program id not found");
    Fopt_programid = 0;
  }

  {
    std::lock_guard<std::mutex> g(CodecLock());
    ret = ff::format.avformat_find_stream_info(ic, nullptr);
  }
  if (ret < 0 && Fverbose >= 0) {
    std::string msg = Format("%s: could not find codec parameters", AFileName.c_str());
    EngineLog(llVerbose, msg);
    return fail(msg);
  }

  int64_t timestamp = Fstart_time;
  if (ic->start_time != AV_NOPTS_VALUE) timestamp += ic->start_time;
  if (Fstart_time != 0) {
    if (ff::format.av_seek_frame(ic, -1, timestamp, AVSEEK_FLAG_BACKWARD) < 0 && Fverbose > 0)
      EngineLogF(llVerbose, "%s: could not seek to position %0.3f", AFileName.c_str(),
                 timestamp / 1000000.0);
    Fstart_time = 0;
  }

  TInputFileSetup in;
  in.ctx = ic;
  in.io = io;
  for (unsigned i = 0; i < ic->nb_streams; ++i) {
    AVStream *st = ic->streams[i];
    AVCodecContext *dec = ff::codec.avcodec_alloc_context3(nullptr);
    if (!dec || ff::codec.avcodec_parameters_to_context(dec, st->codecpar) < 0) {
      if (dec) ff::codec.avcodec_free_context(&dec);
      for (AVCodecContext *d : in.decoders) ff::codec.avcodec_free_context(&d);
      return fail("av_mallocz fail");
    }
    dec->pkt_timebase = st->time_base;
    dec->thread_count = Fthread_count;
    in.decoders.push_back(dec);
    switch (st->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO: {
        FOptions.Apply(dec, FOptions.avcodec_opts[AVMEDIA_TYPE_VIDEO],
                       AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
        Fframe_height = dec->height;
        Fframe_width = dec->width;
        AVRational sar =
            st->sample_aspect_ratio.num ? st->sample_aspect_ratio : dec->sample_aspect_ratio;
        if (dec->width * dec->height != 0) {
          double ratio = (sar.num && sar.den) ? static_cast<double>(sar.num) / sar.den : 0.0;
          Fframe_aspect_ratio = ratio != 0 ? static_cast<float>(dec->width * ratio / dec->height)
                                           : static_cast<float>(dec->width) / dec->height;
        } else if (sar.num == 0) {
          Fframe_aspect_ratio = 4.0f / 3.0f;
        }
        if (dec->pix_fmt == AV_PIX_FMT_NONE) dec->pix_fmt = AV_PIX_FMT_YUV420P;
        Fframe_pix_fmt = dec->pix_fmt;
        if (Fme_threshold) dec->debug |= 32;
        Fframe_rate = st->r_frame_rate;
        Finput_codecs.push_back(Fvideo_codec_name.empty() ? nullptr
                                                          : ff::codec.avcodec_find_decoder_by_name(
                                                                Fvideo_codec_name.c_str()));
        if (Fvideo_disable)
          st->discard = AVDISCARD_ALL;
        else if (Fvideo_discard)
          st->discard = static_cast<AVDiscard>(Fvideo_discard);
        break;
      }
      case AVMEDIA_TYPE_AUDIO:
        FOptions.Apply(dec, FOptions.avcodec_opts[AVMEDIA_TYPE_AUDIO],
                       AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
        Fchannel_layout = dec->ch_layout.order == AV_CHANNEL_ORDER_NATIVE
                              ? static_cast<int64_t>(dec->ch_layout.u.mask)
                              : 0;
        Faudio_channels = dec->ch_layout.nb_channels;
        Faudio_sample_rate = dec->sample_rate;
        Faudio_sample_fmt = dec->sample_fmt;
        Finput_codecs.push_back(Faudio_codec_name.empty() ? nullptr
                                                          : ff::codec.avcodec_find_decoder_by_name(
                                                                Faudio_codec_name.c_str()));
        if (Faudio_disable) st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        Finput_codecs.push_back(
            Fsubtitle_codec_name.empty()
                ? nullptr
                : ff::codec.avcodec_find_decoder_by_name(Fsubtitle_codec_name.c_str()));
        if (Fsubtitle_disable) st->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_DATA:
      case AVMEDIA_TYPE_ATTACHMENT:
      case AVMEDIA_TYPE_UNKNOWN:
        Finput_codecs.push_back(nullptr);
        break;
      default:
        for (AVCodecContext *d : in.decoders) ff::codec.avcodec_free_context(&d);
        ff::format.avformat_close_input(&ic);
        throw FFmpegException("invalid codec_type");
    }
  }

  if (ic->duration != AV_NOPTS_VALUE && ic->duration > FTotalOutputDuration)
    FTotalOutputDuration = ic->duration;

  Finput_files.push_back(std::move(in));
  Finput_files_ts_offset.push_back(Fcopy_ts ? Finput_ts_offset : Finput_ts_offset - timestamp);
  Finput_files_ts_scale.push_back(Fpending_ts_scale);
  Fpending_ts_scale.fill(0);
  if (Fverbose >= 0) ff::format.av_dump_format(ic, Fnb_input_files, AFileName.c_str(), 0);
  ++Fnb_input_files;
  Fvideo_channel = 0;
  Fvideo_codec_name.clear();
  Faudio_codec_name.clear();
  Fsubtitle_codec_name.clear();
  return true;
}

void TCustomFFmpeg::ReleaseInputs() {
  for (TInputFileSetup &in : Finput_files) {
    for (AVCodecContext *&d : in.decoders) ff::codec.avcodec_free_context(&d);
    if (in.ctx) ff::format.avformat_close_input(&in.ctx);
    in.io.reset();
  }
  Finput_files.clear();
  Finput_files_ts_offset.clear();
  Finput_files_ts_scale.clear();
  Finput_codecs.clear();
  Fnb_input_files = 0;
}
