// Opening saved pictures again: the kind is chosen by the name alone, as
// the file dialog filters by extension.
#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include "orva/pictures/snapshot.h"
#include "pictures_internal.h"

namespace orva::pictures {
namespace {

constexpr qint64 kMaxFileBytes = qint64{256} << 20;

// The whole file decoded from memory, whatever Qt recognises in it.
QImage LoadWithQt(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const qint64 size = file.size();
  if (size <= 0 || size > kMaxFileBytes) return {};
  QByteArray bytes = file.readAll();
  if (bytes.size() != size) return {};
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  QImage image = reader.read();
  if (image.isNull()) return {};
  return image.convertToFormat(QImage::Format_RGB888);
}

}  // namespace

QImage LoadImageFile(const QString& path) {
  const QString name = path.toLower();
  if (name.contains(QLatin1String(".tif"))) return detail::LoadTiff(QFile::encodeName(path).toStdString());
  if (name.contains(QLatin1String(".bmp")) || name.contains(QLatin1String(".jpg"))) return LoadWithQt(path);
  return {};
}

}  // namespace orva::pictures
