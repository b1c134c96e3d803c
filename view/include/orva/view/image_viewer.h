// Saved pictures: the open-image dialog with its 360 x 240 preview and the
// image viewer window.
#pragma once

#include <QFileDialog>
#include <QImage>
#include <QWidget>

class QLabel;

namespace orva::view {

inline constexpr const char* kImageFilter = "JPEG files(*.jpg), BMP files(*.bmp), TIFF files(*.tif) (*.jpg *.bmp *.tif)";

// "(%d x %d)" for a loaded picture, empty for none.
QString ImageSizeText(const QImage& image);

class OpenImageDialog : public QFileDialog {
  Q_OBJECT
 public:
  OpenImageDialog(const QString& savedFolder, uint8_t opacity, QWidget* parent = nullptr);
  // Loads the file into the preview (also called when the selection changes).
  void Preview(const QString& path);
  QLabel* PreviewLabel() const { return m_preview; }
  QString SizeText() const;

 private:
  QLabel* m_preview = nullptr;
  QLabel* m_size = nullptr;
};

class ImageViewer : public QWidget {
  Q_OBJECT
 public:
  ImageViewer(const QString& path, uint8_t opacity, QWidget* parent = nullptr);
  bool Loaded() const { return !m_image.isNull(); }
  const QImage& Image() const { return m_image; }
  // Why the picture could not be shown; empty when it was loaded.
  const QString& LoadError() const { return m_error; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_error;  // before m_image: the loader writes it
  QImage m_image;
};

}  // namespace orva::view
