// File names and the per-channel snapshot writer thread.
#include <cstdio>
#include <filesystem>

#include "orva/pictures/snapshot.h"

namespace orva::pictures {

const char* SnapshotExtension(SaveFormat format) {
  switch (format) {
    case SaveFormat::kBmp: return ".bmp";
    case SaveFormat::kTiff: return ".tif";
    case SaveFormat::kJpeg: break;
  }
  return ".jpg";
}

std::string SnapshotFileName(int channel, SaveFormat format, const std::tm& localTime) {
  char name[64];
  std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d_00%02d%s", localTime.tm_year + 1900,
                localTime.tm_mon + 1, localTime.tm_mday, localTime.tm_hour, localTime.tm_min, localTime.tm_sec,
                channel + 1, SnapshotExtension(format));
  return name;
}

bool WriteImage(const QImage& image, const std::string& path, SaveFormat format, std::string& error) {
  switch (format) {
    case SaveFormat::kBmp: return WriteBmp(image, path, error);
    case SaveFormat::kTiff: return WriteTiff(image, path, error);
    case SaveFormat::kJpeg: break;
  }
  return WriteJpeg(image, path, error);
}

CSnapshotWriter::CSnapshotWriter(std::vector<uint8_t> picture, int width, int height, bool rgb, int channel,
                                 QString timeText, SaveFormat format, std::string savedFolder)
    : m_picture(std::move(picture)),
      m_nWidth(width),
      m_nHeight(height),
      m_bRgb(rgb),
      m_nChannel(channel),
      m_timeText(std::move(timeText)),
      m_format(format),
      m_savedFolder(std::move(savedFolder)) {
  m_thread = std::thread([this] { Thread_Write(); });
}

CSnapshotWriter::~CSnapshotWriter() {
  if (m_thread.joinable()) m_thread.join();
}

bool CSnapshotWriter::IsDone() const { return m_done.load(std::memory_order_acquire); }

std::string CSnapshotWriter::Path() const { return IsDone() ? m_path : std::string(); }

std::string CSnapshotWriter::Error() const { return IsDone() ? m_error : std::string(); }

void CSnapshotWriter::Thread_Write() {
  // Named when the writer runs, to the second: a second snapshot of the
  // channel within the same second replaces the first.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::filesystem::path path =
      std::filesystem::path(m_savedFolder) / SnapshotFileName(m_nChannel, m_format, local);

  std::error_code ec;
  std::filesystem::create_directories(m_savedFolder, ec);
  if (ec) {
    m_error = "cannot create " + m_savedFolder + ": " + ec.message();
  } else {
    const QImage image = RenderSnapshot(m_picture, m_nWidth, m_nHeight, m_bRgb, m_timeText);
    if (image.isNull()) {
      m_error = "channel " + std::to_string(m_nChannel + 1) + ": the picture (" + std::to_string(m_nWidth) + "x" +
                std::to_string(m_nHeight) + ") cannot be rendered";
    } else if (WriteImage(image, path.string(), m_format, m_error)) {
      m_path = path.string();
    }
  }
  // The copy is not needed any more; the writer may live on until reaped.
  std::vector<uint8_t>().swap(m_picture);
  m_done.store(true, std::memory_order_release);
}

}  // namespace orva::pictures
