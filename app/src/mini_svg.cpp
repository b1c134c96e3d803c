#include "mini_svg.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <QTransform>
#include <QXmlStreamReader>
#include <cmath>
#include <numbers>

namespace orva::app {

struct MiniSvg::Item {
  QPainterPath path;
  QTransform transform;
  QBrush fill;
  QPen pen;
  qreal opacity = 1;
};

namespace {

// ------------------------------------------------------------ number lists

class Scanner {
 public:
  explicit Scanner(QStringView text) : m_text(text) {}
  void SkipSeparators() {
    while (m_pos < m_text.size() && (m_text[m_pos].isSpace() || m_text[m_pos] == u',')) ++m_pos;
  }
  bool AtEnd() {
    SkipSeparators();
    return m_pos >= m_text.size();
  }
  QChar Peek() { return AtEnd() ? QChar() : m_text[m_pos]; }
  QChar Take() { return AtEnd() ? QChar() : m_text[m_pos++]; }
  bool StartsNumber() {
    const QChar c = Peek();
    return c.isDigit() || c == u'-' || c == u'+' || c == u'.';
  }
  bool Number(qreal& out) {
    SkipSeparators();
    const qsizetype begin = m_pos;
    auto digits = [&] {
      const qsizetype from = m_pos;
      while (m_pos < m_text.size() && m_text[m_pos].isDigit()) ++m_pos;
      return m_pos > from;
    };
    if (m_pos < m_text.size() && (m_text[m_pos] == u'-' || m_text[m_pos] == u'+')) ++m_pos;
    bool any = digits();
    if (m_pos < m_text.size() && m_text[m_pos] == u'.') {
      ++m_pos;
      any = digits() || any;
    }
    if (!any) {
      m_pos = begin;
      return false;
    }
    if (m_pos < m_text.size() && (m_text[m_pos] == u'e' || m_text[m_pos] == u'E')) {
      const qsizetype mark = m_pos++;
      if (m_pos < m_text.size() && (m_text[m_pos] == u'-' || m_text[m_pos] == u'+')) ++m_pos;
      if (!digits()) m_pos = mark;
    }
    bool ok = false;
    out = m_text.mid(begin, m_pos - begin).toDouble(&ok);
    return ok && std::isfinite(out);
  }
  // Arc flags may be written without separators ("a5 5 0 01 10 10").
  bool Flag(bool& out) {
    SkipSeparators();
    if (m_pos < m_text.size() && (m_text[m_pos] == u'0' || m_text[m_pos] == u'1')) {
      out = m_text[m_pos++] == u'1';
      return true;
    }
    return false;
  }

 private:
  QStringView m_text;
  qsizetype m_pos = 0;
};

qreal Length(const QString& text, qreal fallback) {
  QString t = text.trimmed();
  if (t.endsWith(QLatin1String("px"))) t.chop(2);
  bool ok = false;
  const qreal v = t.toDouble(&ok);
  return ok && std::isfinite(v) ? v : fallback;
}

// A gradient coordinate: a fraction, or a percentage.
qreal Fraction(const QString& text, qreal fallback) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return fallback;
  if (t.endsWith(u'%')) return Length(t.chopped(1), fallback * 100) / 100;
  return Length(t, fallback);
}

// ------------------------------------------------------------------ paths

void ArcTo(QPainterPath& path, QPointF from, qreal rx, qreal ry, qreal angle, bool large, bool sweep, QPointF to) {
  rx = std::abs(rx);
  ry = std::abs(ry);
  if (from == to) return;
  if (rx == 0 || ry == 0) {
    path.lineTo(to);
    return;
  }
  const qreal phi = angle * std::numbers::pi / 180;
  const qreal c = std::cos(phi), s = std::sin(phi);
  const qreal dx = (from.x() - to.x()) / 2, dy = (from.y() - to.y()) / 2;
  const qreal x1 = c * dx + s * dy, y1 = -s * dx + c * dy;
  const qreal lambda = x1 * x1 / (rx * rx) + y1 * y1 / (ry * ry);
  if (lambda > 1) {
    rx *= std::sqrt(lambda);
    ry *= std::sqrt(lambda);
  }
  const qreal num = rx * rx * ry * ry - rx * rx * y1 * y1 - ry * ry * x1 * x1;
  const qreal den = rx * rx * y1 * y1 + ry * ry * x1 * x1;
  qreal coef = den > 0 ? std::sqrt(std::max<qreal>(0, num / den)) : 0;
  if (large == sweep) coef = -coef;
  const qreal cx1 = coef * rx * y1 / ry, cy1 = -coef * ry * x1 / rx;
  const qreal cx = c * cx1 - s * cy1 + (from.x() + to.x()) / 2;
  const qreal cy = s * cx1 + c * cy1 + (from.y() + to.y()) / 2;
  auto vecAngle = [](qreal ux, qreal uy, qreal vx, qreal vy) { return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy); };
  const qreal theta = vecAngle(1, 0, (x1 - cx1) / rx, (y1 - cy1) / ry);
  qreal delta = vecAngle((x1 - cx1) / rx, (y1 - cy1) / ry, (-x1 - cx1) / rx, (-y1 - cy1) / ry);
  if (!sweep && delta > 0) delta -= 2 * std::numbers::pi;
  if (sweep && delta < 0) delta += 2 * std::numbers::pi;
  auto map = [&](qreal ux, qreal uy) { return QPointF(cx + rx * ux * c - ry * uy * s, cy + rx * ux * s + ry * uy * c); };
  const int segments = std::max(1, static_cast<int>(std::ceil(std::abs(delta) / (std::numbers::pi / 2) - 1e-9)));
  const qreal step = delta / segments;
  const qreal alpha = 4.0 / 3.0 * std::tan(step / 4);
  for (int i = 0; i < segments; ++i) {
    const qreal a = theta + i * step, b = a + step;
    const qreal ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    path.cubicTo(map(ca - alpha * sa, sa + alpha * ca), map(cb + alpha * sb, sb - alpha * cb),
                 i + 1 == segments ? to : map(cb, sb));
  }
}

bool ParsePathData(const QString& data, QPainterPath& path) {
  Scanner in(data);
  QPointF cur, start, lastControl;
  QChar command, previous;
  while (!in.AtEnd()) {
    if (in.Peek().isLetter())
      command = in.Take();
    else if (command.isNull())
      return false;  // numbers before any command
    const bool rel = command.isLower();
    const QPointF base = rel ? cur : QPointF();
    qreal a[7];
    auto numbers = [&](int n) {
      for (int i = 0; i < n; ++i)
        if (!in.Number(a[i])) return false;
      return true;
    };
    switch (command.toUpper().unicode()) {
      case 'M':
        if (!numbers(2)) return false;
        cur = base + QPointF(a[0], a[1]);
        path.moveTo(cur);
        start = cur;
        command = rel ? QChar(u'l') : QChar(u'L');  // further pairs are lines
        break;
      case 'L':
        if (!numbers(2)) return false;
        cur = base + QPointF(a[0], a[1]);
        path.lineTo(cur);
        break;
      case 'H':
        if (!numbers(1)) return false;
        cur.setX(rel ? cur.x() + a[0] : a[0]);
        path.lineTo(cur);
        break;
      case 'V':
        if (!numbers(1)) return false;
        cur.setY(rel ? cur.y() + a[0] : a[0]);
        path.lineTo(cur);
        break;
      case 'C': {
        if (!numbers(6)) return false;
        const QPointF c1 = base + QPointF(a[0], a[1]), c2 = base + QPointF(a[2], a[3]);
        cur = base + QPointF(a[4], a[5]);
        path.cubicTo(c1, c2, cur);
        lastControl = c2;
        break;
      }
      case 'S': {
        if (!numbers(4)) return false;
        const QChar p = previous.toUpper();
        const QPointF c1 = (p == u'C' || p == u'S') ? 2 * cur - lastControl : cur;
        const QPointF c2 = base + QPointF(a[0], a[1]);
        cur = base + QPointF(a[2], a[3]);
        path.cubicTo(c1, c2, cur);
        lastControl = c2;
        break;
      }
      case 'Q': {
        if (!numbers(4)) return false;
        const QPointF c1 = base + QPointF(a[0], a[1]);
        cur = base + QPointF(a[2], a[3]);
        path.quadTo(c1, cur);
        lastControl = c1;
        break;
      }
      case 'T': {
        if (!numbers(2)) return false;
        const QChar p = previous.toUpper();
        const QPointF c1 = (p == u'Q' || p == u'T') ? 2 * cur - lastControl : cur;
        cur = base + QPointF(a[0], a[1]);
        path.quadTo(c1, cur);
        lastControl = c1;
        break;
      }
      case 'A': {
        bool large = false, sweep = false;
        if (!numbers(3) || !in.Flag(large) || !in.Flag(sweep) || !in.Number(a[3]) || !in.Number(a[4])) return false;
        const QPointF to = base + QPointF(a[3], a[4]);
        ArcTo(path, cur, a[0], a[1], a[2], large, sweep, to);
        cur = to;
        break;
      }
      case 'Z':
        path.closeSubpath();
        cur = start;
        previous = command;
        command = QChar();  // a number after Z needs a new command
        if (!in.AtEnd() && !in.Peek().isLetter()) return false;
        continue;
      default:
        return false;
    }
    previous = command;
    if (!in.AtEnd() && !in.Peek().isLetter() && !in.StartsNumber()) return false;
  }
  return true;
}

QPolygonF ParsePoints(const QString& text) {
  Scanner in(text);
  QPolygonF points;
  qreal x, y;
  while (in.Number(x) && in.Number(y)) points << QPointF(x, y);
  return points;
}

QTransform ParseTransform(const QString& text) {
  QTransform result;
  const QString t = text.trimmed();
  qsizetype pos = 0;
  while (pos < t.size()) {
    const qsizetype open = t.indexOf(u'(', pos), close = t.indexOf(u')', pos);
    if (open < 0 || close < open) break;
    const QString name = t.mid(pos, open - pos).trimmed().remove(u',').trimmed();
    Scanner in(QStringView(t).mid(open + 1, close - open - 1));
    std::vector<qreal> v;
    qreal n;
    while (in.Number(n)) v.push_back(n);
    QTransform m;
    if (name == u"translate" && !v.empty())
      m.translate(v[0], v.size() > 1 ? v[1] : 0);
    else if (name == u"scale" && !v.empty())
      m.scale(v[0], v.size() > 1 ? v[1] : v[0]);
    else if (name == u"rotate" && !v.empty()) {
      if (v.size() >= 3) m.translate(v[1], v[2]);
      m.rotate(v[0]);
      if (v.size() >= 3) m.translate(-v[1], -v[2]);
    } else if (name == u"matrix" && v.size() == 6)
      m = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
    result = m * result;  // the later transform applies first
    pos = close + 1;
  }
  return result;
}

// ------------------------------------------------------------------ style

struct Style {
  QString fill = QStringLiteral("#000");
  QString stroke = QStringLiteral("none");
  qreal strokeWidth = 1;
  Qt::PenCapStyle cap = Qt::FlatCap;
  Qt::PenJoinStyle join = Qt::MiterJoin;
  Qt::FillRule fillRule = Qt::WindingFill;
  qreal opacity = 1, fillOpacity = 1, strokeOpacity = 1;
  qreal fontSize = 16;
  bool bold = false;
  QString fontFamily = QStringLiteral("DejaVu Sans");
  QString anchor = QStringLiteral("start");
  QTransform transform;
};

void ApplyAttributes(const QXmlStreamAttributes& at, Style& s) {
  auto has = [&](const char* n) { return at.hasAttribute(QLatin1String(n)); };
  auto get = [&](const char* n) { return at.value(QLatin1String(n)).toString().trimmed(); };
  if (has("fill")) s.fill = get("fill");
  if (has("stroke")) s.stroke = get("stroke");
  if (has("stroke-width")) s.strokeWidth = Length(get("stroke-width"), s.strokeWidth);
  if (has("stroke-linecap")) {
    const QString v = get("stroke-linecap");
    s.cap = v == u"round" ? Qt::RoundCap : v == u"square" ? Qt::SquareCap : Qt::FlatCap;
  }
  if (has("stroke-linejoin")) {
    const QString v = get("stroke-linejoin");
    s.join = v == u"round" ? Qt::RoundJoin : v == u"bevel" ? Qt::BevelJoin : Qt::MiterJoin;
  }
  if (has("fill-rule")) s.fillRule = get("fill-rule") == u"evenodd" ? Qt::OddEvenFill : Qt::WindingFill;
  if (has("opacity")) s.opacity *= std::clamp<qreal>(Length(get("opacity"), 1), 0, 1);
  if (has("fill-opacity")) s.fillOpacity = std::clamp<qreal>(Length(get("fill-opacity"), 1), 0, 1);
  if (has("stroke-opacity")) s.strokeOpacity = std::clamp<qreal>(Length(get("stroke-opacity"), 1), 0, 1);
  if (has("font-size")) s.fontSize = Length(get("font-size"), s.fontSize);
  if (has("font-weight")) {
    const QString w = get("font-weight");
    s.bold = w == u"bold" || w.toInt() >= 600;
  }
  if (has("font-family")) s.fontFamily = get("font-family").remove(u'\'').remove(u'"');
  if (has("text-anchor")) s.anchor = get("text-anchor");
  if (has("transform")) s.transform = ParseTransform(get("transform")) * s.transform;
}

struct Parser {
  QHash<QString, QGradient*> gradients;
  std::vector<std::unique_ptr<QGradient>> owned;

  QBrush Paint(const QString& spec, qreal alpha) const {
    if (spec.isEmpty() || spec == u"none" || spec == u"transparent") return Qt::NoBrush;
    if (spec.startsWith(QLatin1String("url(#"))) {
      const QString id = spec.mid(5, spec.indexOf(u')') - 5);
      const QGradient* g = gradients.value(id);
      if (!g) return Qt::NoBrush;
      QGradient copy = *g;
      QGradientStops stops = copy.stops();
      for (auto& stop : stops) stop.second.setAlphaF(stop.second.alphaF() * alpha);
      copy.setStops(stops);
      return QBrush(copy);
    }
    QColor color = QColor::fromString(spec);
    if (!color.isValid()) return Qt::NoBrush;
    color.setAlphaF(color.alphaF() * alpha);
    return color;
  }
};

}  // namespace

MiniSvg::MiniSvg() = default;
MiniSvg::~MiniSvg() = default;
MiniSvg::MiniSvg(const MiniSvg&) = default;
MiniSvg& MiniSvg::operator=(const MiniSvg&) = default;

bool MiniSvg::IsNull() const { return !m_items; }
QSizeF MiniSvg::Size() const { return m_size; }

bool MiniSvg::Load(const QByteArray& data, QString& error) {
  m_items.reset();
  auto items = std::make_shared<std::vector<Item>>();
  Parser parser;
  QXmlStreamReader xml(data);
  std::vector<Style> stack{Style{}};
  QGradient* gradient = nullptr;  // the gradient whose stops are being read
  QString textTarget;             // collects the characters of a text element
  bool inText = false, sawRoot = false;
  QPointF textAt;

  auto addItem = [&](const QPainterPath& path, const Style& s) {
    Item item;
    item.path = path;
    item.path.setFillRule(s.fillRule);
    item.transform = s.transform;
    item.fill = parser.Paint(s.fill, s.fillOpacity);
    const QBrush strokeBrush = parser.Paint(s.stroke, s.strokeOpacity);
    if (strokeBrush.style() != Qt::NoBrush && s.strokeWidth > 0)
      item.pen = QPen(strokeBrush, s.strokeWidth, Qt::SolidLine, s.cap, s.join);
    else
      item.pen = Qt::NoPen;
    item.opacity = s.opacity;
    items->push_back(std::move(item));
  };

  while (!xml.atEnd()) {
    const auto token = xml.readNext();
    if (token == QXmlStreamReader::StartElement) {
      const QString name = xml.name().toString();
      const QXmlStreamAttributes at = xml.attributes();
      auto num = [&](const char* n, qreal fallback = 0) { return Length(at.value(QLatin1String(n)).toString(), fallback); };
      Style s = stack.back();
      ApplyAttributes(at, s);
      stack.push_back(s);
      if (name == u"svg" && !sawRoot) {
        sawRoot = true;
        Scanner vb(at.value(QLatin1String("viewBox")));
        qreal x = 0, y = 0, w = 0, h = 0;
        const bool hasViewBox = vb.Number(x) && vb.Number(y) && vb.Number(w) && vb.Number(h) && w > 0 && h > 0;
        const qreal width = num("width", hasViewBox ? w : 0), height = num("height", hasViewBox ? h : 0);
        if (width <= 0 || height <= 0) {
          error = QStringLiteral("the picture has no size");
          return false;
        }
        m_size = QSizeF(width, height);
        m_viewBox = hasViewBox ? QRectF(x, y, w, h) : QRectF(0, 0, width, height);
      } else if (name == u"linearGradient" || name == u"radialGradient") {
        std::unique_ptr<QGradient> g;
        if (name == u"linearGradient")
          g = std::make_unique<QLinearGradient>(Fraction(at.value(QLatin1String("x1")).toString(), 0),
                                                Fraction(at.value(QLatin1String("y1")).toString(), 0),
                                                Fraction(at.value(QLatin1String("x2")).toString(), 1),
                                                Fraction(at.value(QLatin1String("y2")).toString(), 0));
        else {
          const qreal cx = Fraction(at.value(QLatin1String("cx")).toString(), 0.5);
          const qreal cy = Fraction(at.value(QLatin1String("cy")).toString(), 0.5);
          g = std::make_unique<QRadialGradient>(QPointF(cx, cy), Fraction(at.value(QLatin1String("r")).toString(), 0.5),
                                                QPointF(Fraction(at.value(QLatin1String("fx")).toString(), cx),
                                                        Fraction(at.value(QLatin1String("fy")).toString(), cy)));
        }
        g->setCoordinateMode(at.value(QLatin1String("gradientUnits")) == u"userSpaceOnUse" ? QGradient::LogicalMode
                                                                                           : QGradient::ObjectBoundingMode);
        gradient = g.get();
        parser.gradients.insert(at.value(QLatin1String("id")).toString(), gradient);
        parser.owned.push_back(std::move(g));
      } else if (name == u"stop" && gradient) {
        QColor color = QColor::fromString(at.value(QLatin1String("stop-color")).toString().trimmed());
        if (!color.isValid()) color = Qt::black;
        color.setAlphaF(std::clamp<qreal>(num("stop-opacity", 1), 0, 1));
        gradient->setColorAt(std::clamp<qreal>(Fraction(at.value(QLatin1String("offset")).toString(), 0), 0, 1), color);
      } else if (name == u"rect") {
        QPainterPath p;
        const QRectF r(num("x"), num("y"), num("width"), num("height"));
        qreal rx = num("rx", -1), ry = num("ry", -1);
        if (rx < 0) rx = ry;
        if (ry < 0) ry = rx;
        if (r.width() > 0 && r.height() > 0) {
          if (rx > 0)
            p.addRoundedRect(r, std::min(rx, r.width() / 2), std::min(ry, r.height() / 2));
          else
            p.addRect(r);
          addItem(p, s);
        }
      } else if (name == u"circle" || name == u"ellipse") {
        const qreal rx = name == u"circle" ? num("r") : num("rx"), ry = name == u"circle" ? num("r") : num("ry");
        if (rx > 0 && ry > 0) {
          QPainterPath p;
          p.addEllipse(QPointF(num("cx"), num("cy")), rx, ry);
          addItem(p, s);
        }
      } else if (name == u"line") {
        QPainterPath p;
        p.moveTo(num("x1"), num("y1"));
        p.lineTo(num("x2"), num("y2"));
        Style lineStyle = s;
        lineStyle.fill = QStringLiteral("none");
        addItem(p, lineStyle);
      } else if (name == u"polyline" || name == u"polygon") {
        const QPolygonF points = ParsePoints(at.value(QLatin1String("points")).toString());
        if (points.size() >= 2) {
          QPainterPath p;
          p.addPolygon(points);
          if (name == u"polygon") p.closeSubpath();
          addItem(p, s);
        }
      } else if (name == u"path") {
        QPainterPath p;
        // Drawing stops at the first error, as SVG renderers do; the part before it stays.
        ParsePathData(at.value(QLatin1String("d")).toString(), p);
        if (!p.isEmpty()) addItem(p, s);
      } else if (name == u"text") {
        inText = true;
        textTarget.clear();
        textAt = QPointF(num("x"), num("y"));
      }
    } else if (token == QXmlStreamReader::Characters && inText) {
      textTarget += xml.text();
    } else if (token == QXmlStreamReader::EndElement) {
      const QString name = xml.name().toString();
      if (name == u"text" && inText) {
        inText = false;
        const Style& s = stack.back();
        QFont font(s.fontFamily);
        font.setPixelSize(std::max(1, qRound(s.fontSize)));
        font.setBold(s.bold);
        const QString text = textTarget.simplified();
        qreal x = textAt.x();
        const qreal width = QFontMetricsF(font).horizontalAdvance(text);
        if (s.anchor == u"middle") x -= width / 2;
        if (s.anchor == u"end") x -= width;
        QPainterPath p;
        p.addText(QPointF(x, textAt.y()), font, text);
        if (!p.isEmpty()) addItem(p, s);
      } else if (name == u"linearGradient" || name == u"radialGradient") {
        gradient = nullptr;
      }
      if (stack.size() > 1) stack.pop_back();
    }
  }
  if (xml.hasError()) {
    error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    return false;
  }
  if (!sawRoot) {
    error = QStringLiteral("not an SVG picture");
    return false;
  }
  m_items = std::move(items);
  return true;
}

void MiniSvg::Render(QPainter& painter, const QRectF& target) const {
  if (!m_items || m_viewBox.isEmpty()) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(target.topLeft());
  painter.scale(target.width() / m_viewBox.width(), target.height() / m_viewBox.height());
  painter.translate(-m_viewBox.topLeft());
  const QTransform base = painter.worldTransform();
  const qreal baseOpacity = painter.opacity();
  for (const Item& item : *m_items) {
    painter.setWorldTransform(item.transform * base);
    painter.setOpacity(baseOpacity * item.opacity);
    painter.setPen(item.pen);
    painter.setBrush(item.fill);
    painter.drawPath(item.path);
  }
  painter.restore();
}

QImage MiniSvg::ToImage(QSize size) const {
  if (size.isEmpty()) size = m_size.toSize();
  if (size.isEmpty()) return {};
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  Render(painter, QRectF(QPointF(0, 0), QSizeF(size)));
  painter.end();
  return image;
}

}  // namespace orva::app
