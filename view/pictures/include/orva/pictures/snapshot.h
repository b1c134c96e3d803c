// Snapshots and image files: the 800 x 600 rendering with its date-time
// text, BMP written by hand, JPEG through libjpeg (6b interface), TIFF
// through libtiff, and loading pictures back. Needs QtGui (fonts and
// painting) but no widgets, so that orvactl can write the same files.
//
// Channels are 0-15 here as everywhere inside the client; file names show
// them counted from 1.
#pragma once

#include <QImage>
#include <QString>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace orva::pictures {

enum class SaveFormat { kJpeg = 0, kBmp = 1, kTiff = 2 };

inline constexpr int kSnapshotWidth = 800;
inline constexpr int kSnapshotHeight = 600;

// ".jpg", ".bmp" or ".tif".
const char* SnapshotExtension(SaveFormat format);

// "%04d%02d%02d%02d%02d%02d_00%02d" + ".jpg" / ".bmp" / ".tif", local time;
// `channel` 0-15 is written as 1-16.
std::string SnapshotFileName(int channel, SaveFormat format, const std::tm& localTime);

// Maps "Tahoma" to a font that is installed (DejaVu Sans). Idempotent;
// RenderSnapshot calls it too, but calling it once on the GUI thread at
// start-up keeps the font database from being touched first by a writer.
void InstallSnapshotFont();

// The rendered 800 x 600 RGB picture (QImage::Format_RGB888): the picture
// (bottom-up BGR24 when `rgb`, else top-down YV12) scaled from its
// margin-less source rectangle, the time text in cyan with the top-left of
// its text cell at ((800 - 21 * L / 2) / 2, 569). A null image when the
// size is unusable or the buffer is shorter than the size needs. The text
// is drawn only while a QGuiApplication exists (fonts need one).
QImage RenderSnapshot(const std::vector<uint8_t>& picture, int width, int height, bool rgb,
                      const QString& timeText);

// Writers: false with an error text when the file cannot be written. Any
// non-null image is accepted; it is written as 24-bit colour.
bool WriteBmp(const QImage& image, const std::string& path, std::string& error);
bool WriteJpeg(const QImage& image, const std::string& path, std::string& error);
bool WriteTiff(const QImage& image, const std::string& path, std::string& error);
bool WriteImage(const QImage& image, const std::string& path, SaveFormat format, std::string& error);

// One channel's snapshot on its own thread; IsDone() polled by the owner.
// The thread names the file from the local time when it runs, creates
// `savedFolder` if missing, renders and writes. Whatever happens, the done
// flag is set at the end; Path() is then empty and Error() says why when
// nothing was written.
class CSnapshotWriter {
 public:
  CSnapshotWriter(std::vector<uint8_t> picture, int width, int height, bool rgb, int channel, QString timeText,
                  SaveFormat format, std::string savedFolder);
  ~CSnapshotWriter();  // joins
  CSnapshotWriter(const CSnapshotWriter&) = delete;
  CSnapshotWriter& operator=(const CSnapshotWriter&) = delete;

  bool IsDone() const;
  std::string Path() const;   // the file written, empty on failure (valid when done)
  std::string Error() const;  // valid when done
  int Channel() const { return m_nChannel; }

 private:
  void Thread_Write();

  std::vector<uint8_t> m_picture;
  const int m_nWidth;
  const int m_nHeight;
  const bool m_bRgb;
  const int m_nChannel;
  const QString m_timeText;
  const SaveFormat m_format;
  const std::string m_savedFolder;
  // Written by the thread before m_done is set, read only after.
  std::string m_path;
  std::string m_error;
  std::atomic<bool> m_done{false};
  std::thread m_thread;
};

// TIFF through libtiff; BMP and JPEG through Qt's BMP and JPEG readers
// only; chosen by the lower-cased name, never by the content. A null image
// for anything else or a bad file, with the reason in `error` when given.
// The result is 24-bit (QImage::Format_RGB888).
QImage LoadImageFile(const QString& path, QString* error = nullptr);

}  // namespace orva::pictures
