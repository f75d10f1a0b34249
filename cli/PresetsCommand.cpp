// "presets": the catalogue with each preset's extension, codecs and preselected options.
#include <algorithm>

#include "CliCommands.h"
#include "JsonText.h"
#include "PresetCatalogue.h"
#include "PresetOptions.h"
#include "PresetRows.h"

namespace cli {
namespace {

// Terminal columns a UTF-8 text takes: the ideographs of the names take two.
std::size_t DisplayWidth(const std::string &AText) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < AText.size();) {
    const unsigned char c = static_cast<unsigned char>(AText[i]);
    uint32_t cp = c;
    std::size_t n = 1;
    if (c >= 0xF0)
      n = 4, cp = c & 0x07;
    else if (c >= 0xE0)
      n = 3, cp = c & 0x0F;
    else if (c >= 0xC0)
      n = 2, cp = c & 0x1F;
    for (std::size_t k = 1; k < n && i + k < AText.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(AText[i + k]) & 0x3F);
    i += n;
    const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                      (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                      (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                      (cp >= 0xFFE0 && cp <= 0xFFE6);
    width += wide ? 2 : 1;
  }
  return width;
}

std::string CodecText(const char *ACodec, bool ANoStream) {
  if (ANoStream) return "-";
  return ACodec && *ACodec ? ACodec : "auto";
}

struct TListedPreset {
  int Id;
  std::string Category, Name, Ext, Video, Audio, Options;
  std::string Json;
};

std::vector<TListedPreset> ListPresets() {
  std::vector<TListedPreset> list;
  for (const int id : AllPresetIds()) {
    const auto ref = FindPreset(id);
    const TPresetRow *row = FindPresetRow(id);
    if (!ref || !row) continue;
    TListedPreset p;
    p.Id = id;
    p.Category = ref->Category->BarText;
    p.Name = ref->Name();
    p.Ext = row->Ext ? row->Ext : "";
    p.Video = CodecText(row->VideoCodec, row->AudioOnly);
    p.Audio = CodecText(row->AudioCodec, false);
    TJsonObject options, allowed;
    for (const TChoiceOptionInfo &o : ChoiceOptions()) {
      const std::string v = PreselectedValue(*row, o.Option);
      if (v.empty()) continue;
      if (!p.Options.empty()) p.Options += ' ';
      p.Options += std::string(o.Key) + "=" + v;
      options.Str(o.Key, v);
      allowed.Raw(o.Key, JsonArray(AllowedValues(*row, o.Option)));
    }
    TJsonObject json;
    json.Int("id", id)
        .Str("category", p.Category)
        .Str("name", p.Name)
        .Str("extension", p.Ext)
        .Str("video_codec", p.Video)
        .Str("audio_codec", p.Audio);
    if (const char *target = DiscTargetInfo(row->Target).TargetType)
      json.Str("target", target);
    else
      json.Null("target");
    json.Raw("options", options.Text()).Raw("allowed", allowed.Text());
    p.Json = json.Text();
    list.push_back(std::move(p));
  }
  return list;
}

}  // namespace

int Presets(const std::vector<std::string> &AArgs, std::ostream &AOut, std::ostream &AErr) {
  bool json = false;
  for (const std::string &a : AArgs) {
    if (a == "--json") {
      json = true;
    } else {
      AErr << "usage: quorvel-cli presets [--json]\n";
      return kExitUsage;
    }
  }
  const std::vector<TListedPreset> list = ListPresets();
  if (json) {
    AOut << "[\n";
    for (std::size_t i = 0; i < list.size(); ++i)
      AOut << "  " << list[i].Json << (i + 1 < list.size() ? ",\n" : "\n");
    AOut << "]\n";
    return kExitOk;
  }
  const std::vector<std::string> head = {"ID",    "CATEGORY", "NAME",   "EXT",
                                         "VIDEO", "AUDIO",    "OPTIONS"};
  std::vector<std::vector<std::string>> rows = {head};
  for (const TListedPreset &p : list)
    rows.push_back({std::to_string(p.Id), p.Category, p.Name, p.Ext, p.Video, p.Audio, p.Options});
  std::vector<std::size_t> widths(head.size(), 0);
  for (const auto &r : rows)
    for (std::size_t c = 0; c < r.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(r[c]));
  for (const auto &r : rows) {
    std::string line;
    for (std::size_t c = 0; c < r.size(); ++c) {
      line += r[c];
      if (c + 1 < r.size()) line += std::string(widths[c] - DisplayWidth(r[c]) + 2, ' ');
    }
    AOut << line << "\n";
  }
  return kExitOk;
}

}  // namespace cli
