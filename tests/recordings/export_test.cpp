// MP4 export of downloaded pairs: real H.264 (libx264) and ADPCM frames are
// written as split pairs, exported, and the result is read back with
// ffprobe/ffmpeg (codecs, frame counts, durations, metadata, the woven
// field order) and with sha256sum -c.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "orva/link/wire.h"
#include "orva/recordings/backup_files.h"
#include "orva/recordings/local_files.h"
#include "orva/recordings/mp4_export.h"
#include "test_encoder.h"

namespace orva {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kT0 = 1260180000;  // 2009-12-07 10:00:00
constexpr int kCifFrames = 50;        // channel 1: 5 s at 10 fps, a key frame every 15
constexpr int kFieldFrames = 30;      // channel 2: 3 s of two-field pictures

std::vector<uint8_t> VideoRecord(int channel, uint64_t ms, std::vector<uint8_t> frame, int secondHeaderAt = -1) {
  // The test encoder's headers say channel 0; the channel sits in W2 bits 5-9.
  for (int at : {0, secondHeaderAt})
    if (at >= 0) StoreBE32(frame.data() + at + 8, LoadBE32(frame.data() + at + 8) | uint32_t(channel) << 5);
  std::vector<uint8_t> r(192, 0);
  StoreBE32(r.data() + 16, ENC_HEADER_TYPE_VIDEO);
  StoreBE32(r.data() + 24, static_cast<uint32_t>(ms / 1000));
  StoreBE32(r.data() + 28, static_cast<uint32_t>(frame.size()));
  StoreBE32(r.data() + 40, 1);
  StoreBE32(r.data() + 80, static_cast<uint32_t>(ms / 1000));
  StoreBE32(r.data() + 84, static_cast<uint32_t>(ms % 1000 * 1000));
  r.insert(r.end(), frame.begin(), frame.end());
  return r;
}

std::vector<uint8_t> AudioRecord(int channel) {
  std::vector<uint8_t> r(128 + 4016, 0x17);
  std::fill(r.begin(), r.begin() + 144, 0);
  StoreBE32(r.data() + 16, ENC_HEADER_TYPE_AUDIO);
  StoreBE32(r.data() + 28, 4016);
  StoreBE32(r.data() + 40, 1u << channel);
  StoreBE32(r.data() + 128, 0xFFFFFFFF);
  StoreBE32(r.data() + 136, static_cast<uint32_t>(channel) | 20u << 8);
  StoreBE32(r.data() + 140, 4016 / 16);
  return r;
}

std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int rc = pclose(pipe);
  if (status) *status = rc;
  return out;
}

bool Have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null").c_str()) == 0;
}

// ffprobe's flat output as key -> value, and whatever it warned about.
struct Probe {
  std::map<std::string, std::string> values;
  std::string warnings;
  std::string operator[](const std::string& key) const {
    auto it = values.find(key);
    return it == values.end() ? "" : it->second;
  }
  double Number(const std::string& key) const { return std::atof((*this)[key].c_str()); }
};

Probe ProbeFile(const fs::path& file) {
  const fs::path errors = file.string() + ".probe-errors";
  Probe p;
  std::istringstream lines(Shell("ffprobe -v warning -show_streams -show_format -count_frames -of flat '" +
                               file.string() + "' 2>'" + errors.string() + "'"));
  for (std::string line; std::getline(lines, line);) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    p.values[line.substr(0, eq)] = value;
  }
  std::ifstream in(errors);
  p.warnings.assign(std::istreambuf_iterator<char>(in), {});
  fs::remove(errors);
  return p;
}

class ExportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root = fs::path(::testing::TempDir()) / ("orva-export-" + std::to_string(::getpid()));
    fs::remove_all(root);
    folder = root / "Download";
    fs::create_directories(root / "out");
    test::Yv12Picture cif(352, 240);
    cif.Fill(0, 0, 352, 240, test::kGreen);
    cif.Fill(100, 60, 80, 40, test::kWhite);
    // The first field red, the second blue: the weave must alternate them.
    test::Yv12Picture top(704, 240), bottom(704, 240);
    top.Fill(0, 0, 704, 240, test::kRed);
    bottom.Fill(0, 0, 704, 240, test::kBlue);
    const auto cifUnits = test::EncodeStream(cif, kCifFrames, 15);
    const auto topUnits = test::EncodeStream(top, kFieldFrames, 10);
    const auto bottomUnits = test::EncodeStream(bottom, kFieldFrames, 10);
    ASSERT_EQ(cifUnits.size(), size_t{kCifFrames});
    ASSERT_EQ(topUnits.size(), size_t{kFieldFrames});
    ASSERT_EQ(bottomUnits.size(), size_t{kFieldFrames});

    BackupPairWriter::Options o;
    o.folder = folder.string();
    o.now = [] { return 0x5000u; };
    o.splitAfter = 40000;
    BackupPairWriter writer(o);
    for (int f = 0; f < kCifFrames; ++f) {
      const uint64_t ms = uint64_t{kT0} * 1000 + f * 100;
      if (f % 5 == 0) {
        ASSERT_TRUE(writer.Write(AudioRecord(0)));
        ASSERT_TRUE(writer.Write(AudioRecord(2)));  // channel 3: sound only
      }
      ASSERT_TRUE(writer.Write(VideoRecord(0, ms, test::MakePart(cifUnits[f], test::kSizeCif, f % 15 == 0))));
      if (f < kFieldFrames) {
        int firstLength = 0;
        auto frame = test::MakeTwoFieldFrame(topUnits[f], bottomUnits[f], f % 10 == 0, firstLength);
        ASSERT_TRUE(writer.Write(VideoRecord(1, ms, std::move(frame), firstLength)));
      }
      // Channel 4: key frames that are not H.264 at all.
      if (f % 10 == 0) {
        ASSERT_TRUE(writer.Write(
            VideoRecord(3, ms, test::MakePart(std::vector<uint8_t>(300, 0xA5), test::kSizeCif, true))));
      }
    }
    ASSERT_TRUE(writer.Close());
    pairs = writer.Pairs().size();
  }
  static void TearDownTestSuite() { fs::remove_all(root); }

  // The checks of the result need ffprobe, ffmpeg and sha256sum.
  static bool ToolsMissing() { return !Have("ffprobe") || !Have("ffmpeg") || !Have("sha256sum"); }

  static ExportRequest Request(int channel, uint32_t from, uint32_t to, const fs::path& output,
                               const fs::path& source = folder) {
    ExportRequest r;
    r.folder = source.string();
    r.channel = channel;
    r.from = from;
    r.to = to;
    r.output = output.string();
    return r;
  }

  // sha256sum -c, run where the list lies, accepts it.
  static bool ChecksumsHold(const std::string& list) {
    const fs::path p(list);
    return std::system(("cd '" + p.parent_path().string() + "' && sha256sum -c --quiet '" + p.filename().string() +
                        "' >/dev/null 2>&1")
                           .c_str()) == 0;
  }

  static inline fs::path root, folder;
  static inline size_t pairs = 0;
};

TEST_F(ExportTest, CopiesASingleFieldChannelWithSoundTimesAndChecksums) {
  if (ToolsMissing()) GTEST_SKIP() << "ffprobe, ffmpeg or sha256sum missing";
  ASSERT_GE(pairs, 3u);  // the stretch runs across split pairs
  // From 10:00:01 the first key frame is picture 15 (10:00:01.5); up to
  // 10:00:03 the last is picture 39: 25 pictures, 2.5 s.
  ExportRequest request = Request(0, kT0 + 1, kT0 + 3, folder / "gate.mp4");
  request.title = "Gate 1";
  ExportResult result;
  std::string error;
  ASSERT_TRUE(ExportMp4(request, result, error)) << error;
  EXPECT_EQ(result.videoFrames, 25u);
  EXPECT_EQ(result.skippedFrames, 0u);
  EXPECT_NEAR(result.durationSeconds, 2.5, 1e-6);
  EXPECT_EQ(result.width, 352);
  EXPECT_EQ(result.height, 240);
  EXPECT_FALSE(result.reencoded);
  EXPECT_EQ(result.creationTime, "2009-12-07T10:00:01Z");
  // Sound frames come before the pictures 20, 25, ..., 40: the one before
  // picture 40 still follows picture 39.
  EXPECT_EQ(result.audioFrames, 5u);

  const Probe p = ProbeFile(request.output);
  EXPECT_EQ(p.warnings, "");
  EXPECT_EQ(p["streams.stream.0.codec_name"], "h264");
  EXPECT_EQ(p["streams.stream.0.width"], "352");
  EXPECT_EQ(p["streams.stream.0.nb_read_frames"], "25");
  EXPECT_NEAR(p.Number("streams.stream.0.duration"), 2.5, 0.1);
  EXPECT_EQ(p["streams.stream.1.codec_name"], "aac");
  EXPECT_EQ(p["streams.stream.1.sample_rate"], "16000");
  EXPECT_EQ(p["streams.stream.1.channels"], "1");
  // The first sound follows picture 19 (0.4 s in): silence until then, then 5 x 0.5 s.
  EXPECT_NEAR(p.Number("streams.stream.1.duration"), 2.9, 0.07);
  EXPECT_EQ(p["format.tags.creation_time"], "2009-12-07T10:00:01.000000Z");
  EXPECT_EQ(p["format.tags.title"], "Gate 1");

  // Sources beside the list are named relative to it; every pair the
  // stretch touched is listed, and the list fails once the MP4 changes.
  EXPECT_EQ(result.sha256Path, request.output + ".sha256");
  std::ifstream list(result.sha256Path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(list, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 1 + result.sourceFiles);
  EXPECT_GE(result.sourceFiles, 4u);
  EXPECT_EQ(lines[0].substr(64), "  gate.mp4");
  for (const std::string& line : lines) EXPECT_EQ(line.find('/'), std::string::npos) << line;
  EXPECT_TRUE(ChecksumsHold(result.sha256Path));
  std::ofstream(request.output, std::ios::app) << 'x';
  EXPECT_FALSE(ChecksumsHold(result.sha256Path));
  fs::remove(request.output);
  fs::remove(result.sha256Path);
}

TEST_F(ExportTest, TwoFieldPicturesAreWovenOrTheirFirstFieldCopied) {
  if (ToolsMissing()) GTEST_SKIP() << "ffprobe, ffmpeg or sha256sum missing";
  const fs::path woven = root / "out" / "woven.mp4";
  ExportResult result;
  std::string error;
  ASSERT_TRUE(ExportMp4(Request(1, kT0, kT0 + 60, woven), result, error)) << error;
  EXPECT_TRUE(result.reencoded);
  EXPECT_EQ(result.videoFrames, size_t{kFieldFrames});
  EXPECT_EQ(result.audioFrames, 0u);
  EXPECT_EQ(result.width, 704);
  EXPECT_EQ(result.height, 480);
  Probe p = ProbeFile(woven);
  EXPECT_EQ(p.warnings, "");
  EXPECT_EQ(p["streams.stream.0.codec_name"], "h264");
  EXPECT_EQ(p["streams.stream.0.height"], "480");
  EXPECT_EQ(p["streams.stream.0.nb_read_frames"], std::to_string(kFieldFrames));
  EXPECT_NEAR(p.Number("streams.stream.0.duration"), 3.0, 0.1);
  EXPECT_EQ(p["streams.stream.1.codec_type"], "");  // no sound on this channel
  // The first field's lines are the even ones (the luma plane of the first picture, unconverted).
  const std::string luma =
      Shell("ffmpeg -v error -i '" + woven.string() + "' -frames:v 1 -f rawvideo -pix_fmt yuv420p -");
  ASSERT_EQ(luma.size(), size_t{704 * 480 * 3 / 2});
  double even = 0, odd = 0;
  for (int row = 0; row < 480; ++row)
    for (int x = 0; x < 704; ++x) (row % 2 ? odd : even) += static_cast<uint8_t>(luma[row * 704 + x]);
  EXPECT_NEAR(even / (704 * 240), test::ToYuv(test::kRed).y, 4);
  EXPECT_NEAR(odd / (704 * 240), test::ToYuv(test::kBlue).y, 4);
  // Absolute names for sources outside the list's folder.
  EXPECT_TRUE(ChecksumsHold(result.sha256Path));
  std::ifstream list(result.sha256Path);
  std::string line;
  std::getline(list, line);
  std::getline(list, line);
  EXPECT_EQ(line.substr(66, 1), "/") << line;

  const fs::path copied = root / "out" / "copied.mp4";
  ExportRequest request = Request(1, kT0, kT0 + 60, copied);
  request.copyFirstField = true;
  ASSERT_TRUE(ExportMp4(request, result, error)) << error;
  EXPECT_FALSE(result.reencoded);
  EXPECT_EQ(result.height, 240);
  p = ProbeFile(copied);
  EXPECT_EQ(p.warnings, "");
  EXPECT_EQ(p["streams.stream.0.width"], "704");
  EXPECT_EQ(p["streams.stream.0.height"], "240");
  EXPECT_EQ(p["streams.stream.0.sample_aspect_ratio"], "1:2");
  EXPECT_EQ(p["streams.stream.0.nb_read_frames"], std::to_string(kFieldFrames));
  EXPECT_NEAR(p.Number("streams.stream.0.duration"), 3.0, 0.1);
  EXPECT_TRUE(ChecksumsHold(result.sha256Path));
}

TEST_F(ExportTest, RefusesWhatItCannotExportAndLeavesNothingBehind) {
  const fs::path out = root / "out" / "refused.mp4";
  struct Case {
    const char* what;
    int channel;
    uint32_t from, to;
    fs::path output;
    const char* message;
  } cases[] = {
      {"channel without frames", 5, kT0, kT0 + 60, out, "channel 6 has no recording"},
      {"sound but no pictures", 2, kT0, kT0 + 60, out, "channel 3 has no video"},
      {"reversed range", 0, kT0 + 3, kT0 + 1, out, "empty range"},
      {"range outside the pairs", 0, kT0 + 100, kT0 + 200, out, "empty range"},
      {"channel out of range", 16, kT0, kT0 + 60, out, "does not exist"},
      {"key frames that are not H.264", 3, kT0, kT0 + 60, out, "does not decode"},
      {"output folder missing", 0, kT0, kT0 + 60, root / "missing" / "x.mp4", "cannot write"},
  };
  for (const Case& c : cases) {
    ExportResult result;
    std::string error;
    EXPECT_FALSE(ExportMp4(Request(c.channel, c.from, c.to, c.output), result, error)) << c.what;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    EXPECT_FALSE(fs::exists(c.output)) << c.what;
    EXPECT_FALSE(fs::exists(c.output.string() + ".sha256")) << c.what;
  }
  // The output may not replace one of its own sources.
  ExportResult result;
  std::string error;
  const auto scanned = ScanPairs(folder.string());
  ASSERT_FALSE(scanned.empty());
  EXPECT_FALSE(ExportMp4(Request(0, kT0, kT0 + 60, scanned.front().vid), result, error));
  EXPECT_NE(error.find("is one of the source files"), std::string::npos) << error;
  EXPECT_EQ(ScanPairs(folder.string()).size(), pairs);
}

TEST_F(ExportTest, DamagedPairsExportWhatIsLeftOrFailWithAReason) {
  if (ToolsMissing()) GTEST_SKIP() << "ffprobe, ffmpeg or sha256sum missing";
  // Bytes flipped all over the data files, and a data file cut mid-record:
  // the export keeps to what it can read (sanitizer builds check the reads).
  for (unsigned seed = 1; seed <= 4; ++seed) {
    const fs::path damaged = root / ("damaged-" + std::to_string(seed));
    fs::remove_all(damaged);
    fs::copy(folder, damaged);
    std::mt19937 random(seed);
    std::vector<fs::path> vids;
    for (const auto& entry : fs::directory_iterator(damaged))
      if (entry.path().extension() == ".vid") vids.push_back(entry.path());
    std::sort(vids.begin(), vids.end());
    for (const fs::path& vid : vids) {
      std::fstream file(vid, std::ios::in | std::ios::out | std::ios::binary);
      const auto size = static_cast<uint32_t>(fs::file_size(vid));
      for (int i = 0; i < 60; ++i) {
        file.seekp(64 + random() % (size - 64));
        file.put(static_cast<char>(random()));
      }
    }
    fs::resize_file(vids[seed % vids.size()], fs::file_size(vids[seed % vids.size()]) * 3 / 5);
    for (int channel : {0, 1}) {
      const fs::path out = root / "out" / "damaged.mp4";
      ExportResult result;
      std::string error;
      const bool ok = ExportMp4(Request(channel, kT0, kT0 + 60, out, damaged), result, error);
      const std::string what = "seed " + std::to_string(seed) + " channel " + std::to_string(channel);
      EXPECT_EQ(fs::exists(out), ok) << what;
      if (ok) {
        EXPECT_GT(result.videoFrames, 0u) << what;
        const uint64_t recorded = channel == 0 ? kCifFrames : kFieldFrames;
        EXPECT_LE(result.videoFrames + result.skippedFrames, recorded) << what;
        EXPECT_TRUE(ChecksumsHold(result.sha256Path)) << what;
      } else {
        EXPECT_FALSE(error.empty()) << what;
      }
      fs::remove(out);
      fs::remove(out.string() + ".sha256");
    }
    fs::remove_all(damaged);
  }
}

}  // namespace
}  // namespace orva
