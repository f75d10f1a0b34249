// Progress reports: the one-line status of the running conversion and the final
// summary of bytes written per kind.
#include <cmath>

#include "../FFmpegLoader/FFmpegLoader.h"
#include "FFmpeg.h"

using namespace engine;

void TCustomFFmpeg::ReportProgress(bool ALastReport, int AFileIndex) {
  if (Fnb_output_files == 0 || Fost_table.empty()) return;
  AVFormatContext *oc = Foutput_files[0]->ctx;
  int64_t totalSize = 0;
  if (oc->pb) {
    // What is still in the write buffer counts too: the size on disk lags behind it.
    totalSize = std::max(ff::format.avio_size(oc->pb), ff::format.avio_seek(oc->pb, 0, SEEK_CUR));
  }
  std::string line;
  double t = 1e10;
  int frameNumber = -1, fps = -1;
  float quality = -1.0f;
  bool firstVideo = true;
  for (const TAVOutputStream &ost : Fost_table) {
    const TAVOutputStream &owner = FJoinMode ? Fost_table[ost.index] : ost;
    if (ost.st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      const float q = ost.encoding_needed ? owner.last_quality / float(FF_QP2LAMBDA) : -1.0f;
      if (!firstVideo) line += Format("q=%2.1f ", q);
      if (firstVideo && ost.show_fps) {
        const double elapsed = (ff::util.av_gettime_relative() - Ftimer_start) / 1000000.0;
        frameNumber = ost.frame_number;
        if (frameNumber < 1) return;
        fps = elapsed > 1 ? static_cast<int>(frameNumber / elapsed + 0.5) : 0;
        quality = q;
        line += Format("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, quality);
        if (ALastReport) line += "L";
        if (Fqp_hist) {
          const long qp = std::lround(quality);
          if (qp >= 0 && qp < static_cast<long>(Fqp_histogram.size())) ++Fqp_histogram[qp];
          for (int j = 0; j < 32; ++j)
            line += Format("%X", static_cast<int>(std::lround(std::log2(Fqp_histogram[j] + 1))));
        }
        if (ost.encoding_needed && (ost.enc->flags & AV_CODEC_FLAG_PSNR)) {
          double errSum = 0, scaleSum = 0;
          line += "PSNR=";
          for (int j = 0; j < 3; ++j) {
            double error = ALastReport ? double(owner.error_sum[j]) : double(owner.last_error[j]);
            double scale = double(ost.enc->width) * ost.enc->height * 255.0 * 255.0;
            if (ALastReport) scale *= frameNumber;
            if (j) scale /= 4;
            errSum += error;
            scaleSum += scale;
            line += Format("%c:%2.2f ", "YUV"[j], -10.0 * std::log10(error / scale));
          }
          line += Format("*:%2.2f ", -10.0 * std::log10(errSum / scaleSum));
        }
        firstVideo = false;
      }
    }
    if (owner.last_mux_dts != AV_NOPTS_VALUE) {
      const double st = (owner.last_mux_dts + owner.last_mux_duration) *
                        (double(ost.st->time_base.num) / ost.st->time_base.den);
      if (st > 0 && st < t) t = st;
    }
  }
  t = std::max(t, 0.01);
  if (!OnProgress && Fverbose <= 0 && !ALastReport) return;
  const double bitrate = totalSize * 8 / t / 1000.0;
  line += Format("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", totalSize / 1024.0, t, bitrate);
  if (Fnb_frames_dup || Fnb_frames_drop) {
    line += Format(" dup=%d drop=%d", Fnb_frames_dup, Fnb_frames_drop);
    if (FShowDupOrDrop && Fverbose >= 0 && OnProgress) {
      FShowDupOrDrop = false;
      EngineLog(llVerbose, line);
    }
  }
  if (OnProgress)
    OnProgress(this, AFileIndex, frameNumber, fps, quality, static_cast<float>(bitrate), totalSize,
               static_cast<int64_t>(t * 1000000), FTotalOutputDuration);
  else if (Fverbose >= 0)
    EngineLog(llVerbose, line);
  if (ALastReport && Fverbose >= 0) {
    const double raw = double(Fvideo_size + Faudio_size + Fextra_size);
    EngineLogF(llVerbose,
               "video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB muxing overhead %f%%\r\n",
               Fvideo_size / 1024.0, Faudio_size / 1024.0, Fextra_size / 1024.0,
               raw > 0 ? 100.0 * (totalSize - raw) / raw : 0.0);
  }
}

void TCustomFFmpeg::WriteVideoStats(TAVOutputStream &AOst, int AFrameSize) {
  if (!Fvstats_file) {
    Fvstats_file = std::fopen(Fvstats_filename.c_str(), "w");
    if (!Fvstats_file) throw FFmpegException("fopen fail: " + Fvstats_filename);
  }
  const AVCodecContext *enc = AOst.enc;
  if (enc->codec_type != AVMEDIA_TYPE_VIDEO) return;
  std::fprintf(Fvstats_file, "frame= %5d q= %2.1f ", AOst.frame_number,
               AOst.last_quality / float(FF_QP2LAMBDA));
  if (enc->flags & AV_CODEC_FLAG_PSNR)
    std::fprintf(Fvstats_file, "PSNR= %6.2f ",
                 -10.0 * std::log10(AOst.last_error[0] /
                                    (double(enc->width) * enc->height * 255.0 * 255.0)));
  std::fprintf(Fvstats_file, "f_size= %6d ", AFrameSize);
  const double tb = double(enc->time_base.num) / enc->time_base.den;
  const double t = std::max(AOst.sync_opts * tb, 0.01);
  const double bitrate = AFrameSize * 8 / tb / 1000.0;
  const double avg = Fvideo_size * 8 / t / 1000.0;
  std::fprintf(Fvstats_file, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
               Fvideo_size / 1024.0, t, bitrate, avg);
  std::fprintf(Fvstats_file, "type= %c\n",
               ff::util.av_get_picture_type_char(static_cast<AVPictureType>(AOst.last_pict_type)));
}
