// Subtitles: the decoding thread that turns text and bitmap subtitles into the queue's
// form, and the display side that retires them by the picture's time and draws them.
#include <cmath>
#include <limits>

#include "Playback.h"
#include "Player.h"

namespace {

// The text of an ASS event line "ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,
// Effect,Text" without override blocks; \N and \n break lines, \h is a space.
std::string AssText(const char *ALine) {
  std::string line(ALine ? ALine : "");
  size_t at = 0;
  for (int commas = 0; commas < 8 && at != std::string::npos; ++commas) {
    at = line.find(',', at);
    if (at != std::string::npos) ++at;
  }
  if (at == std::string::npos) at = 0;  // not an event line: all of it is text
  std::string out;
  for (size_t i = at; i < line.size(); ++i) {
    char c = line[i];
    if (c == '{') {
      size_t close = line.find('}', i);
      if (close != std::string::npos) {
        i = close;
        continue;
      }
    }
    if (c == '\\' && i + 1 < line.size()) {
      char n = line[i + 1];
      if (n == 'N' || n == 'n') {
        out += '\n';
        ++i;
        continue;
      }
      if (n == 'h') {
        out += ' ';
        ++i;
        continue;
      }
    }
    if (c == '\r' || c == '\n') continue;
    out += c;
  }
  return out;
}

}  // namespace

void TPlayback::SubtitleThread() {
  AVCodecContext *ctx = FCodecs[kSubtitle].get();
  AVRational tb = FStreams[kSubtitle]->time_base;
  ff::PacketPtr pkt(ff::codec.av_packet_alloc());
  int serial = 0;
  for (;;) {
    TPacketQueue::TGetResult got = FQueues[kSubtitle].Get(pkt.get(), true, &serial);
    if (got == TPacketQueue::grAborted) break;
    if (got == TPacketQueue::grFlush) {
      ff::codec.avcodec_flush_buffers(ctx);
      continue;
    }
    if (!pkt->data) continue;  // subtitle decoders hold nothing back
    AVSubtitle sub{};
    int gotSub = 0;
    if (ff::codec.avcodec_decode_subtitle2(ctx, &sub, &gotSub, pkt.get()) < 0 || !gotSub) continue;
    TSubtitle s;
    s.Serial = serial;
    s.Id = ++FSubtitleIds;
    double pts = 0;
    if (sub.pts != AV_NOPTS_VALUE)
      pts = static_cast<double>(sub.pts) / AV_TIME_BASE;
    else if (pkt->pts != AV_NOPTS_VALUE)
      pts = static_cast<double>(pkt->pts) * av_q2d(tb);
    s.Start = pts + sub.start_display_time / 1000.0;
    if (sub.end_display_time > sub.start_display_time && sub.end_display_time != UINT32_MAX)
      s.End = pts + sub.end_display_time / 1000.0;
    else if (pkt->duration > 0)
      s.End = s.Start + static_cast<double>(pkt->duration) * av_q2d(tb);
    else
      s.End = std::numeric_limits<double>::infinity();
    s.CanvasWidth = ctx->width > 0 ? ctx->width : FFrameWidth.load();
    s.CanvasHeight = ctx->height > 0 ? ctx->height : FFrameHeight.load();
    for (unsigned i = 0; i < sub.num_rects; ++i) {
      const AVSubtitleRect *r = sub.rects[i];
      if (r->type == SUBTITLE_BITMAP && r->w > 0 && r->h > 0 && r->data[0] && r->data[1]) {
        TSubtitleImage img;
        img.X = r->x;
        img.Y = r->y;
        img.Width = r->w;
        img.Height = r->h;
        img.Pixels.resize(static_cast<size_t>(r->w) * r->h);
        const auto *palette = reinterpret_cast<const uint32_t *>(r->data[1]);
        for (int y = 0; y < r->h; ++y) {
          const uint8_t *src = r->data[0] + static_cast<ptrdiff_t>(y) * r->linesize[0];
          for (int x = 0; x < r->w; ++x) {
            int index = src[x];
            img.Pixels[static_cast<size_t>(y) * r->w + x] =
                index < r->nb_colors ? palette[index] : 0;
          }
        }
        s.Images.push_back(std::move(img));
      } else {
        std::string text = r->type == SUBTITLE_ASS ? AssText(r->ass) : (r->text ? r->text : "");
        if (text.empty()) continue;
        if (!s.Text.empty()) s.Text += '\n';
        s.Text += text;
      }
    }
    ff::codec.avsubtitle_free(&sub);
    if (serial != FQueues[kSubtitle].Serial()) continue;  // from before a seek
    if (!FSubtitles.Push(std::move(s))) break;
  }
}

const TSubtitle *TPlayback::CurrentSubtitle(double APts) {
  if (FStreamIndex[kSubtitle] < 0) return nullptr;
  int serial = FQueues[kSubtitle].Serial();
  for (;;) {
    const TSubtitle *sp = FSubtitles.Peek(0);
    if (!sp) return nullptr;
    const TSubtitle *next = FSubtitles.Peek(1);
    bool stale = sp->Serial != serial;
    bool over = !std::isnan(APts) &&
                (APts >= sp->End || (next && next->Serial == serial && APts >= next->Start));
    if (stale || over) {
      FSubtitles.Pop();
      continue;
    }
    if (std::isnan(APts) || APts < sp->Start) return nullptr;
    return sp;
  }
}

void TPlayback::DrawSubtitle(const TSubtitle *ASubtitle, TPlayerBitmap &ABitmap) {
  const std::string &text = ASubtitle ? ASubtitle->Text : std::string();
  if (text != FShownText) {
    FShownText = text;
    if (FParams.Surface) FParams.Surface->SubtitleText(text);
  }
  if (!ASubtitle || ASubtitle->Images.empty()) return;
  int cw = ASubtitle->CanvasWidth > 0 ? ASubtitle->CanvasWidth : ABitmap.Width;
  int ch = ASubtitle->CanvasHeight > 0 ? ASubtitle->CanvasHeight : ABitmap.Height;
  if (cw <= 0 || ch <= 0) return;
  // Scaled from the canvas to the drawing, nearest pixel, blended by its alpha.
  for (const TSubtitleImage &img : ASubtitle->Images) {
    int y0 = static_cast<int>(static_cast<int64_t>(img.Y) * ABitmap.Height / ch);
    int y1 = static_cast<int>(static_cast<int64_t>(img.Y + img.Height) * ABitmap.Height / ch);
    int x0 = static_cast<int>(static_cast<int64_t>(img.X) * ABitmap.Width / cw);
    int x1 = static_cast<int>(static_cast<int64_t>(img.X + img.Width) * ABitmap.Width / cw);
    for (int y = std::max(y0, 0); y < std::min(y1, ABitmap.Height); ++y) {
      int sy = static_cast<int>(static_cast<int64_t>(y) * ch / ABitmap.Height) - img.Y;
      if (sy < 0 || sy >= img.Height) continue;
      uint8_t *row = ABitmap.Row(y);
      for (int x = std::max(x0, 0); x < std::min(x1, ABitmap.Width); ++x) {
        int sx = static_cast<int>(static_cast<int64_t>(x) * cw / ABitmap.Width) - img.X;
        if (sx < 0 || sx >= img.Width) continue;
        uint32_t argb = img.Pixels[static_cast<size_t>(sy) * img.Width + sx];
        unsigned a = argb >> 24;
        if (a == 0) continue;
        uint8_t *p = row + x * 3;
        const unsigned rgb[3] = {(argb >> 16) & 0xff, (argb >> 8) & 0xff, argb & 0xff};
        for (int c = 0; c < 3; ++c)
          p[c] = static_cast<uint8_t>((rgb[c] * a + p[c] * (255 - a)) / 255);
      }
    }
  }
}
