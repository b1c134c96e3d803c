// Opening saved pictures again: the kind is chosen by the name alone, as
// the file dialog filters by extension, and a file is read only by the
// decoder of that kind, whatever its content looks like.
#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include "orva/pictures/snapshot.h"
#include "pictures_internal.h"

namespace orva::pictures {
namespace {

constexpr qint64 kMaxFileBytes = qint64{256} << 20;

QImage Fail(QString* error, const QString& message) {
  if (error) *error = message;
  return {};
}

// The whole file decoded from memory by Qt's reader for `format` only.
QImage LoadWithQt(const QString& path, const QByteArray& format, const QString& kind, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return Fail(error, QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
  const qint64 size = file.size();
  if (size <= 0 || size > kMaxFileBytes) return Fail(error, QStringLiteral("%1 is empty or too large.").arg(path));
  QByteArray bytes = file.readAll();
  if (bytes.size() != size) return Fail(error, QStringLiteral("Cannot read all of %1.").arg(path));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  reader.setDecideFormatFromContent(false);
  reader.setAutoDetectImageFormat(false);
  QImage image = reader.read();
  if (image.isNull())
    return Fail(error, QStringLiteral("%1 is not a readable %2 picture.").arg(path, kind));
  return image.convertToFormat(QImage::Format_RGB888);
}

}  // namespace

QImage LoadImageFile(const QString& path, QString* error) {
  if (error) error->clear();
  const QString name = path.toLower();
  if (name.contains(QLatin1String(".tif"))) {
    QImage image = detail::LoadTiff(QFile::encodeName(path).toStdString());
    if (image.isNull()) return Fail(error, QStringLiteral("%1 is not a readable TIFF picture.").arg(path));
    return image;
  }
  if (name.contains(QLatin1String(".bmp"))) return LoadWithQt(path, QByteArrayLiteral("bmp"), QStringLiteral("BMP"), error);
  if (name.contains(QLatin1String(".jpg"))) return LoadWithQt(path, QByteArrayLiteral("jpeg"), QStringLiteral("JPEG"), error);
  return Fail(error, QStringLiteral("%1: only BMP, JPEG and TIFF pictures can be opened.").arg(path));
}

}  // namespace orva::pictures
