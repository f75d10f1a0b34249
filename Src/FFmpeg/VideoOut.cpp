// Video output path: decoded pictures of an input stream to encoded packets of an
// output stream (scaling, filters, frame-rate sync). Only stream copy is available so
// far; encoding is refused up front (EncodingPathReady).
#include "FFmpeg.h"

void TCustomFFmpeg::do_video_out(TAVOutputStream &AOst, TAVInputStream &AIst, AVFrame *AFrame) {
  throw FFmpegException("Video encoding failed");
}
