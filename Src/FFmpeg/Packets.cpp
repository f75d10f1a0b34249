// Packet processing: the input stream clock, decoding, stream copy with its time-stamp
// rules, the bitstream-filter chain and the interleaving writer, encoder draining.
#include <thread>

#include "../FFmpegLoader/AVPtr.h"
#include "../FFmpegLoader/FFmpegLoader.h"
#include "FFmpeg.h"

using namespace engine;

namespace {
constexpr AVRational kMicro{1, AV_TIME_BASE};

// Duration of one packet of a stream copied without decoding, in µs; 0 when unknown.
int64_t CopiedPacketDurationUs(const TAVInputStream &AIst, const AVPacket *APkt) {
  const AVCodecParameters *par = AIst.st->codecpar;
  if (APkt && APkt->duration > 0)
    return ff::util.av_rescale_q(APkt->duration, AIst.st->time_base, kMicro);
  if (par->codec_type == AVMEDIA_TYPE_AUDIO && par->frame_size > 0 && par->sample_rate > 0)
    return static_cast<int64_t>(AV_TIME_BASE) * par->frame_size / par->sample_rate;
  if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
    AVRational fr = AIst.st->avg_frame_rate.num ? AIst.st->avg_frame_rate : AIst.st->r_frame_rate;
    if (fr.num > 0 && fr.den > 0)
      return ff::util.av_rescale_q(1, AVRational{fr.den, fr.num}, kMicro);
  }
  return 0;
}
}  // namespace

int TCustomFFmpeg::ProcessInputPacket(TAVInputStream &AIst, int AIstIndex, const AVPacket *APkt,
                                      bool ADrainEncoders) {
  if (AIst.next_pts == AV_NOPTS_VALUE) AIst.next_pts = AIst.pts;
  if (APkt && APkt->dts != AV_NOPTS_VALUE)
    AIst.next_pts = AIst.pts = ff::util.av_rescale_q(APkt->dts, AIst.st->time_base, kMicro);

  if (AIst.decoding_needed) {
    const AVMediaType type = AIst.st->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_SUBTITLE) {
      if (APkt) {
        int got = 0;
        AVSubtitle sub{};
        int ret =
            ff::codec.avcodec_decode_subtitle2(AIst.dec, &sub, &got, const_cast<AVPacket *>(APkt));
        if (ret < 0) return -1;
        if (got) {
          DispatchDecoded(AIst, nullptr, &sub, true);
          ff::codec.avsubtitle_free(&sub);
        }
      }
    } else if (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO) {
      // A flushed decoder (join mode) has already seen its end.
      if (APkt || !AIst.decoder_flushed) {
        int ret = ff::codec.avcodec_send_packet(AIst.dec, APkt);
        if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) return -1;
        for (;;) {
          ret = ff::codec.avcodec_receive_frame(AIst.dec, AIst.decoded_frame);
          if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
          if (ret < 0) return -1;
          AVFrame *f = AIst.decoded_frame;
          AIst.pts = AIst.next_pts;
          int64_t ts = f->best_effort_timestamp;
          if (ts != AV_NOPTS_VALUE)
            AIst.pts = ff::util.av_rescale_q(ts, AIst.st->time_base, kMicro);
          if (type == AVMEDIA_TYPE_AUDIO && f->sample_rate > 0)
            AIst.next_pts =
                AIst.pts + static_cast<int64_t>(AV_TIME_BASE) * f->nb_samples / f->sample_rate;
          else if (f->pkt_duration > 0)
            AIst.next_pts =
                AIst.pts + ff::util.av_rescale_q(f->pkt_duration, AIst.st->time_base, kMicro);
          else
            AIst.next_pts = AIst.pts + CopiedPacketDurationUs(AIst, nullptr);
          DispatchDecoded(AIst, f, nullptr, false);
          ff::util.av_frame_unref(f);
        }
      }
    } else {
      return -1;
    }
  } else if (APkt) {
    AIst.pts = AIst.next_pts;
    AIst.next_pts += CopiedPacketDurationUs(AIst, APkt);
  }

  if (APkt && Frate_emu) {
    int64_t elapsed = ff::util.av_gettime() - AIst.start;
    if (AIst.pts - elapsed > 1000)
      std::this_thread::sleep_for(std::chrono::milliseconds((AIst.pts - elapsed) / 1000));
  }

  if (APkt && (Fstart_time == 0 || AIst.pts >= Fstart_time)) {
    for (TAVOutputStream &ost : Fost_table)
      if (ost.source_index == AIstIndex && !ost.encoding_needed) StreamCopy(ost, AIst, APkt);
  }
  if (!APkt && ADrainEncoders) {
    FlushVideoFilter(AIst);
    DrainEncoders(AIst);
  }
  return 0;
}

void TCustomFFmpeg::DispatchDecoded(TAVInputStream &AIst, AVFrame *AFrame, AVSubtitle *ASub,
                                    bool AIsSubtitle) {
  if (Fstart_time != 0 && AIst.pts < Fstart_time) return;
  if (AFrame && AIst.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
    return DispatchPicture(AIst, AFrame);
  if (AFrame && AIst.st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) ApplyVolume(AFrame);
  const int index = static_cast<int>(&AIst - Fist_table.data());
  for (TAVOutputStream &ost : Fost_table) {
    if (ost.source_index != index || !ost.encoding_needed) continue;
    switch (ost.enc->codec_type) {
      case AVMEDIA_TYPE_AUDIO:
        if (AFrame) do_audio_out(ost, AIst, AFrame);
        break;
      case AVMEDIA_TYPE_VIDEO:
        if (AFrame) do_video_out(ost, AIst, AFrame);
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (AIsSubtitle) do_subtitle_out(ost, AIst, ASub, AIst.pts);
        break;
      default:
        throw FFmpegException("invalid codec_type");
    }
  }
}

void TCustomFFmpeg::DrainEncoders(TAVInputStream &AIst) {
  const int index = static_cast<int>(&AIst - Fist_table.data());
  for (TAVOutputStream &ost : Fost_table) {
    if (ost.source_index != index || !ost.encoding_needed) continue;
    if (FJoinMode && ost.file_index > 0) continue;  // the first set owns the encoders
    if (ost.enc->codec_type == AVMEDIA_TYPE_SUBTITLE) continue;
    FlushEncoder(ost);
  }
}

void TCustomFFmpeg::StreamCopy(TAVOutputStream &AOst, TAVInputStream &AIst, const AVPacket *APkt) {
  const AVRational otb = AOst.st->time_base;
  const int64_t start = ff::util.av_rescale_q(Fstart_time, kMicro, otb);
  if (AOst.frame_number == 0 && !(APkt->flags & AV_PKT_FLAG_KEY) && !Fcopy_initial_nonkeyframes)
    return;
  const AVMediaType type = AOst.st->codecpar->codec_type;
  if (type == AVMEDIA_TYPE_AUDIO) {
    Faudio_size += APkt->size;
  } else if (type == AVMEDIA_TYPE_VIDEO) {
    Fvideo_size += APkt->size;
    AOst.sync_opts++;
  }
  ff::PacketPtr opkt(ff::codec.av_packet_alloc());
  if (!opkt || ff::codec.av_packet_ref(opkt.get(), APkt) < 0)
    throw FFmpegException("av_mallocz fail");
  opkt->stream_index = AOst.st->index;
  opkt->pts = APkt->pts != AV_NOPTS_VALUE
                  ? ff::util.av_rescale_q(APkt->pts, AIst.st->time_base, otb) - start
                  : AV_NOPTS_VALUE;
  opkt->dts = APkt->dts == AV_NOPTS_VALUE
                  ? ff::util.av_rescale_q(AIst.pts, kMicro, otb)
                  : ff::util.av_rescale_q(APkt->dts, AIst.st->time_base, otb);
  opkt->dts -= start;
  opkt->duration = ff::util.av_rescale_q(APkt->duration, AIst.st->time_base, otb);
  opkt->time_base = otb;
  WriteOutputPacket(Foutput_files[AOst.file_index]->ctx, opkt.get(), AOst);
  AOst.frame_number++;
}

void TCustomFFmpeg::WriteOutputPacket(AVFormatContext *ACtx, AVPacket *APkt,
                                      TAVOutputStream &AOst) {
  // In join mode the first set's records own the filter chain.
  TAVOutputStream &owner = FJoinMode ? Fost_table[AOst.index] : AOst;
  std::vector<ff::PacketPtr> pending;
  {
    ff::PacketPtr p(ff::codec.av_packet_alloc());
    if (!p) throw FFmpegException("av_mallocz fail");
    ff::codec.av_packet_move_ref(p.get(), APkt);
    pending.push_back(std::move(p));
  }
  for (AVBSFContext *bsf : owner.bsfs) {
    std::vector<ff::PacketPtr> next;
    for (ff::PacketPtr &p : pending) {
      const int64_t pts = p->pts, dts = p->dts, duration = p->duration;
      const int flags = p->flags;
      int ret = ff::codec.av_bsf_send_packet(bsf, p.get());
      while (ret >= 0) {
        ff::PacketPtr o(ff::codec.av_packet_alloc());
        ret = ff::codec.av_bsf_receive_packet(bsf, o.get());
        if (ret < 0) break;
        next.push_back(std::move(o));
      }
      if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) {
        std::string msg = ErrorToStr(
            Format("%s failed for stream %d, codec %s", bsf->filter->name, AOst.st->index,
                   AOst.encoding_needed && AOst.enc->codec ? AOst.enc->codec->name : "copy"),
            ret);
        if (Fexit_on_error) throw FFmpegException(msg);
        EngineLog(llError, msg);
        // The packet continues unfiltered.
        if (p->data == nullptr) continue;
        ff::PacketPtr keep(ff::codec.av_packet_alloc());
        ff::codec.av_packet_move_ref(keep.get(), p.get());
        keep->pts = pts;
        keep->dts = dts;
        keep->duration = duration;
        keep->flags = flags;
        next.push_back(std::move(keep));
      }
    }
    pending = std::move(next);
  }
  for (ff::PacketPtr &p : pending) {
    p->stream_index = AOst.st->index;
    // The muxer refuses decreasing decoding times; keep them strictly increasing.
    const int64_t minimum =
        owner.last_mux_dts == AV_NOPTS_VALUE
            ? AV_NOPTS_VALUE
            : owner.last_mux_dts + ((ACtx->oformat->flags & AVFMT_TS_NONSTRICT) ? 0 : 1);
    if (p->dts != AV_NOPTS_VALUE && minimum != AV_NOPTS_VALUE && p->dts < minimum) {
      const int64_t fixed = minimum;
      if (p->pts != AV_NOPTS_VALUE && p->pts < fixed) p->pts = fixed;
      p->dts = fixed;
    }
    if (p->dts != AV_NOPTS_VALUE) {
      owner.last_mux_dts = p->dts;
      owner.last_mux_duration = p->duration;
    }
    int ret = ff::format.av_interleaved_write_frame(ACtx, p.get());
    if (ret < 0) throw FFmpegException(ErrorToStr("av_interleaved_write_frame()", ret));
  }
}

void TCustomFFmpeg::do_subtitle_out(TAVOutputStream &AOst, TAVInputStream &AIst, AVSubtitle *ASub,
                                    int64_t APts) {
  if (APts == AV_NOPTS_VALUE) {
    if (Fexit_on_error) throw FFmpegException("Subtitle packets must have a pts");
    EngineLog(llError, "Subtitle packets must have a pts");
    return;
  }
  if (!AOst.enc->codec) throw FFmpegException("Subtitle encoding failed");
  if (Fsubtitle_out.empty()) Fsubtitle_out.resize(1024 * 1024);
  const int times = AOst.enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE ? 2 : 1;
  for (int i = 0; i < times; ++i) {
    ASub->pts = APts + ff::util.av_rescale_q(ASub->start_display_time, AVRational{1, 1000}, kMicro);
    ASub->end_display_time -= ASub->start_display_time;
    ASub->start_display_time = 0;
    if (i == 1) ASub->num_rects = 0;
    int size = ff::codec.avcodec_encode_subtitle(AOst.enc, Fsubtitle_out.data(),
                                                 static_cast<int>(Fsubtitle_out.size()), ASub);
    if (size < 0) throw FFmpegException("Subtitle encoding failed");
    ff::PacketPtr pkt(ff::codec.av_packet_alloc());
    if (!pkt || ff::codec.av_new_packet(pkt.get(), size) < 0)
      throw FFmpegException("av_mallocz fail");
    std::copy(Fsubtitle_out.begin(), Fsubtitle_out.begin() + size, pkt->data);
    pkt->pts = ff::util.av_rescale_q(ASub->pts, kMicro, AOst.st->time_base);
    if (AOst.enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE)
      pkt->pts +=
          90 * static_cast<int64_t>(i == 0 ? ASub->start_display_time : ASub->end_display_time);
    pkt->dts = pkt->pts;
    WriteOutputPacket(Foutput_files[AOst.file_index]->ctx, pkt.get(), AOst);
  }
}
