#include "orva/services/resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QResource>
#include <QSvgRenderer>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>

#include "orva/link/trace.h"

namespace orva::services {
namespace {

const QString kRccName = QStringLiteral("OrvaRes.rcc");
const QString kMarker = QStringLiteral(":/orva/texts/ui.json");

struct State {
  std::mutex lock;
  QString registered;  // the registered file, empty when none
  QHash<QString, QString> texts;
  // The skin pictures' SVG text, by name; empty when missing. Kept as bytes,
  // not renderers, so no QObject outlives the application.
  QHash<QString, QByteArray> pictures;
};
State& S() {
  static State state;
  return state;
}

QString ProgramDir() {
  if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? QString() : QString::fromStdString(exe.parent_path().string());
}

QString DataDir() { return ProgramDir() + QStringLiteral("/../share/orva7000"); }

void MergeTexts(const QString& file, QHash<QString, QString>& texts) {
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) return;
  const QJsonObject object = QJsonDocument::fromJson(in.readAll()).object();
  for (auto it = object.begin(); it != object.end(); ++it)
    if (it.value().isString()) texts.insert(it.key(), it.value().toString());
}

enum class Look { kNormal, kPressed, kDisabled, kHover };

// "connect.down" -> ("connect", pressed).
QString SplitLook(const QString& name, Look& look) {
  look = Look::kNormal;
  const qsizetype dot = name.lastIndexOf(u'.');
  if (dot < 0) return name;
  const QString suffix = name.mid(dot + 1);
  if (suffix == u"down" || suffix == u"pressed") look = Look::kPressed;
  else if (suffix == u"disabled") look = Look::kDisabled;
  else if (suffix == u"hot" || suffix == u"over") look = Look::kHover;
  else return name;
  return name.left(dot);
}

using SvgPtr = std::shared_ptr<QSvgRenderer>;

// The picture ready to draw, or null when there is none.
SvgPtr FindSvg(const QString& name) {
  QByteArray data;
  QString readFrom;  // set when the file was read just now
  {
    State& s = S();
    std::lock_guard<std::mutex> lock(s.lock);
    if (s.registered.isEmpty()) return {};
    auto it = s.pictures.find(name);
    if (it != s.pictures.end()) {
      data = *it;
    } else {
      readFrom = name == u"orva7000" ? QStringLiteral(":/orva/icons/orva7000.svg")
                                     : QStringLiteral(":/orva/skin/%1.svg").arg(name);
      QFile in(readFrom);
      if (in.open(QIODevice::ReadOnly)) data = in.readAll();
      s.pictures.insert(name, data);
    }
  }
  if (data.isEmpty()) return {};
  auto svg = std::make_shared<QSvgRenderer>(data);
  if (!svg->isValid() || svg->defaultSize().isEmpty()) {
    if (!readFrom.isEmpty()) Trace("Resources: %s: not a valid SVG picture with a size\n", qPrintable(readFrom));
    return {};
  }
  return svg;
}

void ApplyLook(QImage& image, Look look) {
  if (look == Look::kNormal) return;
  image = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = row[x];
      int r = qRed(p), g = qGreen(p), b = qBlue(p), a = qAlpha(p);
      switch (look) {
        case Look::kPressed:  // darker, as if pushed in
          r = r * 3 / 4, g = g * 3 / 4, b = b * 3 / 4;
          break;
        case Look::kDisabled: {  // grey and faint
          const int grey = qGray(p);
          r = g = b = grey;
          a = a * 2 / 5;
          break;
        }
        case Look::kHover:
          r = std::min(255, r + 28), g = std::min(255, g + 28), b = std::min(255, b + 28);
          break;
        case Look::kNormal:
          break;
      }
      row[x] = qRgba(r, g, b, a);
    }
  }
  if (look == Look::kPressed) {  // and one pixel down and right
    QImage shifted(image.size(), QImage::Format_ARGB32);
    shifted.fill(Qt::transparent);
    QPainter painter(&shifted);
    painter.drawImage(1, 1, image);
    painter.end();
    image = shifted;
  }
}

// A transparent image of `size` (the picture's own size when empty) with the
// picture's view box stretched over it, then given `look`.
QImage RenderSvg(QSvgRenderer& svg, QSize size, Look look) {
  if (size.isEmpty()) size = svg.defaultSize();
  if (size.isEmpty()) return {};
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform | QPainter::TextAntialiasing);
  svg.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  painter.end();
  ApplyLook(image, look);
  return image;
}

// Draws the picture at any size: sharp at every scale the widgets ask for.
class SvgIconEngine final : public QIconEngine {
 public:
  SvgIconEngine(SvgPtr svg, Look look) : m_svg(std::move(svg)), m_look(look) {}
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    painter->drawImage(rect, Render(rect.size(), mode, state));
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return QPixmap::fromImage(Render(size, mode, state));
  }
  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    return m_svg->defaultSize().scaled(size, Qt::KeepAspectRatio);
  }
  QIconEngine* clone() const override { return new SvgIconEngine(m_svg, m_look); }
  QString key() const override { return QStringLiteral("orva-svg"); }

 private:
  QImage Render(QSize size, QIcon::Mode mode, QIcon::State state) const {
    Look look = m_look;
    if (mode == QIcon::Disabled) look = Look::kDisabled;
    else if (state == QIcon::On || mode == QIcon::Selected) look = Look::kPressed;
    else if (mode == QIcon::Active && look == Look::kNormal) look = Look::kHover;
    return RenderSvg(*m_svg, size, look);
  }
  SvgPtr m_svg;  // shared by the clones, never null
  Look m_look;
};

QPixmap FixedPicture(const QString& file) {
  const QString candidates[] = {QDir::currentPath() + u'/' + file, ProgramDir() + u'/' + file,
                                DataDir() + u'/' + file, QStringLiteral(":/orva/pictures/") + file};
  for (const QString& path : candidates) {
    if (path.startsWith(u':') && !Resources::Loaded()) continue;
    if (!QFileInfo::exists(path)) continue;
    QImage image(path);
    if (!image.isNull()) return QPixmap::fromImage(image);
  }
  return {};
}

}  // namespace

bool Resources::LoadFrom(const QString& rccFile) {
  Unload();
  const QString file = QFileInfo(rccFile).absoluteFilePath();
  if (!QFileInfo(file).isFile() || !QResource::registerResource(file)) return false;
  if (!QFileInfo::exists(kMarker)) {  // some other resource file
    QResource::unregisterResource(file);
    return false;
  }
  QHash<QString, QString> texts;
  MergeTexts(QStringLiteral(":/orva/texts/ui.json"), texts);
  MergeTexts(QStringLiteral(":/orva/texts/setup.json"), texts);
  MergeTexts(QStringLiteral(":/orva/texts/notices.json"), texts);
  State& s = S();
  std::lock_guard<std::mutex> lock(s.lock);
  s.registered = file;
  s.texts = std::move(texts);
  return true;
}

bool Resources::Load() {
  QStringList candidates{ProgramDir() + u'/' + kRccName, DataDir() + u'/' + kRccName};
  const QString env = qEnvironmentVariable("ORVA_RESOURCES");
  if (!env.isEmpty()) candidates << (QFileInfo(env).isDir() ? env + u'/' + kRccName : env);
  for (const QString& file : candidates)
    if (LoadFrom(file)) return true;
  Trace("OrvaRes.dll not found.\n");
  return false;
}

void Resources::Unload() {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.lock);
  if (s.registered.isEmpty()) return;
  QResource::unregisterResource(s.registered);
  s.registered.clear();
  s.texts.clear();
  s.pictures.clear();
}

bool Resources::Loaded() {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.lock);
  return !s.registered.isEmpty();
}

QString Resources::NoticeTitle(Notice notice) {
  const QString key = QStringLiteral("notice.%1.%2.title").arg(notice.category).arg(notice.code);
  const QString text = Text(key.toUtf8().constData());
  return text != key ? text : QString::fromUtf8(LookupNotice(notice).title);
}

QString Resources::NoticeText(Notice notice) {
  const QString key = QStringLiteral("notice.%1.%2.text").arg(notice.category).arg(notice.code);
  const QString text = Text(key.toUtf8().constData());
  return text != key ? text : QString::fromUtf8(LookupNotice(notice).text);
}

QString Resources::Text(const char* key) {
  const QString k = QString::fromUtf8(key ? key : "");
  State& s = S();
  std::lock_guard<std::mutex> lock(s.lock);
  return s.texts.value(k, k);
}

QString Resources::Text(const char* key, const char* fallback) {
  const QString text = Text(key);
  return text == QLatin1String(key ? key : "") ? QString::fromUtf8(fallback ? fallback : "") : text;
}

QStringList Resources::PictureNames() {
  if (!Loaded()) return {};
  QStringList names;
  for (const QFileInfo& info : QDir(QStringLiteral(":/orva/skin")).entryInfoList({QStringLiteral("*.svg")}, QDir::Files))
    names << info.completeBaseName();
  names.sort();
  return names;
}

QIcon Resources::Icon(const char* name) {
  Look look;
  const QString base = SplitLook(QString::fromUtf8(name ? name : ""), look);
  SvgPtr svg = FindSvg(base);
  if (!svg) return {};
  return QIcon(new SvgIconEngine(std::move(svg), look));
}

QPixmap Resources::Picture(const char* name) {
  const QString n = QString::fromUtf8(name ? name : "");
  if (n == u"ComMark" || n == u"ComMark.bmp") return IdlePicture();
  if (n == u"VdoLoss" || n == u"VdoLoss.bmp") return VideoLossPicture();
  Look look;
  const QString base = SplitLook(n, look);
  const SvgPtr svg = FindSvg(base);
  if (!svg) return {};
  return QPixmap::fromImage(RenderSvg(*svg, QSize(), look));
}

QPixmap Resources::IdlePicture() { return FixedPicture(QStringLiteral("ComMark.bmp")); }
QPixmap Resources::VideoLossPicture() { return FixedPicture(QStringLiteral("VdoLoss.bmp")); }

}  // namespace orva::services
