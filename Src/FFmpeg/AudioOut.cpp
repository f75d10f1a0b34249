// Audio output path: decoded samples of an input stream to encoded packets of an
// output stream. Only stream copy is available so far; encoding is refused up front
// (EncodingPathReady) so that no run starts that cannot finish.
#include "FFmpeg.h"

bool TCustomFFmpeg::EncodingPathReady(AVMediaType AType) const {
  return AType == AVMEDIA_TYPE_SUBTITLE;
}

void TCustomFFmpeg::do_audio_out(TAVOutputStream &AOst, TAVInputStream &AIst, AVFrame *AFrame) {
  throw FFmpegException("Audio encoding failed");
}

void TCustomFFmpeg::FlushEncoder(TAVOutputStream &AOst) {
  if (AOst.enc->codec_type == AVMEDIA_TYPE_AUDIO) throw FFmpegException("Audio encoding failed");
  throw FFmpegException("Video encoding failed");
}
