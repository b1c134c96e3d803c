// Build-time generator for the resource file: renders the idle and
// video-loss pictures to BMP files next to the programs, and writes the
// notice titles and texts from the link layer's table as JSON.
//
//   orva_resgen --pictures SVG_DIR OUT_DIR --notices OUT_JSON
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <cstdio>
#include <cstring>

#include "notice_pairs.h"

namespace {

bool RenderBmp(const QString& svgFile, const QString& bmpFile) {
  QFile in(svgFile);
  if (!in.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "orva_resgen: cannot read %s\n", qPrintable(svgFile));
    return false;
  }
  QSvgRenderer svg(in.readAll());
  if (!svg.isValid() || svg.defaultSize().isEmpty()) {
    std::fprintf(stderr, "orva_resgen: %s: not a valid SVG picture with a size\n", qPrintable(svgFile));
    return false;
  }
  QImage picture(svg.defaultSize(), QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::black);
  QPainter painter(&picture);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
  svg.render(&painter, QRectF(picture.rect()));
  painter.end();
  // 24-bit, as the client's other BMP pictures.
  const QImage image = picture.convertToFormat(QImage::Format_RGB888);
  if (image.isNull() || !image.save(bmpFile, "BMP")) {
    std::fprintf(stderr, "orva_resgen: cannot write %s\n", qPrintable(bmpFile));
    return false;
  }
  return true;
}

bool WriteNotices(const QString& file) {
  QJsonObject texts;
  const auto generic = orva::LookupNotice({0xFFFF, 0xFFFF});
  for (size_t i = 0; i < orva::services::kPostedNotices.size(); ++i) {
    const orva::Notice n = orva::services::kPostedNotices[i];
    const orva::NoticeText t = orva::LookupNotice(n);
    if (std::strcmp(t.text, generic.text) == 0) {
      std::fprintf(stderr, "orva_resgen: notice %u/%u has no text in the notice table\n", n.category, n.code);
      return false;
    }
    const QString key = QStringLiteral("notice.%1.%2.").arg(n.category).arg(n.code);
    texts.insert(key + QStringLiteral("title"), QString::fromUtf8(t.title));
    texts.insert(key + QStringLiteral("text"), QString::fromUtf8(t.text));
  }
  QFile out(file);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      out.write(QJsonDocument(texts).toJson(QJsonDocument::Indented)) < 0) {
    std::fprintf(stderr, "orva_resgen: cannot write %s\n", qPrintable(file));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Text in a picture needs the font database, hence a GUI application; the
  // offscreen platform keeps the build free of any display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  bool ok = true, any = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--pictures") == 0 && i + 2 < argc) {
      const QString svgDir = QString::fromLocal8Bit(argv[i + 1]), outDir = QString::fromLocal8Bit(argv[i + 2]);
      ok = RenderBmp(svgDir + "/commark.svg", outDir + "/ComMark.bmp") && ok;
      ok = RenderBmp(svgDir + "/vdoloss.svg", outDir + "/VdoLoss.bmp") && ok;
      i += 2;
      any = true;
    } else if (std::strcmp(argv[i], "--notices") == 0 && i + 1 < argc) {
      ok = WriteNotices(QString::fromLocal8Bit(argv[++i])) && ok;
      any = true;
    } else {
      std::fprintf(stderr, "usage: orva_resgen --pictures SVG_DIR OUT_DIR --notices OUT_JSON\n");
      return 2;
    }
  }
  return any && ok ? 0 : 1;
}
