// Run set-up: input and output stream tables, map validation, codec parameters for
// copy and encode, codec opening under the codec lock, headers and the mapping report.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "../FFmpegLoader/FFmpegLoader.h"
#include "FFmpeg.h"

using namespace engine;

void TCustomFFmpeg::BuildInputTables() {
  Ffile_table.assign(Fnb_input_files, TAVInputFile{});
  Fist_table.clear();
  int total = 0;
  for (int i = 0; i < Fnb_input_files; ++i)
    total += static_cast<int>(Finput_files[i].ctx->nb_streams);
  Fist_table.reserve(total);
  int running = 0;
  for (int i = 0; i < Fnb_input_files; ++i) {
    AVFormatContext *ic = Finput_files[i].ctx;
    Ffile_table[i].ist_index = running;
    Ffile_table[i].nb_streams = static_cast<int>(ic->nb_streams);
    running += static_cast<int>(ic->nb_streams);
    for (unsigned k = 0; k < ic->nb_streams; ++k) {
      Fist_table.emplace_back();
      TAVInputStream &ist = Fist_table.back();
      ist.st = ic->streams[k];
      ist.dec = Finput_files[i].decoders[k];
      ist.file_index = i;
      ist.index = static_cast<int>(k);
      ist.discard = 1;
      ist.decoded_frame = ff::util.av_frame_alloc();
      if (!ist.decoded_frame) throw FFmpegException("av_mallocz fail");
      if (Frate_emu) ist.start = ff::util.av_gettime();
    }
  }
}

void TCustomFFmpeg::BuildOutputTables() {
  int total = 0;
  for (int k = 0; k < Fnb_output_files; ++k) {
    AVFormatContext *oc = Foutput_files[k]->ctx;
    if (oc->nb_streams == 0) {
      ff::format.av_dump_format(oc, k, oc->url, 1);
      throw FFmpegException(Format("Output file #%d does not contain any stream", k));
    }
    if (k == 0) Fjoin_set_size = static_cast<int>(oc->nb_streams);
    total += static_cast<int>(oc->nb_streams);
  }
  const int nbMaps = static_cast<int>(Fstream_maps.size());
  if (nbMaps > 0 && nbMaps != total)
    throw FFmpegException("Number of stream maps must match number of output streams");
  for (const TAVStreamMap &m : Fstream_maps) {
    if (m.file_index < 0 || m.file_index >= Fnb_input_files || m.stream_index < 0 ||
        m.stream_index >= Ffile_table[m.file_index].nb_streams)
      throw FFmpegException(
          Format("Could not find input stream #%d.%d", m.file_index, m.stream_index));
    if (m.sync_file_index < 0 || m.sync_file_index >= Fnb_input_files || m.sync_stream_index < 0 ||
        m.sync_stream_index >= Ffile_table[m.sync_file_index].nb_streams)
      throw FFmpegException(
          Format("Could not find sync stream #%d.%d", m.sync_file_index, m.sync_stream_index));
  }

  Fost_table.clear();
  Fost_table.reserve(total);
  int n = 0;
  for (int k = 0; k < Fnb_output_files; ++k) {
    TOutputFileSetup &out = *Foutput_files[k];
    AVFormatContext *oc = out.ctx;
    for (unsigned i = 0; i < oc->nb_streams; ++i, ++n) {
      Fost_table.emplace_back();
      TAVOutputStream &ost = Fost_table.back();
      ost.file_index = k;
      ost.index = static_cast<int>(i);
      ost.st = oc->streams[i];
      ost.enc = out.streams[i].enc;
      const AVMediaType type = ost.enc->codec_type;
      if (nbMaps > 0) {
        const TAVStreamMap &m = Fstream_maps[n];
        ost.source_index = Ffile_table[m.file_index].ist_index + m.stream_index;
        TAVInputStream &src = Fist_table[ost.source_index];
        if (src.st->codecpar->codec_type != type) {
          ff::format.av_dump_format(oc, k, oc->url, 1);
          throw FFmpegException(Format("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)",
                                       m.file_index, m.stream_index,
                                       MediaTypeToStr(src.st->codecpar->codec_type).c_str(), k, i,
                                       MediaTypeToStr(type).c_str()));
        }
        ost.sync_ist = &Fist_table[Ffile_table[m.sync_file_index].ist_index + m.sync_stream_index];
      } else {
        int best = -1;
        int64_t bestFrames = -1;
        for (int j = 0; j < static_cast<int>(Fist_table.size()); ++j) {
          TAVInputStream &ist = Fist_table[j];
          if (ist.discard && ist.st->discard != AVDISCARD_ALL &&
              ist.st->codecpar->codec_type == type && (!FJoinMode || ist.file_index == k)) {
            // A program chosen at opening left only its own streams undiscarded.
            // The probe's frame count is private today; the container's frame count stands in.
            int64_t frames = ist.st->nb_frames;
            if (frames > bestFrames) {
              bestFrames = frames;
              best = j;
            }
          }
        }
        if (best < 0 && !FJoinMode)
          for (int j = 0; j < static_cast<int>(Fist_table.size()); ++j)
            if (Fist_table[j].st->codecpar->codec_type == type &&
                Fist_table[j].st->discard != AVDISCARD_ALL)
              best = j;
        if (best < 0) {
          ff::format.av_dump_format(oc, k, oc->url, 1);
          throw FFmpegException(
              Format("Could not find input stream matching output stream #%d.%d (%s)", k, i,
                     MediaTypeToStr(type).c_str()));
        }
        ost.source_index = best;
        ost.sync_ist = &Fist_table[best];
      }
      Fist_table[ost.source_index].discard = 0;
      ost.show_fps = 1;
    }
  }

  n = 0;
  for (TAVOutputStream &ost : Fost_table) {
    TAVInputStream &ist = Fist_table[ost.source_index];
    const TOutputStreamSetup &setup = Foutput_files[ost.file_index]->streams[ost.index];
    // In join mode the later sets repeat the first set's streams.
    const bool repeated = FJoinMode && ost.file_index > 0;
    if (!repeated) {
      ff::util.av_dict_copy(&ost.st->metadata, ist.st->metadata, AV_DICT_DONT_OVERWRITE);
      ost.st->disposition = ist.st->disposition;
      if (setup.stream_copy)
        CopyParameters(ost, ist);
      else
        EncodingParameters(ost, ist, n);
    } else {
      const TAVOutputStream &first = Fost_table[ost.index];
      ost.encoding_needed = first.encoding_needed;
      if (ost.encoding_needed) ist.decoding_needed = 1;
    }
    if (ost.enc->codec_type == AVMEDIA_TYPE_VIDEO)
      Fbit_buffer_size = std::max(Fbit_buffer_size, 6 * ost.enc->width * ost.enc->height + 200);
    ++n;
  }
}

void TCustomFFmpeg::CopyParameters(TAVOutputStream &AOst, TAVInputStream &AIst) {
  const AVCodecParameters *ipar = AIst.st->codecpar;
  AVCodecParameters *opar = AOst.st->codecpar;
  const AVOutputFormat *of = Foutput_files[AOst.file_index]->ctx->oformat;
  if (static_cast<int64_t>(ipar->extradata_size) + AV_INPUT_BUFFER_PADDING_SIZE > INT32_MAX)
    throw FFmpegException("icodec.extradata_size is invalid (too large)");
  switch (ipar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
      if (FHasCustomHook)
        throw FFmpegException(
            "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
      if (Fusing_vhook)
        throw FFmpegException("-vcodec copy and -vhook are incompatible (frames are not decoded)");
      if (FHasPostHooks)
        throw FFmpegException(
            "-vcodec copy and PostHooks are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_AUDIO:
      if (Faudio_volume != 256)
        throw FFmpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_SUBTITLE:
    case AVMEDIA_TYPE_DATA:
    case AVMEDIA_TYPE_ATTACHMENT:
      break;
    default:
      throw FFmpegException("invalid codec_type of output stream");
  }
  const uint32_t forcedTag = AOst.enc->codec_tag;
  const AVRational sar = AOst.enc->sample_aspect_ratio;
  if (ff::codec.avcodec_parameters_copy(opar, ipar) < 0) throw FFmpegException("av_mallocz fail");
  uint32_t tag = forcedTag;
  if (!tag) {
    unsigned int tmp = 0;
    if (!of->codec_tag ||
        ff::format.av_codec_get_id(of->codec_tag, ipar->codec_tag) == ipar->codec_id ||
        !ff::format.av_codec_get_tag2(of->codec_tag, ipar->codec_id, &tmp))
      tag = ipar->codec_tag;
  }
  opar->codec_tag = tag;
  AOst.st->time_base = AIst.st->time_base;
  if (ipar->codec_type == AVMEDIA_TYPE_VIDEO) {
    AOst.st->avg_frame_rate = AIst.st->avg_frame_rate;
    AOst.st->r_frame_rate = AIst.st->r_frame_rate;
    AVRational useSar =
        AIst.st->sample_aspect_ratio.num ? AIst.st->sample_aspect_ratio : ipar->sample_aspect_ratio;
    if (!useSar.num) useSar = sar;
    AOst.st->sample_aspect_ratio = opar->sample_aspect_ratio = useSar;
  } else if (ipar->codec_type == AVMEDIA_TYPE_AUDIO) {
    if ((opar->block_align == 1 && opar->codec_id == AV_CODEC_ID_MP3) ||
        opar->codec_id == AV_CODEC_ID_AC3)
      opar->block_align = 0;
  }
  // The codec context keeps what the progress report and the packet code read.
  ff::codec.avcodec_parameters_to_context(AOst.enc, opar);
  AOst.enc->time_base = AIst.st->time_base;
  AOst.encoding_needed = 0;
}

void TCustomFFmpeg::EncodingParameters(TAVOutputStream &AOst, TAVInputStream &AIst,
                                       int ARunningNumber) {
  AVCodecContext *enc = AOst.enc;
  AVCodecContext *dec = AIst.dec;
  switch (enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      AOst.reformat_pair = -6;
      AOst.audio_resample = enc->sample_rate != dec->sample_rate || Faudio_sync_method > 1;
      break;
    case AVMEDIA_TYPE_VIDEO: {
      if (enc->pix_fmt == AV_PIX_FMT_NONE)
        throw FFmpegException("Video pixel format is unknown, stream cannot be encoded");
      AOst.video_crop = Fframe_topBand || Fframe_bottomBand || Fframe_leftBand || Fframe_rightBand;
      AOst.video_resample = enc->width != dec->width - Fframe_leftBand - Fframe_rightBand ||
                            enc->height != dec->height - Fframe_topBand - Fframe_bottomBand ||
                            enc->pix_fmt != dec->pix_fmt;
      if (AOst.video_crop) {
        AOst.topBand = AOst.original_topBand = Fframe_topBand;
        AOst.bottomBand = AOst.original_bottomBand = Fframe_bottomBand;
        AOst.leftBand = AOst.original_leftBand = Fframe_leftBand;
        AOst.rightBand = AOst.original_rightBand = Fframe_rightBand;
      }
      AOst.original_height = dec->height;
      AOst.original_width = dec->width;
      AOst.resample_height = dec->height - Fframe_topBand - Fframe_bottomBand;
      AOst.resample_width = dec->width - Fframe_leftBand - Fframe_rightBand;
      AOst.resample_pix_fmt = dec->pix_fmt;
      break;
    }
    case AVMEDIA_TYPE_SUBTITLE:
      break;
    default:
      throw FFmpegException("invalid codec_type of output stream");
  }
  AOst.encoding_needed = 1;
  AIst.decoding_needed = 1;

  if (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) {
    std::string name =
        Format("%s-%d.log",
               Fpass_logfilename_prefix.empty() ? "ffmpeg2pass" : Fpass_logfilename_prefix.c_str(),
               ARunningNumber);
    if (name.size() > 1023) name.resize(1023);
    if (enc->flags & AV_CODEC_FLAG_PASS1) {
      AOst.logfile = std::fopen(name.c_str(), "wb");
      if (!AOst.logfile)
        throw FFmpegException(Format("Cannot write log file %s for pass-1 encoding", name.c_str()));
    } else {
      FILE *f = std::fopen(name.c_str(), "rb");
      if (!f)
        throw FFmpegException(Format(
            "Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str()));
      std::fseek(f, 0, SEEK_END);
      long size = std::ftell(f);
      std::fseek(f, 0, SEEK_SET);
      char *buf = size >= 0 ? static_cast<char *>(ff::util.av_malloc(static_cast<size_t>(size) + 1))
                            : nullptr;
      if (!buf) {
        std::fclose(f);
        throw FFmpegException(Format(
            "Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding",
            name.c_str()));
      }
      size_t got = std::fread(buf, 1, static_cast<size_t>(size), f);
      buf[got] = 0;
      std::fclose(f);
      ff::util.av_free(enc->stats_in);
      enc->stats_in = buf;
    }
  }
}

void TCustomFFmpeg::OpenBitstreamFilters(TAVOutputStream &AOst, const TOutputStreamSetup &ASetup) {
  for (const std::string &name : ASetup.bsf_names) {
    const AVBitStreamFilter *f = ff::codec.av_bsf_get_by_name(name.c_str());
    AVBSFContext *ctx = nullptr;
    if (!f || ff::codec.av_bsf_alloc(f, &ctx) < 0)
      throw FFmpegException(Format("Unknown bitstream filter %s", name.c_str()));
    AOst.bsfs.push_back(ctx);
    const AVCodecParameters *in =
        AOst.bsfs.size() > 1 ? AOst.bsfs[AOst.bsfs.size() - 2]->par_out : AOst.st->codecpar;
    ff::codec.avcodec_parameters_copy(ctx->par_in, in);
    ctx->time_base_in = AOst.st->time_base;
    int ret = ff::codec.av_bsf_init(ctx);
    if (ret < 0)
      throw FFmpegException(
          ErrorToStr(Format("Error initializing bitstream filter %s", name.c_str()), ret));
  }
  // The muxer must see what the chain produces (e.g. changed extra data).
  if (!AOst.bsfs.empty()) {
    ff::codec.avcodec_parameters_copy(AOst.st->codecpar, AOst.bsfs.back()->par_out);
    AOst.st->time_base = AOst.bsfs.back()->time_base_out;
  }
}

void TCustomFFmpeg::OpenEncoders() {
  for (TAVOutputStream &ost : Fost_table) {
    if (!ost.encoding_needed || (FJoinMode && ost.file_index > 0)) continue;
    const TOutputStreamSetup &setup = Foutput_files[ost.file_index]->streams[ost.index];
    const AVMediaType type = ost.enc->codec_type;
    const AVCodec *codec =
        setup.codec ? setup.codec : ff::codec.avcodec_find_encoder(ost.enc->codec_id);
    if (!codec) {
      ReportStreamMapping();
      std::string msg =
          Format("Encoder (codec id %d) not found for output stream #%d.%d (%s)", ost.enc->codec_id,
                 ost.file_index, ost.index, MediaTypeToStr(type).c_str());
      EngineLog(llError, msg);
      throw FFmpegException(msg);
    }
    if (!EncodingPathReady(type))
      throw FFmpegException(
          Format("Encoding %s is not supported yet for output stream #%d.%d; use stream copy",
                 MediaTypeToStr(type).c_str(), ost.file_index, ost.index));
    AVDictionary *opts = nullptr;
    for (const auto &[name, value] : FPrivateOptions[type])
      ff::util.av_dict_set(&opts, name.c_str(), value.c_str(), 0);
    int ret = 0;
    {
      std::lock_guard<std::mutex> g(CodecLock());
      if (FJoinMode) ost.codec_id = ost.enc->codec_id;
      ret = ff::codec.avcodec_open2(ost.enc, codec, &opts);
    }
    ff::util.av_dict_free(&opts);
    if (ret < 0) {
      ReportStreamMapping();
      std::string msg = Format(
          "Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect parameters "
          "such as "
          "bit_rate, rate, width or height. Please check error log message to find out more detail "
          "information.",
          ost.file_index, ost.index, MediaTypeToStr(type).c_str());
      EngineLog(llError, msg);
      throw FFmpegException(msg);
    }
    FEncoderList.insert(FEncoderList.begin(), &ost);
    Fextra_size += ost.enc->extradata_size;
    ff::codec.avcodec_parameters_from_context(ost.st->codecpar, ost.enc);
    ost.st->time_base = ost.enc->time_base;
    if (type == AVMEDIA_TYPE_AUDIO) {
      ost.fifo =
          ff::util.av_audio_fifo_alloc(ost.enc->sample_fmt, ost.enc->ch_layout.nb_channels, 1024);
      if (!ost.fifo) throw FFmpegException("av_fifo_alloc fail");
    }
  }
}

void TCustomFFmpeg::OpenDecoders() {
  for (int i = 0; i < static_cast<int>(Fist_table.size()); ++i) {
    TAVInputStream &ist = Fist_table[i];
    if (!ist.decoding_needed) continue;
    const AVCodec *codec = i < static_cast<int>(Finput_codecs.size()) ? Finput_codecs[i] : nullptr;
    if (!codec) codec = ff::codec.avcodec_find_decoder(ist.st->codecpar->codec_id);
    const std::string typeName = MediaTypeToStr(ist.st->codecpar->codec_type);
    if (!codec) {
      ReportStreamMapping();
      std::string msg =
          Format("Decoder (codec id %d) not found for input stream #%d.%d (%s)",
                 ist.st->codecpar->codec_id, ist.file_index, ist.index, typeName.c_str());
      EngineLog(llError, msg);
      throw FFmpegException(msg);
    }
    int ret = 0;
    {
      std::lock_guard<std::mutex> g(CodecLock());
      ret = ff::codec.avcodec_open2(ist.dec, codec, nullptr);
    }
    if (ret < 0) {
      ReportStreamMapping();
      std::string msg = Format("Error while opening decoder for input stream #%d.%d (%s)",
                               ist.file_index, ist.index, typeName.c_str());
      EngineLog(llError, msg);
      throw FFmpegException(msg);
    }
    FDecoderList.insert(FDecoderList.begin(), &ist);
  }
}

void TCustomFFmpeg::InitInputClocks() {
  for (TAVInputStream &ist : Fist_table) {
    AVRational fr = ist.st->avg_frame_rate;
    if (fr.num && fr.den)
      ist.pts = -std::llround(ist.dec->has_b_frames * 1000000.0 * fr.den / fr.num);
    else
      ist.pts = 0;
    ist.next_pts = AV_NOPTS_VALUE;
    ist.is_start = 1;
  }
}

void TCustomFFmpeg::ApplyMetadataMaps() {
  for (const TAVMetaDataMap &m : Fmeta_data_maps) {
    if (m.out_file < 0 || m.out_file >= Fnb_output_files) {
      ReportStreamMapping();
      std::string msg = Format("Invalid output file index %d map_meta_data(%d,%d)", m.out_file,
                               m.out_file, m.in_file);
      EngineLog(llError, msg);
      throw FFmpegException(msg);
    }
    if (m.in_file < 0 || m.in_file >= Fnb_input_files) {
      ReportStreamMapping();
      std::string msg = Format("Invalid input file index %d map_meta_data(%d,%d)", m.in_file,
                               m.out_file, m.in_file);
      EngineLog(llError, msg);
      throw FFmpegException(msg);
    }
    ff::util.av_dict_copy(&Foutput_files[m.out_file]->ctx->metadata,
                          Finput_files[m.in_file].ctx->metadata, AV_DICT_DONT_OVERWRITE);
  }
}

void TCustomFFmpeg::CopyChapters() {
  const int outputs = FJoinMode ? std::min(1, Fnb_output_files) : Fnb_output_files;
  for (int i = 0; i < Fnb_input_files; ++i) {
    AVFormatContext *is = Finput_files[i].ctx;
    if (is->nb_chapters == 0) continue;
    for (int j = 0; j < outputs; ++j) {
      AVFormatContext *os = Foutput_files[j]->ctx;
      for (unsigned c = 0; c < is->nb_chapters; ++c) {
        AVChapter *in = is->chapters[c];
        int64_t tsOff = ff::util.av_rescale_q(Fstart_time - Finput_files_ts_offset[i],
                                              AV_TIME_BASE_Q, in->time_base);
        int64_t rt = Frecording_time == INT64_MAX
                         ? INT64_MAX
                         : ff::util.av_rescale_q(Frecording_time, AV_TIME_BASE_Q, in->time_base);
        if (in->end < tsOff) continue;
        if (rt != INT64_MAX && in->start > rt + tsOff) break;
        AVChapter **grown = static_cast<AVChapter **>(
            ff::util.av_realloc(os->chapters, sizeof(AVChapter *) * (os->nb_chapters + 1)));
        if (!grown) throw FFmpegException("av_realloc fail");
        os->chapters = grown;
        AVChapter *out = static_cast<AVChapter *>(ff::util.av_mallocz(sizeof(AVChapter)));
        if (!out) throw FFmpegException("av_mallocz fail");
        out->id = in->id;
        out->time_base = in->time_base;
        out->start = std::max<int64_t>(0, in->start - tsOff);
        out->end = std::min(rt, in->end - tsOff);
        ff::util.av_dict_copy(&out->metadata, in->metadata, 0);
        os->chapters[os->nb_chapters++] = out;
      }
    }
  }
}

void TCustomFFmpeg::WriteHeaders() {
  const int outputs = FJoinMode ? std::min(1, Fnb_output_files) : Fnb_output_files;
  for (TAVOutputStream &ost : Fost_table)
    if (!(FJoinMode && ost.file_index > 0))
      OpenBitstreamFilters(ost, Foutput_files[ost.file_index]->streams[ost.index]);
  for (int i = 0; i < outputs; ++i) {
    AVFormatContext *oc = Foutput_files[i]->ctx;
    AVDictionary *opts = nullptr;
    ff::util.av_dict_set_int(&opts, "preload", static_cast<int64_t>(Fmux_preload * 1000000), 0);
    int ret = ff::format.avformat_write_header(oc, &opts);
    ff::util.av_dict_free(&opts);
    if (ret < 0) {
      ReportStreamMapping();
      std::string msg =
          Format("Could not write header for output file #%d (incorrect codec parameters ?)", i);
      EngineLog(llError, msg);
      throw FFmpegException(msg);
    }
  }
}

void TCustomFFmpeg::ReportStreamMapping() {
  const int outputs = FJoinMode ? std::min(1, Fnb_output_files) : Fnb_output_files;
  for (int i = 0; i < outputs; ++i) {
    AVFormatContext *oc = Foutput_files[i]->ctx;
    ff::format.av_dump_format(oc, i, oc->url, 1);
  }
  if (Fverbose < 0) return;
  EngineLog(llVerbose, "Stream mapping:");
  for (const TAVOutputStream &ost : Fost_table) {
    const TAVInputStream &src = Fist_table[ost.source_index];
    EngineLogF(llVerbose, "  Stream #%d.%d -> #%d.%d (%s)", src.file_index, src.index,
               FJoinMode ? 0 : ost.file_index, ost.index,
               MediaTypeToStr(ost.enc->codec_type).c_str());
    if (ost.sync_ist && ost.sync_ist != &src)
      EngineLogF(llVerbose, " [sync #%d.%d (%s)]", ost.sync_ist->file_index, ost.sync_ist->index,
                 MediaTypeToStr(ost.sync_ist->st->codecpar->codec_type).c_str());
  }
}

void TCustomFFmpeg::CloseCodecs() {
  for (TAVOutputStream *ost : FEncoderList) {
    ff::util.av_freep(&ost->enc->stats_in);
    std::lock_guard<std::mutex> g(CodecLock());
    ff::codec.avcodec_close(ost->enc);
  }
  FEncoderList.clear();
  for (TAVInputStream *ist : FDecoderList) {
    std::lock_guard<std::mutex> g(CodecLock());
    ff::codec.avcodec_close(ist->dec);
  }
  FDecoderList.clear();
}

void TCustomFFmpeg::ReleaseRunTables() {
  ReleaseEncodeState();
  for (TAVInputStream &ist : Fist_table)
    if (ist.decoded_frame) ff::util.av_frame_free(&ist.decoded_frame);
  Fist_table.clear();
  Ffile_table.clear();
  for (TAVOutputStream &ost : Fost_table) {
    for (AVBSFContext *&b : ost.bsfs) ff::codec.av_bsf_free(&b);
    if (ost.logfile) std::fclose(ost.logfile);
    if (ost.fifo) ff::util.av_audio_fifo_free(ost.fifo);
    if (ost.pict_tmp) ff::util.av_frame_free(&ost.pict_tmp);
    if (ost.img_resample_ctx) ff::scale.sws_freeContext(ost.img_resample_ctx);
    if (ost.resample) ff::resample.swr_free(&ost.resample);
  }
  Fost_table.clear();
  Fno_packet.clear();
  Fno_packet_count = 0;
}
