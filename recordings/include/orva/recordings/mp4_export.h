// Exporting one channel of downloaded pairs to an MP4 file that ordinary
// players open: the H.264 pictures as recorded, the sound as AAC, the
// capture times as the file's timeline, and a SHA-256 list beside it so the
// copy can be shown to match its source files.
//
// - Single pictures (size codes 0, 1, 3) are copied unchanged.
// - Two-field pictures (size code 2) are two half-height streams; they are
//   decoded, woven into one full-height picture and encoded again with
//   libx264, or with copyFirstField only the first field is copied, shown
//   at the full picture's shape through a 1:2 sample aspect ratio.
// - The channel's IMA ADPCM sound becomes AAC; a stretch without sound for
//   the channel gives a file without a sound track.
//
// ExportMp4 is synchronous and may take a while for long stretches; call it
// off the UI thread. It touches no shared state.
#pragma once

#include <cstdint>
#include <string>

namespace orva {

struct ExportRequest {
  std::string folder;           // the Download folder with the pairs
  uint32_t from = 0, to = 0;    // recorder times (seconds), both included
  int channel = 0;              // 0-15
  bool copyFirstField = false;  // two-field pictures: copy the first field instead of re-encoding
  std::string output;           // the .mp4 to write (replaced when present)
  std::string title;            // the recorder's channel title, for the metadata; may be empty
};

struct ExportResult {
  uint64_t videoFrames = 0;     // pictures written
  uint64_t audioFrames = 0;     // sound frames (0.5 s each) taken from the pairs
  uint64_t skippedFrames = 0;   // pictures of the channel left out (unreadable, other size, undecodable)
  double durationSeconds = 0;   // of the video track: first picture to the end of the last
  int width = 0, height = 0;    // of the written pictures
  bool reencoded = false;       // two-field pictures woven and encoded again
  std::string creationTime;     // ISO 8601, the first picture's capture time
  std::string sha256Path;       // output + ".sha256"
  size_t sourceFiles = 0;       // .vid and .idx files listed in it
};

// False with `error` set when nothing usable was written: an empty or
// reversed range, no pairs in the folder, no picture of the channel in the
// range, a first key frame that does not decode, or an output that cannot
// be written. A failed export leaves neither the MP4 nor its list behind.
bool ExportMp4(const ExportRequest& request, ExportResult& result, std::string& error);

}  // namespace orva
