// A small SVG renderer for the client's own pictures (Qt's SVG module is not
// a dependency). It understands the subset the skin is drawn in:
//   elements  svg (width, height, viewBox), g, rect (rx/ry), circle, ellipse,
//             line, polyline, polygon, path (all commands, arcs included),
//             text (x, y, font-size, font-weight, font-family, text-anchor),
//             linearGradient / radialGradient with stops (bounding-box units)
//   styling   fill, stroke, stroke-width, stroke-linecap, stroke-linejoin,
//             fill-rule, opacity, fill-opacity, stroke-opacity; colours as
//             #rgb, #rrggbb, a few names, url(#id), none; inherited from g
//   transform translate, scale, rotate, matrix
// Anything else is ignored. Malformed XML is refused with a reason.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <memory>
#include <vector>

class QPainter;

namespace orva::app {

class MiniSvg {
 public:
  MiniSvg();
  ~MiniSvg();
  MiniSvg(const MiniSvg&);
  MiniSvg& operator=(const MiniSvg&);

  bool Load(const QByteArray& data, QString& error);
  bool IsNull() const;
  // The picture's own size (width/height, else the viewBox size).
  QSizeF Size() const;
  // Draws the picture's viewBox scaled into `target`.
  void Render(QPainter& painter, const QRectF& target) const;
  // A transparent ARGB image of `size` (the picture's own size when empty).
  QImage ToImage(QSize size = QSize()) const;

  struct Item;

 private:
  std::shared_ptr<const std::vector<Item>> m_items;
  QRectF m_viewBox;
  QSizeF m_size;
};

}  // namespace orva::app
