// The writer thread: naming, the Saved folder, overwriting, failures.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <algorithm>
#include <cctype>
#include <thread>

#include "orva/pictures/snapshot.h"
#include "picture_helpers.h"

namespace orva::pictures {
namespace {

using namespace std::chrono_literals;
using test::ScratchDir;

std::vector<uint8_t> GreyYv12() {
  return test::MakeYv12(352, 240, [](int x, int) { return QColor(x % 256, 128, 64); });
}

bool WaitDone(const CSnapshotWriter& writer) {
  for (int i = 0; i < 1000 && !writer.IsDone(); ++i) std::this_thread::sleep_for(10ms);
  return writer.IsDone();
}

size_t FilesIn(const std::filesystem::path& dir) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST(CSnapshotWriter, WritesANamedFileIntoANewSavedFolder) {
  ScratchDir dir;
  const std::string saved = dir.File("base/Saved");
  CSnapshotWriter writer(GreyYv12(), 352, 240, false, 4, QStringLiteral("2009-08-25  08:10:41"), SaveFormat::kTiff,
                         saved);
  ASSERT_TRUE(WaitDone(writer));
  EXPECT_EQ(writer.Error(), "");
  const std::filesystem::path path = writer.Path();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.parent_path(), std::filesystem::path(saved));
  const std::string name = path.filename().string();
  ASSERT_EQ(name.size(), 23u) << name;
  EXPECT_EQ(name.substr(14), "_0005.tif");
  EXPECT_TRUE(std::all_of(name.begin(), name.begin() + 14, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      << name;
  EXPECT_EQ(name.substr(0, 2), "20");
  const QImage image = LoadImageFile(QString::fromStdString(path.string()));
  EXPECT_EQ(image.size(), QSize(800, 600));
  EXPECT_EQ(writer.Channel(), 4);
}

TEST(CSnapshotWriter, SameChannelSameSecondOverwritesOneFile) {
  ScratchDir dir;
  // Retried in the rare case that a second boundary falls between the two.
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::filesystem::remove_all(dir.Path() / "Saved");
    std::string first, second;
    {
      CSnapshotWriter a(GreyYv12(), 352, 240, false, 0, QString(), SaveFormat::kBmp, dir.File("Saved"));
      ASSERT_TRUE(WaitDone(a));
      CSnapshotWriter b(GreyYv12(), 352, 240, false, 0, QStringLiteral("later"), SaveFormat::kBmp,
                        dir.File("Saved"));
      ASSERT_TRUE(WaitDone(b));
      first = a.Path();
      second = b.Path();
    }
    ASSERT_FALSE(first.empty());
    if (first != second) continue;
    EXPECT_EQ(FilesIn(dir.Path() / "Saved"), 1u);
    return;
  }
  ADD_FAILURE() << "never two snapshots within one second";
}

TEST(CSnapshotWriter, SixteenChannelsAtOnceGiveSixteenFiles) {
  ScratchDir dir;
  const auto picture = test::MakeBottomUpBgr(720, 480, [](int x, int y) { return QColor(x % 200, y % 200, 90); });
  std::vector<std::unique_ptr<CSnapshotWriter>> writers;
  for (int ch = 0; ch < 16; ++ch)
    writers.push_back(std::make_unique<CSnapshotWriter>(picture, 720, 480, true, ch, QStringLiteral("01-02-2010  03:04:05"),
                                                        SaveFormat::kJpeg, dir.File("Saved")));
  for (const auto& w : writers) {
    ASSERT_TRUE(WaitDone(*w));
    EXPECT_FALSE(w->Path().empty()) << w->Error();
  }
  writers.clear();
  EXPECT_EQ(FilesIn(dir.Path() / "Saved"), 16u);
}

TEST(CSnapshotWriter, FailuresEndDoneWithAnError) {
  ScratchDir dir;
  // A plain file where the folder should be: the folder cannot be created.
  test::WriteBytes(dir.Path() / "blocker", {1, 2, 3});
  CSnapshotWriter blocked(GreyYv12(), 352, 240, false, 2, QString(), SaveFormat::kJpeg, dir.File("blocker/Saved"));
  ASSERT_TRUE(WaitDone(blocked));
  EXPECT_EQ(blocked.Path(), "");
  EXPECT_NE(blocked.Error().find("cannot create"), std::string::npos) << blocked.Error();

  // A picture too short for its size: nothing is written.
  CSnapshotWriter shortPicture(std::vector<uint8_t>(100), 352, 240, false, 2, QString(), SaveFormat::kBmp,
                               dir.File("Saved"));
  ASSERT_TRUE(WaitDone(shortPicture));
  EXPECT_EQ(shortPicture.Path(), "");
  EXPECT_FALSE(shortPicture.Error().empty());
  EXPECT_EQ(FilesIn(dir.Path() / "Saved"), 0u);
}

}  // namespace
}  // namespace orva::pictures
