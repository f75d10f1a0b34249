// Small media files for the player tests, encoded at test time with the library's own
// encoders: colour-quadrant pictures that change colour every second, and a sine tone.
#pragma once

#include <string>

struct TClipSpec {
  double Seconds = 2.0;
  int Width = 160;  // 0: no video
  int Height = 120;
  int Fps = 25;
  int SampleRate = 22050;  // 0: no audio
  int Channels = 1;
  int GopSize = 1;  // every picture a key frame, so seeks land exactly
};

// Writes AFile (container from the extension); false with AError on failure.
bool MakeClip(const std::string &AFile, const TClipSpec &ASpec, std::string &AError);

// The colour the clip shows in the top-left quadrant during second ASecond.
void QuadrantColour(int ASecond, int &AR, int &AG, int &AB);
