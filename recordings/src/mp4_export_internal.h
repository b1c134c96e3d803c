// Pieces of the MP4 exporter shared between its source files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "orva/recordings/local_files.h"
#include "orva/recordings/mp4_export.h"

namespace orva::mp4 {

// One frame the export takes, found by reading the record headers only.
struct PlannedFrame {
  uint32_t file = 0;    // index into ExportPlan::vids
  uint64_t offset = 0;  // of the record header
  uint64_t limit = 0;   // where the frames of its playback entry end
  bool audio = false;
  bool key = false;
  // Video: its capture time. Sound carries no time of its own, so it gets
  // that of the latest picture (any channel) read before it.
  int64_t timeUs = 0;
};

struct ExportPlan {
  std::vector<std::string> vids;         // the data files read
  std::vector<std::string> sourceFiles;  // .vid and .idx of every pair a frame comes from
  std::vector<PlannedFrame> frames;      // in file order
  uint64_t videoFrames = 0, audioFrames = 0;
  uint64_t skipped = 0;  // pictures of the channel left out by the header pass
  uint8_t sizeCode = 0;
  int64_t startUs = 0;   // the first key frame's capture time
};

// Picks the frames of request.channel in [from, to], starting at the first
// key frame. False with a message for an empty range, a missing channel or
// no pictures.
bool BuildExportPlan(const ExportRequest& request, ExportPlan& plan, std::string& error);

// Capture time of a video record; the frame second when the recorder left it unset.
int64_t CaptureTimeUs(const VideoRecordHeader& header);

// "2009-12-07T10:00:00Z" for a recorder time (its wall clock, kept as UTC).
std::string IsoTime(int64_t seconds);

// The H.264 access units of a video frame's data: the first part, and for
// two-field pictures the second; zero padding removed. False when the parts
// do not fit the data or one is empty.
bool SplitPictureParts(const LocalFrame& frame, std::span<const uint8_t>& first, std::span<const uint8_t>& second);

// The SPS and PPS units of an Annex B access unit, as Annex B again (the MP4
// muxer turns that into its decoder configuration). Empty when either is missing.
std::vector<uint8_t> ParameterSets(std::span<const uint8_t> accessUnit);

// sha256sum's line for a file: "HEX  NAME", NAME escaped as it escapes it.
bool Sha256Line(const std::string& path, const std::string& shownName, std::string& line, std::string& error);

}  // namespace orva::mp4
